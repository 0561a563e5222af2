// The real game on a private X server, driven with real pointer and key
// events and checked on the window's pixels. Every test starts a fresh
// server and game; both are torn down however the test ends.

#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "allegro_fixture.h"
#include "driver.h"
#include "oracle.h"

namespace
{

using point = std::pair<int, int>; // a window pixel
using cell = std::pair<int, int>;  // a grid cell
using cell_set = std::set<cell>;

struct size_key
{
    KeySym key;
    int size;
};

const size_key size_keys[] = {{XK_1, 1},  {XK_2, 2},  {XK_3, 5}, {XK_4, 10},
                              {XK_5, 15}, {XK_6, 25}, {XK_7, 50}};

KeySym key_for_size(int size)
{
    for (const size_key &k : size_keys)
        if (k.size == size)
            return k.key;
    ADD_FAILURE() << "no key sets size " << size;
    return XK_1;
}

// Keypad 0..3 select the kinds of these codes; the others have no key.
const KeySym element_keys[] = {XK_KP_0, XK_KP_1, XK_KP_2, XK_KP_3};

// The kind's key, or a click on its label when it has none, held until the
// panel shows it selected.
void select_kind(game &g, int kind)
{
    auto shown = [&] { return highlighted_label(g.capture()) == kind; };
    bool seen = kind < static_cast<int>(std::size(element_keys))
                    ? g.tap(element_keys[kind], shown)
                    : g.click(700, label_top(kind) + 4, shown);
    EXPECT_TRUE(seen) << "the panel never showed label " << kind;
}

void select_size(game &g, int size)
{
    EXPECT_TRUE(g.tap(key_for_size(size), [&] { return marker_size(g.capture()) == size; }))
        << "the marker never showed size " << size;
}

void paint(game &g, int kind, int size, const std::vector<point> &points)
{
    select_kind(g, kind);
    // The size is set, always with a change, once the pointer rests on the
    // stroke's start: the frame that shows it has seen the pointer there,
    // so the stroke cannot start from where the pointer was before.
    g.move(points.front().first, points.front().second);
    if (marker_size(g.capture()) == size)
        select_size(g, size == 2 ? 5 : 2);
    select_size(g, size);
    // Size 1 paints nothing to wait for.
    EXPECT_TRUE(
        g.stroke(points, [&](int x, int y) { return size < 2 || g.capture().at(x, y) == kind; }))
        << "a point of the stroke was never painted";
}

// With the pointer over the panel the grid stands still, so counts taken
// there are exact. A browser may show the game's frames late, for longer
// than a picture standing still shows, so the picture is taken once it
// shows a change made after the pointer left the grid: another element
// selected by its key.
cell_image frozen(game &g)
{
    g.move(790, 590);
    select_kind(g, highlighted_label(g.capture()) == EMPTY ? WALL : EMPTY);
    return read_cells(g.capture());
}

void resume(game &g)
{
    g.move(590, 10);
}

// Paints `model` as the game paints its grid: a stroke to each point in
// turn, then the square where the pointer comes to rest.
void stamp(particles &model, int kind, int size, const std::vector<point> &points)
{
    model.previous_xmouse = points.front().first;
    model.previous_ymouse = points.front().second;
    for (const point &p : points)
        oracle::draw_particle(model, kind, p.first, p.second, size);
    oracle::draw_particle(model, kind, points.back().first, points.back().second, size);
}

// The cells where the window differs from `model`, a few of them and their
// number; empty when none do.
std::string difference(const cell_image &shown, const particles &model)
{
    std::ostringstream out;
    int differ = 0;
    for (int x = 0; x < grid_size; x++)
        for (int y = 0; y < grid_size; y++)
            if (shown.at(x, y) != model.particles[x][y] && differ++ < 5)
                out << " (" << x << "," << y << ") shows " << shown.at(x, y) << ", not "
                    << model.particles[x][y] << ";";
    if (differ > 0)
        out << " " << differ << " cells differ";
    return out.str();
}

cell_set cells_of(const cell_image &image, shade kind)
{
    cell_set cells;
    for (int x = 0; x < grid_size; x++)
        for (int y = 0; y < grid_size; y++)
            if (image.at(x, y) == kind)
                cells.insert({x, y});
    return cells;
}

struct cell_range
{
    int left, top, right, bottom;

