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
    const float densities[5] = {0.0f, 500.0f, 2.0f, 1.0f, -5.0f};
    for (int k = 0; k < 5; k++)
        EXPECT_EQ(g->densities[k], densities[k]) << "kind " << k;
}
