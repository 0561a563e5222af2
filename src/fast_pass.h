#ifndef FAST_PASS_H
#define FAST_PASS_H

// The simulation pass made fast (fast_pass.cpp), and what it shares with the
// rules in particlegrid_functions.cpp: the visit counter's arithmetic and the
// view of the cells that its visits go through. The rules are stated once,
// there; the pass only picks which cells to visit and makes the moves that
// the rules would make first anyway.

#include <cstdint>

#include "particlegrid.h"

// `count` runs 0..50, so `alternate` flips once every 51 visits.
const int counter_period = 51;
// Stands for the missing neighbours beyond the grid's edges: never empty and
// never sunk into, so the edges need no tests of their own.
const int outside = element_count;

// The visit counter at some point; `alternate` after any number of further
// visits follows from it.
struct visit_counter
{
    int count;
    bool alternate;

    // Both are never negative, so the division needs no sign fix-ups.
    bool alternate_after(int visits) const
    {
        unsigned periods = unsigned(count + visits) / counter_period;
        return alternate != (periods % 2 == 1);
    }
};

// Which way a visit goes when both sides are free: the `alternate` of its
// place in the pass. Worked out only when asked, since most visits never ask.
struct visit_side
{
    visit_counter counter;
    int visits;

    bool leftward() const
    {
        return counter.alternate_after(visits);
    }
};

// The kinds by rows, one copy per column parity: `cells[parity][y + 1][k +
// first]` holds the kind of cell (2k + parity, y). A frame of `outside`
// cells surrounds the grid, and pads the rows so that they can be read 32
// cells at a time.
const int columns_per_pass = grid_size / 2;
const int row_bytes = 224;
// Where column index 0 sits in a row: rows and blocks start 32-byte aligned.
const int first = 32;

struct kind_rows
{
    alignas(64) uint8_t cells[2][grid_size + 2][row_bytes];

    kind_rows();
};

// The cells as the pass's visits see them: kinds are read from the row
// copies, which are in cache, and moves are written to the copies and the
// grid. The pass leaves out the cells that are moved already, so a visit
// never finds one.
struct copied_cells
{
    particles &p;
    kind_rows &rows;

    // x = -1 and x = 300 land in the frame: -1 >> 1 is -1.
    uint8_t &copy(int x, int y) const
    {
        return rows.cells[x & 1][y + 1][(x >> 1) + first];
    }

    int kind(int x, int y) const
    {
        return copy(x, y);
    }

    void swap(int x, int y, int tx, int ty, bool set_moved)
    {
        uint8_t from = copy(x, y), to = copy(tx, ty);
        copy(x, y) = to;
        copy(tx, ty) = from;
        p.particles[x][y] = to;
        p.particles[tx][ty] = from;
        if (set_moved)
            p.particlemoved[tx][ty] = true;
    }

    static bool moved(int /*x*/, int /*y*/)
    {
        return false;
    }
};

// One visit by the rules, after its counter step (particlegrid_functions.cpp).
void visit_copied_cell(copied_cells &c, int x, int y, const visit_side &side);

// The cells of one pass, visited as the rules visit them, leaving the
// counter and the sweep flags as they were.
void run_fast_pass(particles &p);

#endif
