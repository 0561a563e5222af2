#include <tuple>

#include <gtest/gtest.h>

#include "allegro_fixture.h"

TEST(grid_start_state, every_cell_empty_and_unmarked_with_sweep_flags_set)
{
    grid g;
    g->particles[7][9] = SAND;
    g->particlemoved[3][4] = true;
    g->alternate = false;
    g->leftorright = g->skiplevel = true;
    g->count = 17;
    g->init_particle_grids();
    EXPECT_EQ(count_kind(*g, EMPTY), 300 * 300);
    for (int x = 0; x < 300; x++)
        for (int y = 0; y < 300; y++)
            ASSERT_FALSE(g->particlemoved[x][y]);
    EXPECT_TRUE(g->alternate);
    EXPECT_FALSE(g->leftorright);
    EXPECT_FALSE(g->skiplevel);
    EXPECT_EQ(g->count, 0);
    for (int k = 0; k < element_count; k++)
        EXPECT_EQ(g->densities[k], elements[k].density) << "kind " << k;
}

// The named kinds' rows, written out apart from the table so that a change
// to them shows here; the other tests follow the table itself, so that they
// cover any kind added to it.
TEST(element_table, the_named_kinds_have_their_labels_colours_and_densities)
{
    const struct
    {
        int kind;
        const char *label;
        int r, g, b;
        float density;
    } named[] = {
        {EMPTY, "Empty", 0, 0, 0, 0.0f},     {WALL, "Wall", 90, 90, 90, 500.0f},
        {SAND, "Sand", 255, 210, 128, 2.0f}, {WATER, "Water", 0, 0, 255, 1.0f},
        {FIRE, "Fire", 255, 0, 0, -5.0f},
    };
    for (const auto &want : named)
    {
        const element &got = elements[want.kind];
        EXPECT_STREQ(got.label, want.label);
        EXPECT_EQ(std::make_tuple(got.r, got.g, got.b, got.density),
                  std::make_tuple(want.r, want.g, want.b, want.density))
            << want.label;
    }
}

TEST(grid_refresh, clears_every_moved_flag)
{
    grid g;
    for (int x = 0; x < 300; x += 7)
        for (int y = 0; y < 300; y += 3)
            g->particlemoved[x][y] = true;
    g->particlemoved[299][299] = true;
    g->refresh_grid();
    for (int x = 0; x < 300; x++)
        for (int y = 0; y < 300; y++)
            ASSERT_FALSE(g->particlemoved[x][y]);
}

namespace
{

int colour_of(int kind)
{
    return makecol(elements[kind].r, elements[kind].g, elements[kind].b);
}

} // namespace

TEST(grid_rendering, each_kind_fills_its_cells_two_by_two_pixels)
{
    const struct
    {
        int x, y;
    } cells[] = {{0, 0}, {299, 299}, {150, 7}, {0, 299}, {299, 0}};
    // Empty included: nothing of what the bitmap held shows through.
    for (int kind = EMPTY; kind < element_count; kind++)
        for (const auto &cell : cells)
        {
            grid g;
            clear_to_color(g->sand, makecol(255, 255, 255));
            g->particles[cell.x][cell.y] = kind;
            g->draw_parts();
            for (int py = 0; py < 600; py++)
                for (int px = 0; px < 600; px++)
                {
                    bool in_cell = px / 2 == cell.x && py / 2 == cell.y;
                    ASSERT_EQ(getpixel(g->sand, px, py), colour_of(in_cell ? kind : EMPTY))
                        << "kind " << kind << " pixel " << px << "," << py;
                }
        }
}

TEST(grid_rendering, every_kind_has_a_distinct_colour_in_the_8_bit_palette)
{
    start_allegro_headless();
    for (int a = 0; a < element_count; a++)
        for (int b = a + 1; b < element_count; b++)
            EXPECT_NE(colour_of(a), colour_of(b)) << a << " vs " << b;
}
