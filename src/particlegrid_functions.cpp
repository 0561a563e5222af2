#include "particlegrid.h"

namespace
{

const int grid_size = 300;
const int cell_pixels = 2;

// Exchanges the kinds of two cells; with `mark` the destination is flagged
// so that no later visit in the same pass moves that particle again.
void swap_cells(particles &p, int x, int y, int tx, int ty, bool mark)
{
    int moving = p.particles[x][y];
    p.particles[x][y] = p.particles[tx][ty];
    p.particles[tx][ty] = moving;
    if (mark)
        p.particlemoved[tx][ty] = true;
}

bool inside(int x, int y)
{
    return x >= 0 && x < grid_size && y >= 0 && y < grid_size;
}

// A neighbour outside the grid counts as occupied, so edge cells never read
// past the grid and never see a free cell there.
bool is_empty(const particles &p, int x, int y)
{
    return inside(x, y) && p.particles[x][y] == EMPTY;
}

bool sinks_into(const particles &p, float density, int x, int y)
{
    return inside(x, y) && density > p.densities[p.particles[x][y]];
}

// Both sides free: the shared `alternate` flag picks the direction.
bool move_to_open_side(particles &p, int x, int y)
{
    if (!is_empty(p, x + 1, y) || !is_empty(p, x - 1, y))
        return false;
    swap_cells(p, x, y, p.alternate ? x - 1 : x + 1, y, true);
    return true;
}

// Water with a single free side flows there at once; these moves stay
// unmarked.
void flow_sideways(particles &p, int x, int y)
{
    if (move_to_open_side(p, x, y))
        return;
    if (is_empty(p, x + 1, y))
        swap_cells(p, x, y, x + 1, y, false);
    else if (is_empty(p, x - 1, y))
        swap_cells(p, x, y, x - 1, y, false);
}

void update_falling(particles &p, int x, int y, int kind)
{
    float density = p.densities[kind];
    if (sinks_into(p, density, x, y + 1))
        swap_cells(p, x, y, x, y + 1, true);
    else if (sinks_into(p, density, x + 1, y + 1))
        swap_cells(p, x, y, x + 1, y + 1, true);
    else if (sinks_into(p, density, x - 1, y + 1))
        swap_cells(p, x, y, x - 1, y + 1, true);
    else if (kind == WATER)
        flow_sideways(p, x, y);
}

// Fire rises into empty space only, and has no one-sided sideways move.
void update_fire(particles &p, int x, int y)
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
    int cx = p.previous_xmouse / cell_pixels;
    int cy = p.previous_ymouse / cell_pixels;
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

void particles::init_particle_grids()
{
    for (int x = 0; x < grid_size; x++)
        for (int y = 0; y < grid_size; y++)
        {
            particles[x][y] = EMPTY;
            particlemoved[x][y] = false;
        }
    leftorright = false;
    densities[EMPTY] = 0.0f;
    densities[WALL] = 500.0f;
    densities[SAND] = 2.0f;
    densities[WATER] = 1.0f;
    densities[FIRE] = -5.0f;
    alternate = true;
    skiplevel = false;
    count = 0;
}

void particles::refresh_grid()
{
    for (int x = 0; x < grid_size; x++)
        for (int y = 0; y < grid_size; y++)
            particlemoved[x][y] = false;
}

void particles::draw_parts()
{
    const int colours[5] = {0, makecol(90, 90, 90), makecol(255, 210, 128), makecol(0, 0, 255),
                            makecol(255, 0, 0)};
    clear_to_color(sand, makecol(0, 0, 0));
    for (int y = 0; y < grid_size; y++)
        for (int x = 0; x < grid_size; x++)
        {
            int kind = particles[x][y];
            if (kind != EMPTY)
                rectfill(sand, cell_pixels * x, cell_pixels * y, cell_pixels * x + 1,
                         cell_pixels * y + 1, colours[kind]);
        }
}

void particles::draw_particle(int type, int x, int y, int size)
{
    if (previous_xmouse == x && previous_ymouse == y)
    {
        stamp_square(*this, type, size);
        return;
    }
    // One pixel per axis at a time, so consecutive stamps overlap and a fast
    // drag leaves no gaps. The target itself is stamped by the next frame.
    while (previous_xmouse != x || previous_ymouse != y)
    {
        stamp_square(*this, type, size);
        previous_xmouse = step_toward(previous_xmouse, x);
        previous_ymouse = step_toward(previous_ymouse, y);
    }
}

void particles::calculate_particles()
{
    // Half the columns per pass: `skiplevel` picks the parity (odd first),
    // `leftorright` the direction. Rows go bottom up so that a falling
    // particle lands in a row already visited.
    int lowest = skiplevel ? 0 : 1;
    int highest = lowest + grid_size - 2;
    int first = leftorright ? lowest : highest;
    int step = leftorright ? 2 : -2;
    for (int y = grid_size - 1; y >= 0; y--)
        for (int n = 0, x = first; n < grid_size / 2; n++, x += step)
            calculate_particle(x, y);
    leftorright = !leftorright;
    skiplevel = !skiplevel;
}

void particles::calculate_particle(int j, int i)
{
    if (count > 49)
    {
        count = 0;
        alternate = !alternate;
    }
    else
        count++;
    if (particlemoved[j][i])
        return;
    int current_particle = particles[j][i];
    if (current_particle == SAND || current_particle == WATER)
        update_falling(*this, j, i, current_particle);
    else if (current_particle == FIRE)
        update_fire(*this, j, i);
}
