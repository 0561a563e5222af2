/* The browser's system and timer drivers, and the lists of its drivers.
 *
 * The program runs on the browser's own thread. rest() shows the frame, then
 * gives the browser the time asked for (web_sleep, which needs the program
 * linked with ASYNCIFY); input events and timer ticks arrive while it waits.
 */
#include <emscripten.h>

#include "web.h"

static _DRIVER_INFO gfx_drivers[] = {{GFX_WEB, &gfx_web, TRUE}, {0, NULL, 0}};
static _DRIVER_INFO keyboard_drivers[] = {{KEYBOARD_WEB, &keyboard_web, TRUE}, {0, NULL, 0}};
static _DRIVER_INFO mouse_drivers[] = {{MOUSE_WEB, &mouse_web, TRUE}, {0, NULL, 0}};
static _DRIVER_INFO timer_drivers[] = {{TIMER_WEB, &timer_web, TRUE}, {0, NULL, 0}};

static _DRIVER_INFO *list_gfx_drivers(void)
{
    return gfx_drivers;
}
static _DRIVER_INFO *list_keyboard_drivers(void)
{
    return keyboard_drivers;
}
static _DRIVER_INFO *list_mouse_drivers(void)
{
    return mouse_drivers;
}
static _DRIVER_INFO *list_timer_drivers(void)
{
    return timer_drivers;
}

static int system_init(void)
{
    os_type = OSTYPE_UNIX;
    return 0;
}

static void system_exit(void) {}

static int system_desktop_color_depth(void)
{
    return 32;
}

static void system_yield(void)
{
    emscripten_sleep(0);
}

SYSTEM_DRIVER system_web = {
    SYSTEM_WEB,
    empty_string,
    empty_string,
    "Browser",
    system_init,
    system_exit,
    NULL, /* get_executable_name */
    NULL, /* find_resource */
    web_set_title,
    NULL, /* set_close_button_callback */
    NULL, /* message */
    NULL, /* assert */
    NULL, /* save_console_state */
    NULL, /* restore_console_state */
    NULL, /* create_bitmap */
    NULL, /* created_bitmap */
    NULL, /* create_sub_bitmap */
    NULL, /* created_sub_bitmap */
    NULL, /* destroy_bitmap */
    NULL, /* read_hardware_palette */
    NULL, /* set_palette_range */
    NULL, /* get_vtable */
    NULL, /* set_display_switch_mode */
    NULL, /* display_switch_lock */
    system_desktop_color_depth,
    NULL, /* get_desktop_resolution */
    NULL, /* get_gfx_safe_mode */
    system_yield,
    /* Allegro's Unix build takes pthreads, whose mutexes work on the one thread. */
    _unix_create_mutex,
    _unix_destroy_mutex,
    _unix_lock_mutex,
    _unix_unlock_mutex,
    list_gfx_drivers,
    NULL, /* digi_drivers */
    NULL, /* midi_drivers */
    list_keyboard_drivers,
    list_mouse_drivers,
    NULL, /* joystick_drivers */
    list_timer_drivers,
};

/* The program's selection, read after each frame for the page: plain
 * globals of the game, outside any namespace. */
extern int currentelement;
extern int size;

/* The time at which the last rest() ended, in ms. */
static double woke;
/* Whether a finger's landing woke the program before its pause's end, and
 * that end. */
static int cut_short;
static double pause_end;

static int timer_init(void)
{
    woke = emscripten_get_now();
    return 0;
}

static void timer_exit(void) {}

/* Timer handlers run here, on the program's own stack, for the time that
 * has passed since the last rest(). A finger that lands wakes the program
 * at once (see input.c): the frames of what it queued, the landing and the
 * press, follow each other without a pause, and then the pause they cut
 * short goes on to its end. So a touch reaches the program as soon as the
 * browser hands it over, with no more frames than the landing's. */
static void timer_rest(unsigned int time, void (*callback)(void))
{
    double now, slept;
    web_show_screen();
    web_input_seen();
    now = emscripten_get_now();
    web_frame_done(now - woke, currentelement, size);
    if (!cut_short)
        pause_end = now + time;
    if (!cut_short || !web_input_waiting())
        cut_short = web_sleep(MAX(pause_end - now, 0));
    slept = emscripten_get_now() - woke;
    woke += slept;
    _handle_timer_tick(MSEC_TO_TIMER(slept));
    web_input_next();
    if (callback)
        callback();
}

/* The program's rest() (linked with --wrap=rest): the timer driver's, called
 * directly rather than through Allegro's pointer to it, so that ASYNCIFY
 * sees every caller on the way to the sleep (see CMakeLists.txt). Allegro's
 * own calls to its rest_callback() still reach the driver through it. */
void __wrap_rest(unsigned int time)
{
    timer_rest(time, NULL);
}

TIMER_DRIVER timer_web = {
    TIMER_WEB,  empty_string, empty_string, "Browser timer", timer_init, timer_exit, NULL,
    NULL,       NULL,         NULL, /* install_int, remove_int and their param forms: Allegro's
                                       queue */
    NULL,       NULL,               /* can_simulate_retrace, simulate_retrace */
    timer_rest,
};
