#ifndef RULES_H
#define RULES_H

// The rules by which particles move, stated once, for any view of the cells:
// a view holds the grid `p`, whose densities the rules read, gives the kind
// of a cell (`outside` beyond the grid's edges), swaps two cells, and says
// whether a cell was moved earlier in the pass. The plain pass visits the
// grid through a view of the grid itself (particlegrid_functions.cpp), the
// fast pass through its row copies (fast_pass.cpp). Also here: the visit
// counter's arithmetic, which both passes share.

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

// Half the columns, of one parity, are visited in each pass.
const int columns_per_pass = grid_size / 2;

template <class cells> bool is_empty(const cells &c, int x, int y)
{
    return c.kind(x, y) == EMPTY;
}

// Strictly lighter; nothing sinks out of the grid.
template <class cells> bool sinks_into(const cells &c, int kind, int x, int y)
{
    int target = c.kind(x, y);
    return target != outside && c.p.densities[kind] > c.p.densities[target];
}

// Straight down, then down-right, then down-left.
template <class cells> bool fall(cells &c, int kind, int x, int y)
{
    for (int dx : {0, 1, -1})
        if (sinks_into(c, kind, x + dx, y + 1))
        {
            c.swap(x, y, x + dx, y + 1, true);
            return true;
        }
    return false;
}

// Both sides free: the visit's side picks the direction.
template <class cells> bool move_to_open_side(cells &c, int x, int y, const visit_side &side)
{
    if (!is_empty(c, x + 1, y) || !is_empty(c, x - 1, y))
        return false;
    c.swap(x, y, side.leftward() ? x - 1 : x + 1, y, true);
    return true;
}

// A single free side is taken at once; these moves leave no moved flag.
template <class cells> void flow_sideways(cells &c, int x, int y, const visit_side &side)
{
    if (move_to_open_side(c, x, y, side))
        return;
    if (is_empty(c, x + 1, y))
        c.swap(x, y, x + 1, y, false);
    else if (is_empty(c, x - 1, y))
        c.swap(x, y, x - 1, y, false);
}

// Into empty space only: straight up, then sideways with both sides free
// (there is no one-sided move), then up-right, then up-left.
template <class cells> void rise(cells &c, int x, int y, const visit_side &side)
{
    if (is_empty(c, x, y - 1))
        c.swap(x, y, x, y - 1, true);
    else if (move_to_open_side(c, x, y, side))
        return;
    else if (is_empty(c, x + 1, y - 1))
        c.swap(x, y, x + 1, y - 1, true);
    else if (is_empty(c, x - 1, y - 1))
        c.swap(x, y, x - 1, y - 1, true);
}

// One visit, after the counter step: the kind's way of moving, from the
// element table.
template <class cells> void visit_cell(cells &c, int x, int y, const visit_side &side)
{
    int kind = c.kind(x, y);
    if (kind < 0 || kind >= element_count || c.moved(x, y))
        return;
    switch (elements[kind].moves)
    {
    case motion::none:
        break;
    case motion::falls:
        fall(c, kind, x, y);
        break;
    case motion::flows:
        if (!fall(c, kind, x, y))
            flow_sideways(c, x, y, side);
        break;
    case motion::rises:
        rise(c, x, y, side);
        break;
    }
}

#endif
