#include "driver.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

const int frame_ms = 25;
const int window_width = 800;
const int window_height = 600;

// An environment variable's value, or `otherwise` when it is unset or empty.
std::string setting(const char *name, const std::string &otherwise)
{
    const char *value = std::getenv(name);
    return value && *value ? value : otherwise;
}

// The game's frames, and so every hold, wait and time limit, are stretched
// by the whole factor VELDRATH_E2E_PACE (1 when unset) for a build that runs
// slower than natively, as under wine.
int read_pace()
{
    int factor = std::atoi(setting("VELDRATH_E2E_PACE", "1").c_str());
    return factor > 0 ? factor : 1;
}

void sleep_ms(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

pid_t spawn(const std::vector<std::string> &argv, const std::string &display,
            const std::string &errors)
{
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("cannot fork");
    if (pid > 0)
        return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(127);
    int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    if (!errors.empty())
        dup2(open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
    if (display.empty())
        unsetenv("DISPLAY");
    else
        setenv("DISPLAY", display.c_str(), 1);
    std::vector<char *> args;
    args.reserve(argv.size() + 1);
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

// The command that starts the game: VELDRATH_E2E_PROGRAM (the build's own
// binary when unset), behind the words of VELDRATH_E2E_LAUNCHER when set (an
// emulator or wine), so the same tests drive any build of the game.
std::vector<std::string> game_command()
{
    std::vector<std::string> argv;
    std::istringstream words(setting("VELDRATH_E2E_LAUNCHER", ""));
    for (std::string word; words >> word;)
        argv.push_back(word);
    argv.push_back(setting("VELDRATH_E2E_PROGRAM", VELDRATH_EXE));
    return argv;
}

// The virtual screen: the window's size unless VELDRATH_E2E_SCREEN names
// another, such as 1024x768 for the Windows build under wine (see x_server).
std::string screen_size()
{
    return setting("VELDRATH_E2E_SCREEN",
                   std::to_string(window_width) + "x" + std::to_string(window_height));
}

// The title the game's window must have: its own, unless
// VELDRATH_E2E_TITLE names another, such as a browser's window that adds the
// browser's name after the page's title.
std::string expected_title()
{
    return setting("VELDRATH_E2E_TITLE", "Veldrath");
}

// A window's title in UTF-8: its _NET_WM_NAME, which toolkits set besides
// WM_NAME (where a title beyond Latin-1 comes in another encoding), or else
// its WM_NAME.
std::string window_title(Display *display, Window window)
{
    Atom type = None;
    int format = 0;
    unsigned long length = 0, after = 0;
    unsigned char *utf8 = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 1024,
                           False, XInternAtom(display, "UTF8_STRING", False), &type, &format,
                           &length, &after, &utf8) == Success &&
        type != None)
        title.assign(reinterpret_cast<char *>(utf8), length);
    else
    {
        char *name = nullptr;
        if (XFetchName(display, window, &name))
            title = name;
        XFree(name);
    }
    XFree(utf8);
    return title;
}

Window find_titled(Display *display, Window window, const std::string &title)
{
    if (window_title(display, window) == title)
        return window;
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    Window found = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &n))
        for (unsigned int i = 0; i < n && !found; i++)
            found = find_titled(display, children[i], title);
    XFree(children);
    return found;
}

// Windows may vanish while the tree is searched for the game's, or while a
// failed test saves the window of a game that has just ended (reading the
// pixels then fails); any other error is fatal as usual.
int (*default_error_handler)(Display *, XErrorEvent *) = nullptr;

int ignore_vanished_windows(Display *display, XErrorEvent *error)
{
    if (error->error_code == BadWindow || error->error_code == BadDrawable ||
        error->error_code == BadMatch)
        return 0;
    return default_error_handler(display, error);
}

// The games alive, whose windows a failed test saves.
std::vector<game *> live_games;

// Also parks the pointer over the play area, off the window's centre (see
// game::find_window), wherever an earlier game on this server left it.
Display *connect(const std::string &name)
{
    Display *display = XOpenDisplay(name.c_str());
    if (display)
    {
        int (*previous)(Display *, XErrorEvent *) = XSetErrorHandler(ignore_vanished_windows);
        if (previous != ignore_vanished_windows)
            default_error_handler = previous;
        XTestFakeMotionEvent(display, -1, window_width / 4, window_height / 2, CurrentTime);
        XSync(display, False);
    }
    return display;
}