    bool contains(const cell &c) const
    {
        return c.first >= left && c.first <= right && c.second >= top && c.second <= bottom;
    }
};

// Cells of `kind` outside every one of `allowed`.
int outside(const cell_image &image, shade kind, std::initializer_list<cell_range> allowed)
{
    int n = 0;
    for (const cell &c : cells_of(image, kind))
        n += std::none_of(allowed.begin(), allowed.end(),
                          [&](const cell_range &r) { return r.contains(c); });
    return n;
}

// Every water cell lies above every sand cell of its column.
bool water_above_sand(const cell_image &image)
{
    for (int x = 0; x < grid_size; x++)
    {
        bool sand_seen = false;
        for (int y = 0; y < grid_size; y++)
        {
            sand_seen = sand_seen || image.at(x, y) == SAND;
            if (sand_seen && image.at(x, y) == WATER)
                return false;
        }
    }
    return true;
}

// The row nearest the floor holding `kind`, or -1.
int lowest_row(const cell_image &image, shade kind)
{
    int lowest = -1;
    for (const cell &c : cells_of(image, kind))
        lowest = std::max(lowest, c.second);
    return lowest;
}

int columns_in_row(const cell_image &image, shade kind, int row)
{
    int n = 0;
    for (int x = 0; x < grid_size; x++)
        n += image.at(x, row) == kind;
    return n;
}

// Each failed check saves the windows of the games still running into
// e2e-failures/ in the folder the tests run in (the build's), named after
// the test and the failure's number, and prints where.
class screen_keeper : public ::testing::EmptyTestEventListener
{
    // Named here: while a failure is recorded, asking the suite for the
    // current test would wait for a lock the suite holds.
    void OnTestStart(const ::testing::TestInfo &test) override
    {
        name = std::string(test.test_suite_name()) + "." + test.name();
        failures = 0;
    }
    void OnTestPartResult(const ::testing::TestPartResult &result) override
    {
        if (!result.failed())
            return;
        for (const std::string &path :
             save_screens("e2e-failures", name + "-" + std::to_string(++failures)))
            std::printf("the screen at this failure: %s\n",
                        std::filesystem::absolute(path).c_str());
        std::fflush(stdout);
    }

