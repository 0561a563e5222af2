#ifndef DESKTOP_H
#define DESKTOP_H

// What the game does about the platform it runs on, apart from the shell:
// how it starts the library and how it ends when the platform ends it.
// desktop.cpp says what each platform needs.

// Starts the library (allegro_init); a negative status when it fails.
int start_library();
// Names the window and gives it the game's icon, where the platform lets
// the game choose; called before the library starts.
void present_as_veldrath();

#endif