// Where the server has the pointer, in root coordinates.
std::pair<int, int> server_pointer(Display *display)
{
    Window root, child_window;
    int root_x = -1, root_y = -1, x, y;
    unsigned int buttons;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child_window, &root_x, &root_y, &x,
                  &y, &buttons);
    return {root_x, root_y};
}

int channel(unsigned long pixel, unsigned long mask)
{
    int shift = __builtin_ctzl(mask);
    return static_cast<int>((pixel & mask) >> shift) * 255 / static_cast<int>(mask >> shift);
}

// A drawable's top-left width x height pixels as 8-bit r, g, b triples, row
// by row.
std::vector<unsigned char> rgb_pixels(Display *display, Drawable drawable, int width, int height)
{
    XImage *raw = XGetImage(display, drawable, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!raw)
        throw std::runtime_error("cannot read the pixels of a window or pixmap");
    // A pixmap's image carries no colour masks: it has the screen's visual.
    const Visual *visual = DefaultVisual(display, DefaultScreen(display));
    if (!raw->red_mask)
    {
        raw->red_mask = visual->red_mask;
        raw->green_mask = visual->green_mask;
        raw->blue_mask = visual->blue_mask;
    }
    std::vector<unsigned char> rgb;
    rgb.reserve(3 * static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
        {
            unsigned long pixel = XGetPixel(raw, x, y);
            rgb.push_back(channel(pixel, raw->red_mask));
            rgb.push_back(channel(pixel, raw->green_mask));
            rgb.push_back(channel(pixel, raw->blue_mask));
        }
    XDestroyImage(raw);
    return rgb;
}

// -1, 0 or 1.
int sign(int n)
{
    return (n > 0) - (n < 0);
}

// Waits while a key or the button is held: a few frames, or until `seen`.
bool hold(const std::function<bool()> &seen)
{
    if (seen)
        return wait_until(seen);
    wait_frames(4);
    return true;
}

} // namespace

int pace()
{
    static const int factor = read_pace();
    return factor;
}

void wait_frames(int frames)
{
    sleep_ms(frames * frame_ms * pace());
}

bool wait_until(const std::function<bool()> &condition, int timeout_ms)
{
    for (int waited = 0; waited < timeout_ms * pace(); waited += frame_ms)
    {
        if (condition())
            return true;
        sleep_ms(frame_ms);
    }
    return condition();
}

child::child(const std::vector<std::string> &argv, const std::string &display,
             const std::string &errors, int stop_signal)
    : pid(spawn(argv, display, errors)), stop_signal(stop_signal)
{
}

child::~child()
{
    if (ended)
        return;
    kill(pid, stop_signal);
    if (wait_exit(1000) < 0)
    {
        kill(pid, SIGKILL);
        reap(0);
    }
}

bool child::reap(int options)
{
    int raw = 0;
    if (ended || waitpid(pid, &raw, options) != pid)
        return ended;
    ended = true;
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return true;
}

bool child::running()
{
    return !reap(WNOHANG);
}

int child::wait_exit(int timeout_ms)
{
    return wait_until([&] { return reap(WNOHANG); }, timeout_ms) ? status : -1;
}

// The screen is exactly the window's size, so that the pointer cannot leave
// the window. The library's Windows port reads the pointer's position,
// but needs a larger screen: Windows keeps a window's frame within the
// screen's size, and the title bar would leave less than 600 rows inside.
x_server::x_server()
{
    char folder[] = "/tmp/veldrath-x-XXXXXX";
    if (!mkdtemp(folder))
        throw std::runtime_error("no scratch folder for Xvfb's display number");
    std::string number_file = std::string(folder) + "/display";
    xvfb =
        std::make_unique<child>(std::vector<std::string>{VELDRATH_XVFB, screen_size(), number_file},
                                "", "/dev/null", SIGTERM);
    std::string number;
    wait_until(
        [&]
        {
            std::ifstream in(number_file);
            bool whole_line = std::getline(in, number) && !in.eof();
            return whole_line || !xvfb->running();
        },
        10000);
    std::remove(number_file.c_str());
    rmdir(folder);
    if (number.empty() || !xvfb->running())
        throw std::runtime_error("Xvfb did not start");
    display_name = ":" + number;
}

