#include <cstdio>

#include "particlegrid.h"

BITMAP *interface;
int size;
int currentelement;

namespace
{

const int play_width = 600;
const int panel_width = 200;
const int window_height = 600;

// Keys act every frame they are held; later rows win over earlier ones.
struct key_binding
{
    int scancode;
    int *setting;
    int value;
};

const key_binding key_bindings[] = {
    {KEY_0_PAD, &currentelement, EMPTY},
    {KEY_1_PAD, &currentelement, WALL},
    {KEY_2_PAD, &currentelement, SAND},
    {KEY_3_PAD, &currentelement, WATER},
    {KEY_1, &size, 1},
    {KEY_2, &size, 2},
    {KEY_3, &size, 5},
    {KEY_4, &size, 10},
    {KEY_5, &size, 15},
    {KEY_6, &size, 25},
    {KEY_7, &size, 50},
};

int label_y(int element)
{
    return 5 + 10 * element;
}

} // namespace

void display_interface()
{
    int white = makecol(255, 255, 255);
    clear_to_color(interface, makecol(200, 200, 200));
    for (int e = 0; e < element_count; e++)
        textout_ex(interface, font, elements[e].label, 20, label_y(e), white, makecol(0, 0, 0));
    if (currentelement >= 0 && currentelement < element_count)
        textout_ex(interface, font, elements[currentelement].label, 20, label_y(currentelement),
                   makecol(1, 1, 1), white);
    triangle(interface, 1, 10 * size + 22, 15, 10 * size + 15, 15, 10 * size + 30,
             makecol(255, 255, 0));
    line(interface, 1, 40, 15, 40, white);
    line(interface, 1, 521, 15, 521, white);
}

void handle_interface_click(int x, int y)
{
    if (x <= 620)
    {
        // Pull the pointer onto the strip so a drag keeps adjusting the size.
        position_mouse(610, mouse_y);
        size = (y - 21) / 10;
        if (size <= 1)
            size = 2;
        if (size >= 50)
            size = 50;
        return;
    }
    // Each band starts one row below its label's top and ends two rows below
    // its bottom.
    for (int e = 0; e < element_count; e++)
        if (y >= label_y(e) + 1 && y <= label_y(e) + 9)
            currentelement = e;
}

// One frame of the loop, everything but the pause. Each test reads the
// pointer afresh, as the library updates it on its own.
void run_frame(particles &parts)
{
    if ((mouse_b & 1) && mouse_x < play_width)
        parts.draw_particle(currentelement, mouse_x, mouse_y, size);
    parts.previous_xmouse = mouse_x;
    parts.previous_ymouse = mouse_y;
    for (const key_binding &binding : key_bindings)
        if (key[binding.scancode])
        {
            *binding.setting = binding.value;
            display_interface();
        }
    if (mouse_x > play_width)
        display_interface();
    if ((mouse_b & 1) && mouse_x > play_width)
        handle_interface_click(mouse_x, mouse_y);
    if (mouse_x < play_width)
    {
        parts.calculate_particles();
        parts.draw_parts();
        parts.refresh_grid();
    }
    blit(parts.sand, screen, 0, 0, 0, 0, play_width, window_height);
    blit(interface, screen, 0, 0, play_width, 0, panel_width, window_height);
}

#ifndef VELDRATH_NO_ENTRY_POINT

#ifdef ALLEGRO_UNIX
#include <csignal>
#include <iterator>
#endif

#ifdef ALLEGRO_WITH_XWINDOWS
#include <atomic>

#include <unistd.h>
#include <xalleg.h>

#include "veldrath.xpm"

// The X11 port reads this icon when it creates the window. The library
// defines it but leaves it out of its headers.
extern "C" void *allegro_icon;
#endif

namespace
{

// Under X11 the window shows the game's own icon and names its class, by
// which docks group it with its menu entry (StartupWMClass).
void present_as_veldrath()
{
#ifdef ALLEGRO_WITH_XWINDOWS
    allegro_icon = veldrath_xpm;
    xwin_set_window_name("veldrath", "Veldrath");
#endif
}

#ifdef ALLEGRO_WITH_XWINDOWS
// Xlib's own handler for a lost connection calls exit(), which runs the
// library's teardown on whichever thread noticed, the library's input thread
// as a rule, while the frame loop is still drawing. This one leaves nothing to
// tear down (the server has dropped the window with the connection) and
// uses only calls that are safe at any point. When both threads lose the
// connection at once, the second waits for the first to end the process.
int lose_display(Display * /*display*/)
{
    static std::atomic_flag said = ATOMIC_FLAG_INIT;
    if (said.test_and_set())
        for (;;)
            pause();
    const char line[] = "veldrath: lost the connection to the display\n";
    [[maybe_unused]] ssize_t written = write(STDERR_FILENO, line, sizeof line - 1);
    _exit(1);
}
#endif

#ifdef ALLEGRO_UNIX
// The library opens the display here, and installs handlers for these
// signals that tear it down inside the handler, racing the frame loop, and
// now and then abort with a core dump. The game keeps the handling it was
// started with instead: by default the signal ends it as it ends any
// program, and one ignored (nohup, a background job) stays ignored; the
// server drops the window with the connection. Until that handling is back,
// the signals are held; the library's threads start with them held, so
// they always come to this one.
int start_library()
{
    const int ending_signals[] = {SIGTERM, SIGINT, SIGHUP};
    struct sigaction started_with[std::size(ending_signals)];
    sigset_t ending, held_before;
    sigemptyset(&ending);
    for (std::size_t i = 0; i < std::size(ending_signals); i++)
    {
        sigaddset(&ending, ending_signals[i]);
        sigaction(ending_signals[i], nullptr, &started_with[i]);
    }
    sigprocmask(SIG_BLOCK, &ending, &held_before);
    int status = allegro_init();
    for (std::size_t i = 0; i < std::size(ending_signals); i++)
        sigaction(ending_signals[i], &started_with[i], nullptr);
    sigprocmask(SIG_SETMASK, &held_before, nullptr);
#ifdef ALLEGRO_WITH_XWINDOWS
    XSetIOErrorHandler(lose_display);
#endif
    return status;
}
#else
int start_library()
{
    return allegro_init();
}
#endif

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

#endif
