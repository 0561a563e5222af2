#ifndef SHELL_H
#define SHELL_H

// The application shell: the selection and brush size that the keys and the
// control panel set, the panel itself, and one frame of the loop. main.cpp
// starts the library and runs the frames; the tests drive the same
// functions on memory bitmaps.

#include "particlegrid.h"

// Plain globals of the global namespace, whose symbols carry their bare
// names, so that a platform's C code can reach them through `extern`.
extern BITMAP *interface;
extern int size;
extern int currentelement;

// The window: the play area at the left, the panel at its right.
const int play_width = 600;
const int panel_width = 200;
const int window_height = 600;

// Redraws the whole panel from `currentelement` and `size`.
void display_interface();
// A click at screen (x, y) over the panel: picks an element or a size.
void handle_interface_click(int x, int y);
// One frame of the loop, everything but the pause.
void run_frame(particles &parts);

#endif