game::game(const x_server &server, const std::string &errors)
    : display(connect(server.display_name), XCloseDisplay),
      program(game_command(), server.display_name, errors, SIGKILL)
{
    if (!display)
        throw std::runtime_error("cannot connect to " + server.display_name);
    int event, error, major, minor;
    if (!XTestQueryExtension(display.get(), &event, &error, &major, &minor))
        throw std::runtime_error("the X server has no XTest extension");
    find_window();
    live_games.push_back(this);
}

game::~game()
{
    live_games.erase(std::find(live_games.begin(), live_games.end(), this));
}

void game::find_window()
{
    Display *d = display.get();
    const std::string title = expected_title();
    XWindowAttributes attributes;
    bool mapped = wait_until(
        [&]
        {
            window = find_titled(d, DefaultRootWindow(d), title);
            return window && XGetWindowAttributes(d, window, &attributes) &&
                   attributes.map_state == IsViewable;
        },
        // Long enough for wine to start its own services on a busy machine.
        30000);
    if (!mapped)
        throw std::runtime_error(running() ? "no window titled \"" + title + "\" appeared"
                                           : "the game ended before opening its window");
    width = attributes.width;
    height = attributes.height;
    if (width != window_width || height != window_height)
        return;
    Window unused;
    XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &origin_x, &origin_y, &unused);
    // The whole panel in its place at its start, not just some of its grey:
    // a page may show the canvas scaled or moved until its layout settles.
    auto started = [&]
    {
        screen_image screen = capture();
        return slider_ends_drawn(screen) && marker_size(screen) == 5 &&
               highlighted_label(screen) == WALL;
    };
    if (!wait_until(started))
        throw std::runtime_error("the panel never appeared");
    // The library's X11 port, in the game's own window, centres its pointer
    // on opening the window and then, for some 25 input polls (10 ms
    // apart at best), follows the server's pointer by its motion alone.
    // At the end it warps the server's pointer to its own. A move that
    // reaches the server before that warp, but the library only after it,
    // is undone: the warp puts the pointer back where the library last saw
    // it, and a click lands there. So no input goes before the warp, seen
    // as the pointer, parked off the centre, arriving at the centre. The
    // library moves only a pointer that is inside its window (the window is
    // the warp's source), and now and then, about once in 200 starts, the
    // pointer stays parked while the game runs on: the wait then ends at its
    // time-out rather than failing the test.
    if (window_class() != game_window_class)
        return;
    const std::pair<int, int> centre{origin_x + window_width / 2, origin_y + window_height / 2};
    wait_until([&] { return server_pointer(d) == centre; });
}

void game::move(int x, int y)
{
    XTestFakeMotionEvent(display.get(), -1, origin_x + x, origin_y + y, CurrentTime);
    XSync(display.get(), False);
}

// The Windows port reads only positions inside its window, so a step that
// would leave it stops at its edge (on a screen of the window's size the
// server stops it there anyway). While the game moves its pointer itself it
// may put back a position it read before the step, and wine then keeps that
// one until the next motion; so each step ends in a second event, one pixel
// long and a couple of frames later, which brings the game to within a pixel
// of the server's pointer. At the edge that is one pixel back and forth.
void game::nudge(int dx, int dy)
{
    const auto [x, y] = server_pointer(display.get());
    const int last_x = sign(dx), last_y = sign(dy);
    dx = std::clamp(x + dx, origin_x, origin_x + window_width - 1) - x;
    dy = std::clamp(y + dy, origin_y, origin_y + window_height - 1) - y;
    XTestFakeRelativeMotionEvent(display.get(), dx - last_x, dy - last_y, CurrentTime);
    XSync(display.get(), False);
    wait_frames(2);
    XTestFakeRelativeMotionEvent(display.get(), last_x, last_y, CurrentTime);
    XSync(display.get(), False);
}

