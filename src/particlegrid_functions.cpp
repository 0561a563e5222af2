// The grid's methods: its start state, the simulation pass, brush strokes
// and rendering. The pass visits cells by the rules (rules.h); the pass and
// rendering hand the bulk of their work to the fast paths in fast_pass.cpp
// and fast_render.cpp.

#include "particlegrid.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "fast_pass.h"
#include "fast_render.h"
#include "rules.h"

namespace
{

const int visits_per_pass = grid_size * grid_size / 2;

// ---------------------------------------------------------------------------
// The pass the plain way. Its visits see the grid through this view.

struct grid_cells
{
    particles &p;

    int kind(int x, int y) const
    {
        bool inside = x >= 0 && x < grid_size && y >= 0 && y < grid_size;
        return inside ? p.particles[x][y] : outside;
    }

    // Exchanges the kinds of two cells; with `set_moved` the destination's
    // moved flag is set, so that no later visit in the same pass moves it
    // again.
    void swap(int x, int y, int tx, int ty, bool set_moved)
    {
        std::swap(p.particles[x][y], p.particles[tx][ty]);
        if (set_moved)
            p.particlemoved[tx][ty] = true;
    }

    bool moved(int x, int y) const
    {
        return p.particlemoved[x][y];
    }
};

void advance_counter(particles &p, int visits)
{
    p.alternate = visit_counter{p.count, p.alternate}.alternate_after(visits);
    p.count = (p.count + visits) % counter_period;
}

// The fast pass takes which kind sinks into which from the element table,
// while the rules read `densities`, which may be changed at run time.
bool densities_as_in_table(const particles &p)
{
    for (int kind = 0; kind < element_count; kind++)
        if (p.densities[kind] != elements[kind].density)
            return false;
    return true;
}

// The pass the plain way: one visit by the rules per cell, in the pass's
// order.
void visit_each_cell(particles &p)
{
    int parity = p.skiplevel ? 0 : 1;
    for (int y = grid_size - 1; y >= 0; y--)
        for (int k = 0; k < columns_per_pass; k++)
        {
            int column = p.leftorright ? k : columns_per_pass - 1 - k;
            p.calculate_particle(2 * column + parity, y);
        }
}

// ---------------------------------------------------------------------------
// Strokes. Stamping the whole square at every pointer step writes the same
// cells over and over; instead the union of the squares is painted once.
// Along the path the stamp's cell moves at most one cell per step on each
// axis and never turns back, so the stamps covering any one column form an
// unbroken run whose squares overlap from one to the next: the column is
// covered on one range of rows, from the highest square's top to the lowest
// square's bottom.

// Each column's range of rows, the tops and the bottoms in arrays of their
// own, so that widening a run of columns is a few vector instructions.
struct column_ranges
{
    int top[grid_size];
    int bottom[grid_size];

    column_ranges()
    {
        std::fill(std::begin(top), std::end(top), grid_size);
        std::fill(std::begin(bottom), std::end(bottom), -1);
    }
};

int step_toward(int from, int to)
{
    return from + (from < to) - (from > to);
}

// Widens each column's range by the square of half-size `half` around cell
// (cx, cy).
void add_square(column_ranges &columns, int cx, int cy, int half)
{
    int left = std::max(cx - half, 0), right = std::min(cx + half - 1, grid_size - 1);
    for (int x = left; x <= right; x++)
    {
        columns.top[x] = std::min(columns.top[x], cy - half);
        columns.bottom[x] = std::max(columns.bottom[x], cy + half - 1);
    }
}

void paint_columns(particles &p, const column_ranges &columns, int type)
{
    for (int x = 0; x < grid_size; x++)
    {
        int top = std::max(columns.top[x], 0), bottom = std::min(columns.bottom[x], grid_size - 1);
        if (top <= bottom)
            std::fill(&p.particles[x][top], &p.particles[x][bottom] + 1, type);
    }
}

} // namespace

void particles::init_particle_grids()
{
    std::memset(particles, 0, sizeof particles);
    refresh_grid();
    leftorright = false;
    for (int kind = 0; kind < element_count; kind++)
        densities[kind] = elements[kind].density;
    alternate = true;
    skiplevel = false;
    count = 0;
}

void particles::refresh_grid()
{
    std::memset(particlemoved, 0, sizeof particlemoved);
}

void particles::draw_parts()
{
    render_grid(*this);
}

void particles::draw_particle(int type, int x, int y, int size)
{
    // One stamp per pixel step, so consecutive stamps overlap and a fast drag
    // leaves no gaps; the target itself is stamped by the next frame, unless
    // the pointer has not moved at all.
    int half = size / 2;
    column_ranges columns;
    do
    {
        add_square(columns, previous_xmouse / cell_pixels, previous_ymouse / cell_pixels, half);
        previous_xmouse = step_toward(previous_xmouse, x);
        previous_ymouse = step_toward(previous_ymouse, y);
    } while (previous_xmouse != x || previous_ymouse != y);
    paint_columns(*this, columns, type);
}

void particles::calculate_particles()
{
    if (densities_as_in_table(*this))
    {
        run_fast_pass(*this);
        advance_counter(*this, visits_per_pass);
    }
    else
        visit_each_cell(*this);
    leftorright = !leftorright;
    skiplevel = !skiplevel;
}

void particles::calculate_particle(int j, int i)
{
    advance_counter(*this, 1);
    grid_cells cells{*this};
    visit_cell(cells, j, i, visit_side{{count, alternate}, 0});
}
