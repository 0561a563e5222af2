#include "allegro_fixture.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

void start_allegro_headless()
{
    static bool started = false;
    if (started)
        return;
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
    {
        std::fprintf(stderr, "cannot start the library: %s\n", allegro_error);
        std::abort();
    }
    set_color_depth(8);
    select_palette(default_palette);
    started = true;
}

grid::grid() : p(new particles)
{
    start_allegro_headless();
    p->sand = create_bitmap(600, 600);
    clear_to_color(p->sand, makecol(0, 0, 0));
    p->init_particle_grids();
    p->previous_xmouse = 0;
    p->previous_ymouse = 0;
}

grid::~grid()
{
    destroy_bitmap(p->sand);
}

int count_kind(const particles &p, int kind)
{
    int n = 0;
    for (int x = 0; x < grid_size; x++)
        for (int y = 0; y < grid_size; y++)
            n += p.particles[x][y] == kind;
    return n;
}
