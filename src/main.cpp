// The entry: starts the library, the window and the grid, then runs the
// shell's frames until Escape is held.

#include <cstdio>

#include "desktop.h"
#include "shell.h"

namespace
{

int open_window()
{
    set_color_depth(8);
    return set_gfx_mode(GFX_AUTODETECT_WINDOWED, play_width + panel_width, window_height, 0, 0);
}

// The library's start-up, step by step; each returns a negative status when
// it fails. `usual_reason` is what a failure means when the library gives no
// reason, if that is known.
struct start_step
{
    const char *name;
    int (*run)();
    const char *usual_reason;
};

const start_step start_steps[] = {
    {"initialise the library", start_library, "no display or system driver available"},
    {"install the keyboard", install_keyboard, nullptr},
    {"install the mouse", install_mouse, nullptr},
    {"open the 800x600 window", open_window, nullptr},
    {"install the timer", install_timer, nullptr},
};

// Start-up failures end the program with one line naming the step and the
// reason, if there is one.
int fail(const char *step, const char *reason)
{
    if (reason)
        std::fprintf(stderr, "veldrath: cannot %s: %s\n", step, reason);
    else
        std::fprintf(stderr, "veldrath: cannot %s\n", step);
    return 1;
}

} // namespace

int main()
{
    // Two full grids: too large for the stack.
    static particles parts;

    present_as_veldrath();
    currentelement = WALL;
    size = 5;
    // The library's error text keeps the reason for any earlier failure, even
    // one it recovered from, so each step starts from an empty one.
    for (const start_step &step : start_steps)
    {
        allegro_error[0] = '\0';
        if (step.run() < 0)
            return fail(step.name, allegro_error[0] ? allegro_error : step.usual_reason);
    }
    show_mouse(screen);
    set_window_title("Veldrath");

    parts.sand = create_bitmap(play_width, window_height);
    if (!parts.sand)
        return fail("create the play-area bitmap", "out of memory");
    clear_to_color(parts.sand, makecol(0, 0, 0));
    parts.init_particle_grids();
    interface = create_bitmap(panel_width, window_height);
    if (!interface)
        return fail("create the panel bitmap", "out of memory");
    clear_to_color(interface, makecol(200, 200, 200));
    display_interface();

    parts.previous_xmouse = mouse_x;
    parts.previous_ymouse = mouse_y;
    while (!key[KEY_ESC])
    {
        run_frame(parts);
        rest(20);
    }
    return 0;
}
END_OF_MAIN()