    std::string name;
    int failures = 0;
};

[[maybe_unused]] const bool screens_kept =
    (::testing::UnitTest::GetInstance()->listeners().Append(new screen_keeper), true);

class veldrath : public ::testing::Test
{
  protected:
    x_server server;
    game g{server};
};

TEST_F(veldrath, opens_an_800_by_600_window_with_black_play_area_and_default_panel)
{
    ASSERT_EQ(g.width, 800);
    ASSERT_EQ(g.height, 600);
    g.move(300, 300);
    wait_frames(4);
    screen_image screen = g.settled();
    EXPECT_EQ(count(read_cells(screen), EMPTY), grid_size * grid_size);
    for (int label = 0; label < element_count; label++)
        EXPECT_TRUE(label_drawn(screen, label)) << "label " << label;
    EXPECT_EQ(highlighted_label(screen), WALL);
    EXPECT_EQ(marker_size(screen), 5);
    EXPECT_TRUE(slider_ends_drawn(screen));
}

// Docks group the window with the menu entry whose StartupWMClass names its
// class, and show the game's own icon: the icon scene at 64 x 64.
TEST_F(veldrath, presents_itself_by_its_class_and_icon)
{
    EXPECT_EQ(g.window_class(), game_window_class);
    picture icon = g.icon();
    ASSERT_EQ(icon.width, 64);
    ASSERT_EQ(icon.height, 64);
    struct case_
    {
        int x, y;
        std::vector<int> colour;
    };
    const case_ cases[] = {{0, 0, {0, 0, 0}},
                           {16, 2, {255, 210, 128}},
                           {46, 4, {255, 0, 0}},
                           {6, 38, {0, 0, 255}},
                           {10, 60, {90, 90, 90}}};
    for (const case_ &c : cases)
        EXPECT_EQ(icon.at(c.x, c.y), c.colour) << "(" << c.x << "," << c.y << ")";
}

struct stroke_case
{
    int kind, size;
    std::vector<point> points;
};

// Paints each stroke in the window and in a model grid, and compares every
// cell after each.
void expect_strokes_paint_the_model(game &g, const std::vector<stroke_case> &strokes)
{
    grid model;
    for (const stroke_case &s : strokes)
    {
        SCOPED_TRACE("kind " + std::to_string(s.kind) + " size " + std::to_string(s.size) +
                     " from (" + std::to_string(s.points.front().first) + "," +
                     std::to_string(s.points.front().second) + ")");
        paint(g, s.kind, s.size, s.points);
        stamp(*model, s.kind, s.size, s.points);
        EXPECT_EQ(difference(read_cells(g.settled()), *model), "");
    }
}

// Pointer pixels map to cells, clipped at the window's edges; size 1
// paints nothing.
TEST_F(veldrath, a_resting_brush_paints_exactly_its_square)
{
    expect_strokes_paint_the_model(g, {{WALL, 2, {{101, 101}}},
                                       {WALL, 10, {{0, 0}}},
                                       {WALL, 5, {{599, 599}}},
                                       {WALL, 1, {{450, 450}}},
                                       {WALL, 50, {{450, 150}}}});
}

// A long jump within one frame, a diagonal one and a bent path, then
// empty painted over the walls.
TEST_F(veldrath, a_drag_leaves_an_unbroken_trail_and_empty_erases)
{
    expect_strokes_paint_the_model(g, {{WALL, 2, {{20, 40}, {580, 40}}},
                                       {WALL, 2, {{20, 100}, {300, 560}}},
                                       {WALL, 5, {{400, 300}, {500, 350}, {450, 450}, {350, 420}}},
                                       {WALL, 25, {{300, 300}}},
                                       {EMPTY, 5, {{300, 300}}},
                                       {EMPTY, 2, {{250, 320}, {350, 320}}}});
}

// With the pointer over the play area the panel is redrawn only by the keys
// themselves, so what shows comes straight from the key.
TEST_F(veldrath, keys_select_element_and_size_and_the_panel_shows_it_at_once)
{
    g.move(300, 300);
    for (int e : {EMPTY, SAND, WATER, WALL})
    {
        SCOPED_TRACE("keypad " + std::to_string(e));
        g.key_down(element_keys[e]);
        EXPECT_TRUE(wait_until([&] { return highlighted_label(g.capture()) == e; }, 2000));
        g.key_up(element_keys[e]);
        EXPECT_EQ(marker_size(g.capture()), 5);
    }
    for (const size_key &k : size_keys)
    {
        SCOPED_TRACE("size " + std::to_string(k.size));
        g.key_down(k.key);
        EXPECT_TRUE(wait_until([&] { return marker_size(g.capture()) == k.size; }, 2000));
        g.key_up(k.key);
        EXPECT_EQ(highlighted_label(g.capture()), WALL);
    }
}

// Clicks on the labels one after another, as a user makes them, each on a
// kind other than the one selected, so that a missed click shows; then a
// click on a label's top row, and one below the labels, select nothing.
TEST_F(veldrath, clicking_a_label_selects_its_element)
{
    for (int kind = element_count - 1; kind >= 0; kind--)
        EXPECT_TRUE(g.click(700, label_top(kind) + 4,
                            [&] { return highlighted_label(g.capture()) == kind; }))
            << "label " << kind;
    for (int y : {label_top(WATER), label_top(element_count) + 4})
    {
        SCOPED_TRACE("click at y " + std::to_string(y));
        g.click(700, y);
        screen_image screen = g.settled();
        EXPECT_EQ(highlighted_label(screen), EMPTY);
        EXPECT_EQ(marker_size(screen), 5);
    }
}

// A click on the slider sets the size its marker points at. The game then
// moves its pointer itself on every frame of the drag, so the drag goes in
// relative steps, and as a step may be lost (see game::nudge) it checks
// that the marker follows the pointer's direction into both clamps rather
// than exact sizes, which the unit tests check.
TEST_F(veldrath, dragging_on_the_slider_follows_the_pointer)
{
    g.move(610, 100);
    wait_frames(3);
    g.press();
    EXPECT_TRUE(wait_until([&] { return marker_size(g.capture()) == 7; }, 2000));
    for (int direction : {1, -1})
    {
        SCOPED_TRACE(direction > 0 ? "down" : "up");
        std::set<int> sizes;
        int last = marker_size(g.settled());
        for (int step = 0; step < 20; step++)
        {
            g.nudge(0, 40 * direction);
            wait_frames(3);
            int size = marker_size(g.settled());
            ASSERT_GE(size * direction, last * direction) << "from " << last << " to " << size;
            sizes.insert(size);
            last = size;
        }
        EXPECT_EQ(last, direction > 0 ? 50 : 2);
        EXPECT_GE(sizes.size(), 8u) << "the marker should move along";
    }
    g.release();
}

// A cup of walls drawn with a size-2 brush: sides in pixel columns `left`
// and `right` from pixel row `rim` to its base at pixel row `base`, which
// lies above the rim for an upside-down cup.
void build_cup(game &g, int left, int right, int rim, int base)
{
    paint(g, WALL, 2, {{left, rim}, {left, base}, {right, base}, {right, rim}});
}

// Every kind has as many cells at the end as at the start.
void expect_nothing_lost(const cell_image &start, const cell_image &end)
{
    for (int kind = 0; kind < element_count; kind++)
        EXPECT_EQ(count(end, kind), count(start, kind)) << "kind " << kind;
}

TEST_F(veldrath, sand_sinks_through_water)
{
    build_cup(g, 200, 290, 400, 598);
    paint(g, WATER, 25, {{245, 480}});
    paint(g, SAND, 10, {{245, 420}});
    cell_image start = frozen(g);
    ASSERT_FALSE(water_above_sand(start)) << "the sand should start above the water";
    resume(g);
    EXPECT_TRUE(wait_until(
        [&]
        {
            cell_image now = read_cells(g.capture());
            return water_above_sand(now) && lowest_row(now, SAND) == 297;
        },
        15000));
    expect_nothing_lost(start, frozen(g));
}

TEST_F(veldrath, water_reaches_the_floor_and_spreads)
{
    paint(g, WATER, 10, {{300, 500}});
    cell_image start = frozen(g);
    EXPECT_GE(count(start, WATER), 100);
    resume(g);
    EXPECT_TRUE(wait_until(
        [&] { return columns_in_row(read_cells(g.capture()), WATER, grid_size - 1) >= 40; },
        15000));
    expect_nothing_lost(start, frozen(g));
}

TEST_F(veldrath, fire_rises)
{
    auto painting = std::chrono::steady_clock::now();
    paint(g, FIRE, 10, {{300, 200}}); // rows 95..104
    cell_image start = frozen(g);
    EXPECT_GE(count(start, FIRE), 100);
    // Every frame pauses 20 ms, and a pass visits a cell every other frame,
    // so fire climbs at most one row per two frames (a few rows of slack for
    // the pause's granularity).
    auto elapsed = std::chrono::steady_clock::now() - painting;
    int frames = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 20);
    const cell_range reachable{0, 95 - frames / 2 - 3, grid_size - 1, grid_size - 1};
    EXPECT_EQ(outside(start, FIRE, {reachable}), 0);
    int lowest = lowest_row(start, FIRE);
    resume(g);
    EXPECT_TRUE(
        wait_until([&] { return columns_in_row(read_cells(g.capture()), FIRE, 0) > 0; }, 15000));
    cell_image end = frozen(g);
    expect_nothing_lost(start, end);
    EXPECT_LE(lowest_row(end, FIRE), lowest) << "fire never sinks";
}

