#ifndef E2E_DRIVER_H
#define E2E_DRIVER_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

#include <X11/Xlib.h>

#include "screen.h"

// How many times slower than natively the game under test runs; waits,
// holds and time limits are stretched by it.
int pace();

// A child process with stdin and stdout on /dev/null, and stderr written to
// the file `errors` names (/dev/null to keep it quiet), or the test's own
// stderr when it is empty. It is killed when the process that started it
// dies, so a crashed or killed test leaves nothing behind; otherwise it gets
// `stop_signal` on destruction, and SIGKILL if it lingers.
class child
{
  public:
    child(const std::vector<std::string> &argv, const std::string &display,
          const std::string &errors, int stop_signal);
    ~child();
    child(const child &) = delete;
    child &operator=(const child &) = delete;

    bool running();
    // The exit status (or 128 + signal) if the child ends within
    // `timeout_ms` (stretched by pace()), else -1.
    int wait_exit(int timeout_ms);

    const pid_t pid;

  private:
    bool reap(int options);

    const int stop_signal;
    bool ended = false;
    int status = -1;
};

// A private Xvfb (scripts/lib/xvfb).
class x_server
{
  public:
    x_server();

    // Ends the server, and with it every client's connection.
    void stop()
    {
        xvfb.reset();
    }

    std::string display_name;

  private:
    std::unique_ptr<child> xvfb;
};

// An image in the colours it was drawn in: r, g, b triples, row by row.
struct picture
{
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;

    std::vector<int> at(int x, int y) const
    {
        auto pixel = rgb.begin() + 3 * (static_cast<std::ptrdiff_t>(y) * width + x);
        return {pixel, pixel + 3};
    }
};

// The WM_CLASS (instance and class name) of the game's own X11 window.
inline const std::pair<std::string, std::string> game_window_class{"veldrath", "Veldrath"};

// The real game running on an x_server, driven through XTest and read back
// with XGetImage. Coordinates are window pixels: (0, 0) is the top-left of
// the play area, x 600..799 the panel. Construction waits for the mapped
// window titled "Veldrath" (see VELDRATH_E2E_TITLE) and its first frame. The
// game's stderr goes to the file `errors` names, or to the test's stderr.
class game
{
  public:
    explicit game(const x_server &server, const std::string &errors = "");
    ~game();
    game(const game &) = delete;
    game &operator=(const game &) = delete;

    void move(int x, int y);
    // Moves the pointer by (dx, dy) from wherever the server has it. After a
    // slider click the game moves its pointer itself; for a while it then
    // counts only the server's pointer motion and keeps putting the
    // server's pointer back to the window's centre. Relative moves keep
    // their direction then, though on a busy machine a step may be lost.
    // The pointer stays within the window; a step takes two frames more.
    void nudge(int dx, int dy);
    void press();
    void release();
    void key_down(KeySym key);
    void key_up(KeySym key);
    // Holds the key for a few frames, then lets go. With `seen`, holds it
    // until `seen` holds instead (or a few seconds pass) and returns whether
    // it did: a browser may hold input back for a while, and a key let go
    // before the game's next frame is never seen.
    bool tap(KeySym key, const std::function<bool()> &seen = nullptr);
    // Moves there, waits, holds the button as `tap` holds a key, lets go.
    bool click(int x, int y, const std::function<bool()> &seen = nullptr);
    // Holds the button along the points, resting a few frames on each so
    // that the game sees every one, then lets go. With `painted`, also
    // rests on each point until `painted(x, y)` holds (or a few seconds
    // pass), and returns whether it did on all: a browser that holds input
    // back may deliver a move together with the next, or with the release,
    // and the game then never paints with the pointer there.
    bool stroke(const std::vector<std::pair<int, int>> &points,
                const std::function<bool(int, int)> &painted = nullptr);

    // The window's pixels as 8-bit r, g, b triples, row by row.
    std::vector<unsigned char> pixels();
    screen_image capture();
    // The window once it shows the game's latest frame, for a game whose
    // picture stands still: a browser may show a frame late, so captures
    // a few frames apart are taken until two agree.
    screen_image settled();
    // Writes the window as a binary PPM; false when it cannot.
    bool save(const std::string &path);

    // How the window presents itself to window managers and docks: its
    // WM_CLASS (instance and class name) and the icon in its WM_HINTS (an
    // empty image when there is none).
    std::pair<std::string, std::string> window_class();
    picture icon();

    bool running()
    {
        return program.running();
    }
    int wait_exit(int timeout_ms)
    {
        return program.wait_exit(timeout_ms);
    }
    // Takes the display away under the game, as a logout does; the driver
    // lets go of its own connection first. Nothing but waiting for the
    // game's end is asked of it afterwards.
    void lose_display(x_server &server)
    {
        display.reset();
        server.stop();
    }

    int width = 0;
    int height = 0;

  private:
    void find_window();

    std::unique_ptr<Display, int (*)(Display *)> display;
    child program;
    Window window = 0;
    int origin_x = 0;
    int origin_y = 0;
};

// Saves the window of every game still running as FOLDER/NAME.ppm (NAME-2,
// NAME-3 ... for further games), creating the folder; returns the paths
// written.
std::vector<std::string> save_screens(const std::string &folder, const std::string &name);

// The game polls its input once per frame of about 20 ms; waits and holds
// are counted in frames with some slack for a busy machine.
void wait_frames(int frames);

// Polls `condition` every frame until it holds or `timeout_ms` pass.
bool wait_until(const std::function<bool()> &condition, int timeout_ms = 5000);

#endif
