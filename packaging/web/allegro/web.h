/* Allegro 4 in the browser: what the drivers share with each other and with
 * the JavaScript side (library.js). The program links these files beside
 * Allegro's core; allegro_init() finds system_web through the list that
 * 01-browser-system-driver.patch extends.
 */
#ifndef WEB_H
#define WEB_H

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

/* Shows the screen on the canvas, if there is one; the frame's work is
 * counted from WOKE, performance.now() when the last rest() ended. */
void web_show_screen(double woke);

/* library.js */
int web_open_canvas(int width, int height);
void web_show(const void *rgba, double woke);
void web_set_title(const char *title);
void web_listen_keys(int listen);
void web_listen_pointer(int listen);

#endif