// A cup holding water with sand poured in, and an upside-down cup holding
// fire with sand heaped on its roof. Whatever moves stays on its side of
// the walls, the walls stay as drawn, and no cell of any kind is lost.
TEST_F(veldrath, nothing_passes_through_a_wall)
{
    build_cup(g, 200, 290, 300, 500); // sides in columns 99..100 and 144..145, floor rows 249..250
    build_cup(g, 350, 450, 300, 100); // sides in columns 174..175 and 224..225, roof rows 49..50
    paint(g, WATER, 15, {{245, 440}});
    paint(g, SAND, 10, {{245, 330}});
    paint(g, FIRE, 10, {{400, 250}});
    paint(g, SAND, 10, {{400, 40}});
    cell_image start = frozen(g);
    const cell_range cup{101, 0, 143, 248};
    const cell_range above_roof{174, 0, 225, 48};
    const cell_range under_roof{176, 51, 223, 299};
    cell_set walls = cells_of(start, WALL);
    resume(g);
    for (int poll = 0; poll < 120; poll++)
    {
        cell_image now = read_cells(g.capture());
        ASSERT_EQ(cells_of(now, WALL), walls) << "after " << poll << " polls";
        ASSERT_EQ(outside(now, WATER, {cup}), 0) << "after " << poll << " polls";
        ASSERT_EQ(outside(now, SAND, {cup, above_roof}), 0) << "after " << poll << " polls";
        ASSERT_EQ(outside(now, FIRE, {under_roof}), 0) << "after " << poll << " polls";
        wait_frames(1);
    }
    // Everything has had time to reach its wall, and nothing was lost.
    cell_image end = frozen(g);
    EXPECT_GT(columns_in_row(end, FIRE, under_roof.top), 0);
    EXPECT_GT(columns_in_row(end, SAND, above_roof.bottom), 0);
    EXPECT_EQ(lowest_row(end, SAND), cup.bottom);
    expect_nothing_lost(start, end);
}

