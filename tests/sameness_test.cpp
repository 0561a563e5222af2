// The grid's methods are tuned for speed; these tests hold them to the plain
// versions in oracle.cpp on many random grids, comparing every cell, flag
// and pixel.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "allegro_fixture.h"
#include "oracle.h"

namespace
{

// Everything but the bitmap, which each grid keeps its own.
void copy_state(particles &to, const particles &from)
{
    BITMAP *sand = to.sand;
    to = from;
    to.sand = sand;
}

void expect_same_state(const particles &actual, const particles &expected)
{
    for (int x = 0; x < 300; x++)
        for (int y = 0; y < 300; y++)
        {
            ASSERT_EQ(actual.particles[x][y], expected.particles[x][y]) << "cell " << x << "," << y;
            ASSERT_EQ(actual.particlemoved[x][y], expected.particlemoved[x][y])
                << "moved flag " << x << "," << y;
        }
    EXPECT_EQ(actual.count, expected.count);
    EXPECT_EQ(actual.alternate, expected.alternate);
    EXPECT_EQ(actual.leftorright, expected.leftorright);
    EXPECT_EQ(actual.skiplevel, expected.skiplevel);
    EXPECT_EQ(actual.previous_xmouse, expected.previous_xmouse);
    EXPECT_EQ(actual.previous_ymouse, expected.previous_ymouse);
}

void expect_same_pixels(BITMAP *actual, BITMAP *expected)
{
    for (int y = 0; y < 600; y++)
        for (int x = 0; x < 600; x++)
            ASSERT_EQ(getpixel(actual, x, y), getpixel(expected, x, y))
                << "pixel " << x << "," << y;
}

int random_kind(std::mt19937 &rng)
{
    return std::uniform_int_distribution<int>(0, element_count - 1)(rng);
}

// Each cell is a random kind with probability `fill`, else empty.
void scatter(particles &p, std::mt19937 &rng, double fill)
{
    std::bernoulli_distribution filled(fill);
    for (int x = 0; x < 300; x++)
        for (int y = 0; y < 300; y++)
            p.particles[x][y] = filled(rng) ? random_kind(rng) : EMPTY;
}

// Large squares of one kind each, so runs also see pools, heaps and walls
// and not only noise.
void paint_blobs(particles &p, std::mt19937 &rng, int blobs)
{
    std::uniform_int_distribution<int> pixel(0, 599);
    std::uniform_int_distribution<int> brush(10, 50);
    for (int b = 0; b < blobs; b++)
    {
        p.previous_xmouse = pixel(rng);
        p.previous_ymouse = pixel(rng);
        oracle::draw_particle(p, random_kind(rng), pixel(rng), pixel(rng), brush(rng));
    }
}

void randomise_sweep_state(particles &p, std::mt19937 &rng)
{
    std::bernoulli_distribution coin(0.5);
    std::bernoulli_distribution rarely(0.02);
    for (int x = 0; x < 300; x++)
        for (int y = 0; y < 300; y++)
            p.particlemoved[x][y] = rarely(rng);
    p.count = std::uniform_int_distribution<int>(0, 50)(rng);
    p.alternate = coin(rng);
    p.leftorright = p.skiplevel = coin(rng);
}

// --- rendering -------------------------------------------------------------

struct render_case
{
    const char *name;
    double fill;
    int only_kind; // -1: random kinds
};

std::ostream &operator<<(std::ostream &out, const render_case &c)
{
    return out << c.name;
}

using rendering = ::testing::TestWithParam<render_case>;

TEST_P(rendering, matches_one_rectangle_per_cell_on_a_black_bitmap)
{
    const render_case &c = GetParam();
    std::mt19937 rng(std::strlen(c.name));
    grid actual, expected;
    scatter(*actual, rng, c.fill);
    if (c.only_kind >= 0)
        for (auto &column : actual->particles)
            std::fill(std::begin(column), std::end(column), c.only_kind);
    // Whatever the bitmap held before must not show through.
    for (int y = 0; y < 600; y++)
        for (int x = 0; x < 600; x++)
            putpixel(actual->sand, x, y, static_cast<int>(rng() & 255));
    copy_state(*expected, *actual);

    actual->draw_parts();
    oracle::draw_parts(*expected);

    expect_same_pixels(actual->sand, expected->sand);
    expect_same_state(*actual, *expected);
}

// Random grids, and a grid of each kind but empty.
std::vector<render_case> render_cases()
{
    std::vector<render_case> cases = {
        {"empty", 0.0, -1}, {"sparse", 0.05, -1}, {"half", 0.5, -1}, {"full", 1.0, -1}};
    for (int kind = WALL; kind < element_count; kind++)
        cases.push_back({elements[kind].label, 1.0, kind});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(grids, rendering, ::testing::ValuesIn(render_cases()),
                         [](const auto &info) { return std::string(info.param.name); });

// --- strokes ---------------------------------------------------------------

struct stroke
{
    int from_x, from_y, to_x, to_y, size;
};

void expect_stroke_matches_stamping(const stroke &s, int type, std::mt19937 &rng)
{
    grid actual, expected;
    scatter(*actual, rng, 0.3);
    actual->previous_xmouse = s.from_x;
    actual->previous_ymouse = s.from_y;
    copy_state(*expected, *actual);

    actual->draw_particle(type, s.to_x, s.to_y, s.size);
    oracle::draw_particle(*expected, type, s.to_x, s.to_y, s.size);

    SCOPED_TRACE(testing::Message() << "from " << s.from_x << "," << s.from_y << " to " << s.to_x
                                    << "," << s.to_y << " size " << s.size << " type " << type);
    expect_same_state(*actual, *expected);
    EXPECT_EQ(actual->previous_xmouse, s.to_x);
    EXPECT_EQ(actual->previous_ymouse, s.to_y);
}

TEST(strokes, corner_to_corner_and_off_grid_starts_match_stamping)
{
    const stroke strokes[] = {
        {0, 0, 599, 599, 50},     {599, 599, 0, 0, 50},    {799, 0, 0, 599, 49},
        {799, 599, 599, 0, 50},   {0, 599, 599, 0, 2},     {300, 100, 300, 100, 5},
        {300, 100, 300, 100, 1},  {0, 0, 0, 0, 10},        {10, 10, 14, 11, 4},
        {650, 300, 598, 300, 50}, {1, 1, 0, 0, 3},         {599, 0, 599, 599, 50},
        {0, 300, 599, 300, 50},   {799, 599, 599, 599, 50}};
    std::mt19937 rng(7);
    for (const stroke &s : strokes)
        expect_stroke_matches_stamping(s, random_kind(rng), rng);
}

TEST(strokes, random_strokes_match_stamping)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> remembered_x(0, 799), pixel(0, 599), size(1, 50);
    std::uniform_int_distribution<int> nearby(-8, 8);
    std::bernoulli_distribution short_hop(0.3);
    for (int n = 0; n < 200; n++)
    {
        stroke s{remembered_x(rng), pixel(rng), pixel(rng), pixel(rng), size(rng)};
        // Typical drags move a few pixels per frame.
        if (short_hop(rng))
        {
            s.to_x = std::min(599, std::max(0, std::min(s.from_x, 599) + nearby(rng)));
            s.to_y = std::min(599, std::max(0, s.from_y + nearby(rng)));
        }
        expect_stroke_matches_stamping(s, random_kind(rng), rng);
        if (HasFailure())
            return;
    }
}

// --- the pass --------------------------------------------------------------

struct pass_run
{
    unsigned seed;
    double fill;
    int blobs;
    // Set at run time; sand lighter than water reverses which sinks.
    float sand_density = elements[SAND].density;
    // Only the two outermost rings of cells filled, so that particles meet
    // the edges alone.
    bool rings_only = false;
};

std::ostream &operator<<(std::ostream &out, const pass_run &run)
{
    return out << "seed " << run.seed << ", fill " << run.fill << ", " << run.blobs
               << " blobs, sand density " << run.sand_density << (run.rings_only ? ", rings" : "");
}

using passes = ::testing::TestWithParam<pass_run>;

// Many passes on one evolving grid; moved flags are sometimes left set
// between passes, and now and then fresh material is painted in.
TEST_P(passes, leave_the_state_the_plain_rules_leave)
{
    const pass_run &run = GetParam();
    std::mt19937 rng(run.seed);
    std::bernoulli_distribution refresh(0.8);
    grid actual, expected;
    scatter(*actual, rng, run.fill);
    if (run.rings_only)
        for (int x = 2; x < 298; x++)
            std::fill(actual->particles[x] + 2, actual->particles[x] + 298, EMPTY);
    paint_blobs(*actual, rng, run.blobs);
    randomise_sweep_state(*actual, rng);
    actual->densities[SAND] = run.sand_density;
    copy_state(*expected, *actual);

    for (int pass = 0; pass < 300; pass++)
    {
        SCOPED_TRACE(testing::Message() << "pass " << pass);
        actual->calculate_particles();
        oracle::calculate_particles(*expected);
        expect_same_state(*actual, *expected);
        if (HasFailure())
            return;
        if (refresh(rng))
        {
            actual->refresh_grid();
            oracle::refresh_grid(*expected);
        }
        if (pass % 50 == 49)
        {
            paint_blobs(*actual, rng, 3);
            copy_state(*expected, *actual);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(random_runs, passes,
                         ::testing::Values(pass_run{1, 0.0, 12}, pass_run{2, 0.1, 6},
                                           pass_run{3, 0.3, 0}, pass_run{4, 0.5, 4},
                                           pass_run{5, 0.8, 0}, pass_run{6, 1.0, 0},
                                           pass_run{7, 0.02, 20}, pass_run{8, 0.6, 10},
                                           pass_run{9, 0.5, 4, 0.8f},
                                           pass_run{10, 1.0, 0, elements[SAND].density, true}),
                         [](const auto &info) { return "seed" + std::to_string(info.param.seed); });

// Passes keep their working copies from one pass to the next; passes on two
// grids in turn, one with flags left set and one without, must not see each
// other's.
TEST(passes_on_two_grids, taken_in_turn_leave_the_state_the_plain_rules_leave)
{
    std::mt19937 rng(12);
    grid flagged, clear, flagged_expected, clear_expected;
    scatter(*flagged, rng, 0.6);
    randomise_sweep_state(*flagged, rng);
    scatter(*clear, rng, 0.3);
    paint_blobs(*clear, rng, 6);
    copy_state(*flagged_expected, *flagged);
    copy_state(*clear_expected, *clear);
    for (int pass = 0; pass < 60; pass++)
    {
        SCOPED_TRACE(testing::Message() << "pass " << pass);
        flagged->calculate_particles();
        oracle::calculate_particles(*flagged_expected);
        clear->calculate_particles();
        oracle::calculate_particles(*clear_expected);
        clear->refresh_grid();
        oracle::refresh_grid(*clear_expected);
        expect_same_state(*flagged, *flagged_expected);
        expect_same_state(*clear, *clear_expected);
        if (HasFailure())
            return;
    }
}

// The single-cell method, called on its own at random cells.
TEST(single_visits, match_the_plain_rules_anywhere_on_the_grid)
{
    std::mt19937 rng(10);
    std::uniform_int_distribution<int> cell(0, 299);
    grid actual, expected;
    scatter(*actual, rng, 0.5);
    randomise_sweep_state(*actual, rng);
    copy_state(*expected, *actual);
    for (int n = 0; n < 20000; n++)
    {
        // Edges and corners often, the interior the rest of the time.
        int x = n % 4 == 0 ? 299 * (n / 4 % 2) : cell(rng);
        int y = n % 8 == 1 ? 299 * (n / 8 % 2) : cell(rng);
        actual->calculate_particle(x, y);
        oracle::calculate_particle(*expected, x, y);
        if (n % 1000 == 999)
        {
            expect_same_state(*actual, *expected);
            if (HasFatalFailure())
                return;
        }
    }
    expect_same_state(*actual, *expected);
}

} // namespace