void game::press()
{
    XTestFakeButtonEvent(display.get(), 1, True, CurrentTime);
    XSync(display.get(), False);
}

void game::release()
{
    XTestFakeButtonEvent(display.get(), 1, False, CurrentTime);
    XSync(display.get(), False);
}

void game::key_down(KeySym key)
{
    XTestFakeKeyEvent(display.get(), XKeysymToKeycode(display.get(), key), True, CurrentTime);
    XSync(display.get(), False);
}

void game::key_up(KeySym key)
{
    XTestFakeKeyEvent(display.get(), XKeysymToKeycode(display.get(), key), False, CurrentTime);
    XSync(display.get(), False);
}

bool game::tap(KeySym key, const std::function<bool()> &seen)
{
    key_down(key);
    bool shown = hold(seen);
    key_up(key);
    wait_frames(1);
    return shown;
}

bool game::click(int x, int y, const std::function<bool()> &seen)
{
    move(x, y);
    wait_frames(3);
    press();
    bool shown = hold(seen);
    release();
    wait_frames(2);
    return shown;
}

std::vector<unsigned char> game::pixels()
{
    return rgb_pixels(display.get(), window, window_width, window_height);
}

bool game::save(const std::string &path)
{
    std::vector<unsigned char> rgb;
    if (!display)
        return false;
    try
    {
        rgb = pixels();
    }
    catch (const std::runtime_error &)
    {
        return false;
    }
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << window_width << " " << window_height << "\n255\n";
    out.write(reinterpret_cast<const char *>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    return static_cast<bool>(out);
}

std::vector<std::string> save_screens(const std::string &folder, const std::string &name)
{
    mkdir(folder.c_str(), 0755);
    std::vector<std::string> paths;
    for (game *g : live_games)
    {
        std::string path = folder;
        path += "/" + name;
        if (!paths.empty())
            path += "-" + std::to_string(paths.size() + 1);
        path += ".ppm";
        if (g->running() && g->save(path))
            paths.push_back(path);
    }
    return paths;
}

bool game::stroke(const std::vector<std::pair<int, int>> &points,
                  const std::function<bool(int, int)> &painted)
{
    move(points.front().first, points.front().second);
    wait_frames(3);
    press();
    bool shown = true;
    for (const std::pair<int, int> &p : points)
    {
        move(p.first, p.second);
        wait_frames(4);
        if (painted)
            shown = wait_until([&] { return painted(p.first, p.second); }) && shown;
    }
    release();
    wait_frames(2);
    return shown;
}

screen_image game::capture()
{
    std::vector<unsigned char> rgb = pixels();
    screen_image image;
    image.width = window_width;
    image.height = window_height;
    image.pixels.reserve(static_cast<std::size_t>(window_width) * window_height);
    for (size_t i = 0; i < rgb.size(); i += 3)
        image.pixels.push_back(classify(rgb[i], rgb[i + 1], rgb[i + 2]));
    return image;
}

screen_image game::settled()
{
    screen_image last = capture();
    for (int tries = 0; tries < 40; tries++)
    {
        wait_frames(2);
        screen_image now = capture();
        if (now.pixels == last.pixels)
            break;
        last = std::move(now);
    }
    return last;
}

std::pair<std::string, std::string> game::window_class()
{
    XClassHint hint{};
    if (!XGetClassHint(display.get(), window, &hint))
        return {};
    std::pair<std::string, std::string> names{hint.res_name, hint.res_class};
    XFree(hint.res_name);
    XFree(hint.res_class);
    return names;
}

picture game::icon()
{
    XWMHints *hints = XGetWMHints(display.get(), window);
    Pixmap pixmap = hints && (hints->flags & IconPixmapHint) ? hints->icon_pixmap : None;
    XFree(hints);
    Window root;
    int x, y;
    unsigned int w, h, border, depth;
    if (pixmap == None ||
        !XGetGeometry(display.get(), pixmap, &root, &x, &y, &w, &h, &border, &depth))
        return {};
    int icon_width = static_cast<int>(w), icon_height = static_cast<int>(h);
    return {icon_width, icon_height, rgb_pixels(display.get(), pixmap, icon_width, icon_height)};
}