TEST_F(veldrath, the_grid_stands_still_unless_the_pointer_is_over_the_play_area)
{
    paint(g, SAND, 10, {{300, 40}});
    cell_image still = frozen(g);
    wait_frames(10);
    EXPECT_EQ(read_cells(g.settled()), still) << "pointer over the panel";

    // At x = 600 neither painting, nor a panel click, nor a pass happens.
    g.move(600, 300);
    wait_frames(3);
    g.press();
    wait_frames(10);
    EXPECT_EQ(read_cells(g.settled()), still) << "pointer at x = 600";
    g.release();
    g.move(700, 590);
    wait_frames(3);
    EXPECT_EQ(marker_size(g.settled()), 10) << "a press at x = 600 is no slider click";

    resume(g);
    EXPECT_TRUE(wait_until([&] { return read_cells(g.capture()).cells != still.cells; }, 2000));
    SCOPED_TRACE("nothing was painted at x = 600");
    expect_nothing_lost(still, frozen(g));
}

TEST_F(veldrath, escape_ends_the_program_with_status_0_within_a_second)
{
    g.move(300, 300);
    wait_frames(2);
    g.key_down(XK_Escape);
    EXPECT_EQ(g.wait_exit(1000), 0);
}

// A logout, or a server that crashes, takes the display away under the
// running game: its input thread and its frame loop both lose their
// connection. The game must end the same way every time, so it is tried
// often enough to show a fault that comes one time in eight, at varied
// moments of the frame.
TEST(veldrath_display, lost_under_the_running_game_ends_it_with_status_1_and_one_line)
{
    const std::string errors =
        ::testing::TempDir() + "veldrath_e2e_stderr_" + std::to_string(getpid());
    for (int run = 0; run < 40; run++)
    {
        SCOPED_TRACE("run " + std::to_string(run));
        x_server server;
        game g(server, errors);
        g.move(300, 300);
        std::this_thread::sleep_for(std::chrono::milliseconds(run % 8 * 7));
        g.lose_display(server);
        EXPECT_EQ(g.wait_exit(1000), 1);
        std::ostringstream text;
        text << std::ifstream(errors).rdbuf();
        EXPECT_EQ(text.str(), "veldrath: lost the connection to the display\n");
    }
    std::remove(errors.c_str());
}

// Random pointer moves, presses and keys over both areas and the border
// between them, from a fixed seed. VELDRATH_SOAK_SECONDS shortens or
// lengthens it.
TEST_F(veldrath, soak_random_input_keeps_it_running_and_answering)
{
    const char *seconds_setting = std::getenv("VELDRATH_SOAK_SECONDS");
    const int seconds = seconds_setting ? std::atoi(seconds_setting) : 60;
    std::mt19937 random(20240611);
    auto pick = [&](int low, int high)
    { return std::uniform_int_distribution<int>(low, high)(random); };
    bool pressed = false;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end)
    {
        int action = pick(0, 9);
        if (action < 3)
            g.move(pick(0, 799), pick(0, 599));
        else if (action == 3)
            g.move(pick(595, 625), pick(0, 599)); // the border and the slider strip
        else if (action < 6)
            (pressed = !pressed) ? g.press() : g.release();
        else if (action == 6 && pick(0, 1))
            g.tap(element_keys[pick(0, static_cast<int>(std::size(element_keys)) - 1)]);
        else if (action == 6)
            g.tap(size_keys[pick(0, static_cast<int>(std::size(size_keys)) - 1)].key);
        wait_frames(pick(0, 3));
        ASSERT_TRUE(g.running());
    }
    g.release();

    g.move(300, 300);
    wait_frames(2);
    int size = marker_size(g.capture()) == 10 ? 25 : 10;
    g.key_down(key_for_size(size));
    EXPECT_TRUE(wait_until([&] { return marker_size(g.capture()) == size; }, 2000));
    g.key_up(key_for_size(size));
    EXPECT_EQ(count(frozen(g), unknown), 0);
    g.key_down(XK_Escape);
    EXPECT_EQ(g.wait_exit(1000), 0);
}

} // namespace
