#include "oracle.h"

namespace oracle
{
namespace
{

bool inside(int x, int y)
{
    return x >= 0 && x < 300 && y >= 0 && y < 300;
}

void swap_cells(particles &p, int x, int y, int tx, int ty, bool mark)
{
    int moving = p.particles[x][y];
    p.particles[x][y] = p.particles[tx][ty];
    p.particles[tx][ty] = moving;
    if (mark)
        p.particlemoved[tx][ty] = true;
}

// Outside the grid counts as occupied.
bool is_empty(const particles &p, int x, int y)
{
    return inside(x, y) && p.particles[x][y] == EMPTY;
}

bool sinks_into(const particles &p, float density, int x, int y)
{
    return inside(x, y) && density > p.densities[p.particles[x][y]];
}

bool move_to_open_side(particles &p, int x, int y)
{
    if (!is_empty(p, x + 1, y) || !is_empty(p, x - 1, y))
        return false;
    swap_cells(p, x, y, p.alternate ? x - 1 : x + 1, y, true);
    return true;
}

void update_falling(particles &p, int x, int y, int kind, bool flows)
{
    float density = p.densities[kind];
    if (sinks_into(p, density, x, y + 1))
        swap_cells(p, x, y, x, y + 1, true);
    else if (sinks_into(p, density, x + 1, y + 1))
        swap_cells(p, x, y, x + 1, y + 1, true);
    else if (sinks_into(p, density, x - 1, y + 1))
        swap_cells(p, x, y, x - 1, y + 1, true);
    else if (flows && !move_to_open_side(p, x, y))
    {
        if (is_empty(p, x + 1, y))
            swap_cells(p, x, y, x + 1, y, false);
        else if (is_empty(p, x - 1, y))
            swap_cells(p, x, y, x - 1, y, false);
    }
}

void update_rising(particles &p, int x, int y)
{
    if (is_empty(p, x, y - 1))
        swap_cells(p, x, y, x, y - 1, true);
    else if (move_to_open_side(p, x, y))
        return;
    else if (is_empty(p, x + 1, y - 1))
        swap_cells(p, x, y, x + 1, y - 1, true);
    else if (is_empty(p, x - 1, y - 1))
        swap_cells(p, x, y, x - 1, y - 1, true);
}

void stamp_square(particles &p, int type, int size)
{
    int half = size / 2;
    int cx = p.previous_xmouse / 2;
    int cy = p.previous_ymouse / 2;
    for (int i = -half; i < half; i++)
        for (int k = -half; k < half; k++)
            if (inside(cx + k, cy + i))
                p.particles[cx + k][cy + i] = type;
}

int step_toward(int from, int to)
{
    return from + (from < to) - (from > to);
}

} // namespace

void refresh_grid(particles &p)
{
    for (int x = 0; x < 300; x++)
        for (int y = 0; y < 300; y++)
            p.particlemoved[x][y] = false;
}

void draw_parts(particles &p)
{
    auto colour = [](int kind)
    { return makecol(elements[kind].r, elements[kind].g, elements[kind].b); };
    clear_to_color(p.sand, colour(EMPTY));
    for (int y = 0; y < 300; y++)
        for (int x = 0; x < 300; x++)
            if (p.particles[x][y] != EMPTY)
                rectfill(p.sand, 2 * x, 2 * y, 2 * x + 1, 2 * y + 1, colour(p.particles[x][y]));
}

// A square at every step from the remembered position toward (x, y), short
// of (x, y) itself; one square when the pointer has not moved.
void draw_particle(particles &p, int type, int x, int y, int size)
{
    do
    {
        stamp_square(p, type, size);
        p.previous_xmouse = step_toward(p.previous_xmouse, x);
        p.previous_ymouse = step_toward(p.previous_ymouse, y);
    } while (p.previous_xmouse != x || p.previous_ymouse != y);
}

void calculate_particles(particles &p)
{
    int lowest = p.skiplevel ? 0 : 1;
    int first = p.leftorright ? lowest : lowest + 298;
    int step = p.leftorright ? 2 : -2;
    for (int y = 299; y >= 0; y--)
        for (int n = 0, x = first; n < 150; n++, x += step)
            calculate_particle(p, x, y);
    p.leftorright = !p.leftorright;
    p.skiplevel = !p.skiplevel;
}

void calculate_particle(particles &p, int x, int y)
{
    if (p.count > 49)
    {
        p.count = 0;
        p.alternate = !p.alternate;
    }
    else
        p.count++;
    if (p.particlemoved[x][y])
        return;
    // How each kind moves is the element table's to say; the rules for
    // each way of moving are written out here.
    int kind = p.particles[x][y];
    motion moves = elements[kind].moves;
    if (moves == motion::falls || moves == motion::flows)
        update_falling(p, x, y, kind, moves == motion::flows);
    else if (moves == motion::rises)
        update_rising(p, x, y);
}

} // namespace oracle
