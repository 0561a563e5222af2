// The game's start-up and endings on the desktop. Under X11 the game keeps
// the signal handling it was started with, ends by itself when it loses its
// display, and shows its own icon and window class. Other platforms (Windows,
// the browser) need nothing of the sort: the library starts as it is.

#include "desktop.h"

#include <allegro.h>

#ifdef ALLEGRO_WITH_XWINDOWS

#include <atomic>
#include <csignal>
#include <iterator>

#include <unistd.h>
#include <xalleg.h>

#include "veldrath.xpm"

// The X11 port reads this icon when it creates the window. The library
// defines it but leaves it out of its headers.
extern "C" void *allegro_icon;

namespace
{

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

} // namespace

// Docks group the window with its menu entry by its class (StartupWMClass).
void present_as_veldrath()
{
    allegro_icon = veldrath_xpm;
    xwin_set_window_name("veldrath", "Veldrath");
}

// The library's X11 system driver opens the display here, and installs
// handlers for these signals that tear it down inside the handler, racing
// the frame loop, and now and then abort with a core dump. The game keeps
// the handling it was started with instead: by default the signal ends it as
// it ends any program, and one ignored (nohup, a background job) stays
// ignored; the server drops the window with the connection. Until that
// handling is back, the signals are held; the library's threads start with
// them held, so they always come to this one.
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
    XSetIOErrorHandler(lose_display);
    return status;
}

#else

void present_as_veldrath() {}

int start_library()
{
    return allegro_init();
}

#endif
