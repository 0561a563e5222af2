#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "allegro_fixture.h"

namespace
{

// A 3 x 3 neighbourhood around (x, y) written as "row/row/row", top row first.
// '.' empty, '#' wall, 's' sand, 'w' water, 'f' fire, ' ' outside the grid.
const char kinds[] = ".#swf";

bool inside(int x, int y)
{
    return x >= 0 && x < 300 && y >= 0 && y < 300;
}

void put(particles &p, int x, int y, const std::string &pattern)
{
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
        {
            char ch = pattern[r * 4 + c];
            if (ch != ' ' && inside(x - 1 + c, y - 1 + r))
                p.particles[x - 1 + c][y - 1 + r] = static_cast<int>(std::string(kinds).find(ch));
        }
}

std::string window(const particles &p, int x, int y)
{
    std::string s;
    for (int r = 0; r < 3; r++)
    {
        for (int c = 0; c < 3; c++)
        {
            int cx = x - 1 + c, cy = y - 1 + r;
            s += inside(cx, cy) ? kinds[p.particles[cx][cy]] : ' ';
        }
        s += r < 2 ? "/" : "";
    }
    return s;
}

using offsets = std::vector<std::pair<int, int>>;

// Where the cells marked as moved lie, from (x, y).
offsets marks(const particles &p, int x, int y)
{
    offsets found;
    for (int cx = 0; cx < 300; cx++)
        for (int cy = 0; cy < 300; cy++)
            if (p.particlemoved[cx][cy])
                found.push_back({cx - x, cy - y});
    return found;
}

struct rule_case
{
    const char *name;
    int x, y;
    bool alternate; // as the visited cell sees it
    const char *before;
    const char *after;
    bool marked;
    int mark_dx, mark_dy;
};

const int mid = 150;

const rule_case rule_cases[] = {
    // Falling and sinking: down first.
    {"sand falls", mid, mid, true, ".../.s./...", ".../.../.s.", true, 0, 1},
    {"sand sinks into water", mid, mid, true, ".../.s./.w.", ".../.w./.s.", true, 0, 1},
    {"sand sinks into fire", mid, mid, true, ".../.s./.f.", ".../.f./.s.", true, 0, 1},
    {"water falls", mid, mid, true, ".../.w./...", ".../.../.w.", true, 0, 1},
    {"water sinks into fire", mid, mid, true, ".../.w./.f.", ".../.f./.w.", true, 0, 1},
    {"sand in the top row falls", mid, 0, true, "   /.s./...", "   /.../.s.", true, 0, 1},
    {"sand on the bottom row stays", mid, 299, true, ".../.s./   ", ".../.s./   ", false, 0, 0},
    // Sliding: down-right before down-left.
    {"sand slides down-right", mid, mid, true, ".../.s./.s.", ".../.../.ss", true, 1, 1},
    {"sand slides down-right into water", mid, mid, true, ".../.s./.sw", ".../.w./.ss", true, 1, 1},
    {"sand slides down-left", mid, mid, true, ".../.s./.s#", ".../.../ss#", true, -1, 1},
    {"sand slides down-left into fire", mid, mid, true, ".../.s./fss", ".../.f./sss", true, -1, 1},
    {"sand held by walls and sand", mid, mid, true, ".../.s./#s#", ".../.s./#s#", false, 0, 0},
    {"sand never moves sideways", mid, mid, true, ".../.s./###", ".../.s./###", false, 0, 0},
    {"sand in column 299 only slides left", 299, mid, true, ".. /.s /.s ", ".. /.. /ss ", true, -1,
     1},
    {"sand in column 299 stays", 299, mid, true, ".. /.s /#s ", ".. /.s /#s ", false, 0, 0},
    {"sand in column 0 only slides right", 0, mid, true, " ../ s./ s.", " ../ ../ ss", true, 1, 1},
    {"sand in column 0 stays", 0, mid, true, " ../ s./ s#", " ../ s./ s#", false, 0, 0},
    {"water does not sink into sand", mid, mid, true, ".../#w#/sss", ".../#w#/sss", false, 0, 0},
    {"water does not slide into water", mid, mid, true, ".../#w#/www", ".../#w#/www", false, 0, 0},
    // Water sideways: both sides empty follow `alternate` and mark.
    {"water flows left", mid, mid, true, ".../.w./###", ".../w../###", true, -1, 0},
    {"water flows right", mid, mid, false, ".../.w./###", ".../..w/###", true, 1, 0},
    {"water flows to its only free side, right", mid, mid, true, ".../#w./###", ".../#.w/###",
     false, 0, 0},
    {"water flows to its only free side, left", mid, mid, false, ".../.w#/###", ".../w.#/###",
     false, 0, 0},
    {"water displaces nothing sideways", mid, mid, true, ".../fws/###", ".../fws/###", false, 0, 0},
    {"water in column 0 flows inward at once", 0, 299, true, " ../ w./   ", " ../ .w/   ", false, 0,
     0},
    {"water in column 299 flows inward at once", 299, 299, false, ".. /.w /   ", ".. /w. /   ",
     false, 0, 0},
    {"water in column 0 never flows left", 0, 299, true, " ../ w#/   ", " ../ w#/   ", false, 0, 0},
    {"water in column 299 never flows right", 299, 299, false, ".. /#w /   ", ".. /#w /   ", false,
     0, 0},
    // Fire: up, both-sides sideways, up-right, up-left.
    {"fire rises", mid, mid, true, ".../.f./###", ".f./.../###", true, 0, -1},
    {"fire moves left when both sides are empty", mid, mid, true, ".w./.f./###", ".w./f../###",
     true, -1, 0},
    {"fire moves right when both sides are empty", mid, mid, false, ".w./.f./###", ".w./..f/###",
     true, 1, 0},
    {"fire rises up-right", mid, mid, true, "#w./#f./###", "#wf/#../###", true, 1, -1},
    {"fire rises up-left", mid, mid, true, ".w#/.f#/###", "fw#/..#/###", true, -1, -1},
    {"fire has no one-sided sideways move", mid, mid, true, "sws/#f./###", "sws/#f./###", false, 0,
     0},
    {"fire does not rise into water or sand", mid, mid, true, "wsw/#f#/###", "wsw/#f#/###", false,
     0, 0},
    {"fire in the top row moves sideways", mid, 0, false, "   /.f./###", "   /..f/###", true, 1, 0},
    {"fire in the top row cannot rise", mid, 0, true, "   /#f./###", "   /#f./###", false, 0, 0},
    {"fire in column 0 rises up-right, never sideways", 0, mid, true, " w./ f./ ##", " wf/ ../ ##",
     true, 1, -1},
    {"fire in column 299 rises up-left, never sideways", 299, mid, false, ".w /.f /## ",
     "fw /.. /## ", true, -1, -1},
    // Walls and empty cells stay.
    {"wall stays", mid, mid, true, ".../.#./...", ".../.#./...", false, 0, 0},
    {"empty stays", mid, mid, true, ".../.../ss.", ".../.../ss.", false, 0, 0},
};

void PrintTo(const rule_case &c, std::ostream *os)
{
    *os << c.name;
}

using cell_rules = testing::TestWithParam<rule_case>;

TEST_P(cell_rules, one_visit_moves_as_the_rules_say)
{
    const rule_case &c = GetParam();
    grid g;
    put(*g, c.x, c.y, c.before);
    // count 50 makes the visit itself flip `alternate`.
    g->count = 50;
    g->alternate = !c.alternate;
    g->calculate_particle(c.x, c.y);
    EXPECT_EQ(window(*g, c.x, c.y), c.after);
    EXPECT_EQ(g->alternate, c.alternate);
    EXPECT_EQ(marks(*g, c.x, c.y), (c.marked ? offsets{{c.mark_dx, c.mark_dy}} : offsets{}));
}

INSTANTIATE_TEST_SUITE_P(all, cell_rules, testing::ValuesIn(rule_cases),
                         [](const testing::TestParamInfo<rule_case> &info)
                         {
                             std::string name = info.param.name;
                             for (char &ch : name)
                                 if (!isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

TEST(cell_visit, a_marked_cell_is_skipped_but_still_counted)
{
    grid g;
    g->particles[mid][mid] = SAND;
    g->particlemoved[mid][mid] = true;
    g->calculate_particle(mid, mid);
    EXPECT_EQ(g->particles[mid][mid], SAND);
    EXPECT_EQ(g->particles[mid][mid + 1], EMPTY);
    EXPECT_EQ(g->count, 1);
}

TEST(visit_counter, alternate_flips_on_every_51st_visit_of_any_cell)
{
    grid g;
    for (int visit = 1; visit <= 50; visit++)
        g->calculate_particle(0, 0);
    EXPECT_EQ(g->count, 50);
    EXPECT_TRUE(g->alternate);
    // The 51st visit already sees the flipped `alternate`: water goes right.
    put(*g, mid, 299, ".../.w./   ");
    g->calculate_particle(mid, 299);
    EXPECT_EQ(window(*g, mid, 299), ".../..w/   ");
    EXPECT_EQ(g->count, 0);
    EXPECT_FALSE(g->alternate);
    for (int visit = 0; visit < 51; visit++)
        g->calculate_particle(10, 10);
    EXPECT_EQ(g->count, 0);
    EXPECT_TRUE(g->alternate);
}

// Water resting alone on the bottom row shows which way `alternate` pointed
// when it was visited, and so how many cells the pass visited before it.
bool flows_left(int column, bool odd_pass)
{
    grid g;
    if (!odd_pass)
        g->calculate_particles();
    g->particles[column][299] = WATER;
    g->calculate_particles();
    return g->particles[column - 1][299] == WATER;
}

TEST(sweep, bottom_row_visited_right_to_left_on_odd_and_left_to_right_on_even_columns)
{
    // In the start state the n-th visit of a pass (from 1) sees `alternate`
    // true, i.e. flows left, when n / 51 is even; an even pass starts after
    // 45,000 visits (882 flips, 18 into the next run).
    for (int k = 1; k < 150; k++)
    {
        EXPECT_EQ(flows_left(299 - 2 * k, true), (k + 1) / 51 % 2 == 0)
            << "odd column " << 299 - 2 * k;
        EXPECT_EQ(flows_left(2 * k, false), (k + 1 + 18) / 51 % 2 == 0) << "even column " << 2 * k;
    }
}

TEST(sweep, flags_flip_after_every_pass)
{
    grid g;
    g->calculate_particles();
    EXPECT_TRUE(g->skiplevel);
    EXPECT_TRUE(g->leftorright);
    EXPECT_EQ(g->count, 45000 % 51);
    EXPECT_TRUE(g->alternate); // 882 flips
    g->calculate_particles();
    EXPECT_FALSE(g->skiplevel);
    EXPECT_FALSE(g->leftorright);
}

TEST(sweep, two_passes_update_every_cell_once)
{
    grid g;
    for (int x = 0; x < 300; x++)
        for (int y = 0; y < 300; y += 2)
            g->particles[x][y] = SAND;
    g->calculate_particles();
    for (int x = 0; x < 300; x++)
        for (int y = 0; y < 300; y += 2)
        {
            int expected_row = x % 2 == 1 ? y + 1 : y;
            ASSERT_EQ(g->particles[x][expected_row], SAND) << x << "," << y << " first pass";
        }
    g->calculate_particles();
    for (int x = 0; x < 300; x++)
        for (int y = 0; y < 300; y += 2)
            ASSERT_EQ(g->particles[x][y + 1], SAND) << x << "," << y << " second pass";
}

TEST(sweep, rows_go_bottom_up_so_a_whole_column_falls_in_one_pass)
{
    grid g;
    for (int y = 100; y < 200; y++)
        g->particles[1][y] = SAND;
    g->calculate_particles();
    EXPECT_EQ(g->particles[1][100], EMPTY);
    for (int y = 101; y <= 200; y++)
        ASSERT_EQ(g->particles[1][y], SAND) << y;
}

TEST(sweep, a_lone_grain_falls_every_second_pass_and_rests_on_the_floor)
{
    grid g;
    g->particles[151][0] = SAND;
    for (int pass = 0; pass < 2 * 299; pass++)
    {
        g->calculate_particles();
        g->refresh_grid();
        ASSERT_EQ(g->particles[151][pass / 2 + 1], SAND) << "pass " << pass;
    }
    for (int pass = 0; pass < 10; pass++)
        g->calculate_particles();
    EXPECT_EQ(g->particles[151][299], SAND);
}

TEST(sweep, risen_fire_is_not_moved_again_in_the_same_pass)
{
    grid g;
    g->particles[151][200] = FIRE;
    g->calculate_particles();
    EXPECT_EQ(g->particles[151][199], FIRE);
    EXPECT_TRUE(g->particlemoved[151][199]);
}

// Random grids of every kind: a pass only exchanges cells, walls stay.
TEST(pass_invariants, kinds_are_conserved_and_walls_never_move)
{
    std::mt19937 rng(12345);
    for (int scene = 0; scene < 3; scene++)
    {
        grid g;
        for (int x = 0; x < 300; x++)
            for (int y = 0; y < 300; y++)
                g->particles[x][y] = static_cast<int>(rng() % element_count);
        int before[element_count];
        for (int k = 0; k < element_count; k++)
            before[k] = count_kind(*g, k);
        grid walls;
        for (int x = 0; x < 300; x++)
            for (int y = 0; y < 300; y++)
                walls->particles[x][y] = g->particles[x][y] == WALL;
        for (int pass = 0; pass < 200; pass++)
        {
            g->calculate_particles();
            if (rng() % 4 != 0)
                g->refresh_grid();
        }
        for (int k = 0; k < element_count; k++)
            EXPECT_EQ(count_kind(*g, k), before[k]) << "kind " << k;
        for (int x = 0; x < 300; x++)
            for (int y = 0; y < 300; y++)
                ASSERT_EQ(g->particles[x][y] == WALL, walls->particles[x][y] == 1) << x << "," << y;
    }
}

TEST(pass_invariants, sand_settles_above_water_and_nothing_crosses_a_floor_of_wall)
{
    grid g;
    for (int x = 0; x < 300; x++)
        g->particles[x][200] = WALL;
    for (int x = 100; x < 140; x++)
        for (int y = 150; y < 160; y++)
            g->particles[x][y] = SAND;
    for (int x = 100; x < 140; x++)
        for (int y = 190; y < 200; y++)
            g->particles[x][y] = WATER;
    for (int pass = 0; pass < 400; pass++)
    {
        g->calculate_particles();
        g->refresh_grid();
    }
    for (int x = 0; x < 300; x++)
        for (int y = 201; y < 300; y++)
            ASSERT_EQ(g->particles[x][y], EMPTY);
    // Every sand grain rests on sand or wall: none is left above water.
    for (int x = 0; x < 300; x++)
        for (int y = 0; y < 199; y++)
            ASSERT_FALSE(g->particles[x][y] == SAND && g->particles[x][y + 1] == WATER)
                << x << "," << y;
}

} // namespace
