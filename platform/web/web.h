/* Allegro 4 in the browser: what the drivers share with each other and with
 * the JavaScript side (library.js). The program links these files beside
 * Allegro's core; allegro_init() finds system_web through the list that
 * 01-browser-system-driver.patch extends.
 *
 * The program runs on the browser's own thread and sees the page only at
 * rest(): what happened while it slept reaches it when a frame begins.
 * library.js also gives the page, on Module:
 * - veldrathPress(code): presses and releases a key, named by its
 *   KeyboardEvent.code ("Numpad2", "Digit3"), as if typed: the program sees
 *   it held for one frame at least.
 * - veldrathTap(x, y): a finger's tap at window pixel (x, y), held for one
 *   frame at least; lifted off the play area, the pointer goes back over it
 *   where it last was.
 * - veldrathSelection(): {element, size}, the program's currentelement and
 *   size after its last frame (null before the first).
 * And it calls, if the page defines them (inside the program's frame: what
 * they throw ends the program):
 * - onSelection(element, size) after the first frame and after each frame
 *   that changed either;
 * - onFrame(workMs) after each frame, with its work in ms: from the end of
 *   one rest() to the moment the next one has shown the frame.
 */
#ifndef WEB_H
#define WEB_H

#include <stdint.h>

#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <allegro/platform/aintunix.h>

#define GFX_WEB AL_ID('W', 'E', 'B', ' ')
#define KEYBOARD_WEB AL_ID('W', 'E', 'B', ' ')
#define MOUSE_WEB AL_ID('W', 'E', 'B', ' ')
#define TIMER_WEB AL_ID('W', 'E', 'B', ' ')

extern GFX_DRIVER gfx_web;
extern KEYBOARD_DRIVER keyboard_web;
extern MOUSE_DRIVER mouse_web;
extern TIMER_DRIVER timer_web;

/* Shows what changed on the screen since the last call on the canvas, if
 * there is one. */
void web_show_screen(void);

/* A frame is about to begin: it sees the next of the pointer's states that
 * came while the program slept. */
void web_input_next(void);
/* Whether states wait for frames of their own. */
int web_input_waiting(void);
/* A frame has ended: it saw the keys held, so those released meanwhile go. */
void web_input_seen(void);

/* library.js */
/* How the canvas takes the screen: none, RGBA (a 2D context) or the 8-bit
 * pixels with their palette (WebGL2). */
enum
{
    CANVAS_NONE,
    CANVAS_RGBA,
    CANVAS_INDEXED
};
int web_open_canvas(int width, int height);
/* Gives the canvas the box [LEFT, RIGHT) x [TOP, BOTTOM) of SCREEN, the
 * screen as the canvas takes it; shown at the next web_present(). */
void web_show(const void *screen, int left, int top, int right, int bottom);
/* The palette of an 8-bit canvas: PAL_SIZE RGBA colours. */
void web_set_palette(const uint32_t *palette);
/* Shows what the canvas has been given since the last call. */
void web_present(void);
void web_frame_done(double work, int element, int size);
int web_sleep(double ms);
void web_wake(void);
void web_set_title(const char *title);
void web_listen_keys(int listen);
void web_listen_pointer(int listen);

#endif
