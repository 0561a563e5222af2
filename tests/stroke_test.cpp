#include <gtest/gtest.h>

#include "allegro_fixture.h"

namespace
{

struct stroke_case
{
    int from_x, from_y; // remembered pointer position
    int to_x, to_y;     // pointer now
    int size;
    int type;
    int background;     // kind filling the grid before the stroke
    int x0, y0, x1, y1; // the cells painted, inclusive; none if x1 < x0
    const char *name;
};

void PrintTo(const stroke_case &c, std::ostream *os)
{
    *os << c.name;
}

const stroke_case stroke_cases[] = {
    {100, 100, 100, 100, 2, SAND, EMPTY, 49, 49, 50, 50,
     "unmoved size 2 paints the four cells round the pointer"},
    {100, 100, 100, 100, 5, WALL, EMPTY, 48, 48, 51, 51, "unmoved size 5 paints a 4 x 4 square"},
    {101, 101, 101, 101, 2, SAND, EMPTY, 49, 49, 50, 50, "unmoved odd pixel lies in the same cell"},
    {10, 10, 50, 20, 1, WALL, EMPTY, 0, 0, -1, -1, "size 1 paints nothing"},
    {0, 0, 0, 0, 10, WATER, EMPTY, 0, 0, 4, 4, "corner brush is clipped to the grid"},
    {1, 1, 1, 1, 3, FIRE, EMPTY, 0, 0, 0, 0, "odd size 3 at the corner keeps one cell"},
    {599, 599, 599, 599, 50, SAND, EMPTY, 274, 274, 299, 299, "largest brush at the far corner"},
    {10, 10, 14, 11, 2, WALL, EMPTY, 4, 4, 6, 5,
     "path steps diagonally then straight, target not stamped"},
    {700, 300, 590, 300, 10, WALL, EMPTY, 290, 145, 299, 154,
     "a drag in from the panel starts at the grid's right edge"},
    {300, 300, 300, 290, 4, SAND, EMPTY, 148, 143, 151, 151, "a straight drag upward"},
    {200, 200, 200, 200, 4, EMPTY, WALL, 98, 98, 101, 101, "empty erases walls"},
};

class strokes : public testing::TestWithParam<stroke_case>
{
};

TEST_P(strokes, paint_exactly_the_stamped_cells)
{
    const stroke_case &c = GetParam();
    grid g;
    for (int x = 0; x < 300; x++)
        for (int y = 0; y < 300; y++)
            g->particles[x][y] = c.background;
    g->previous_xmouse = c.from_x;
    g->previous_ymouse = c.from_y;
    g->draw_particle(c.type, c.to_x, c.to_y, c.size);

    for (int x = 0; x < 300; x++)
        for (int y = 0; y < 300; y++)
        {
            bool painted = x >= c.x0 && x <= c.x1 && y >= c.y0 && y <= c.y1;
            ASSERT_EQ(g->particles[x][y], painted ? c.type : c.background) << x << "," << y;
            ASSERT_FALSE(g->particlemoved[x][y]);
        }
    EXPECT_EQ(g->previous_xmouse, c.to_x);
    EXPECT_EQ(g->previous_ymouse, c.to_y);
}

INSTANTIATE_TEST_SUITE_P(all, strokes, testing::ValuesIn(stroke_cases));

TEST(stroke, the_target_square_is_stamped_by_the_next_unmoved_frame)
{
    grid g;
    g->previous_xmouse = 10;
    g->previous_ymouse = 10;
    g->draw_particle(SAND, 20, 10, 2);
    EXPECT_EQ(g->particles[10][5], EMPTY);
    g->draw_particle(SAND, 20, 10, 2);
    EXPECT_EQ(g->particles[10][5], SAND);
}

TEST(stroke, a_fast_drag_leaves_an_unbroken_trail)
{
    grid g;
    g->previous_xmouse = 20;
    g->previous_ymouse = 500;
    g->draw_particle(WALL, 580, 40, 2);
    // Every column crossed holds at least one wall cell.
    for (int x = 10; x < 290; x++)
    {
        int walls = 0;
        for (int y = 0; y < 300; y++)
            walls += g->particles[x][y] == WALL;
        ASSERT_GT(walls, 0) << "column " << x;
    }
}

} // namespace
