#ifndef ALLEGRO_FIXTURE_H
#define ALLEGRO_FIXTURE_H

// The library without a window, for the tests, the benchmarks and the fuzz
// target: one way to start it and one way to hold a grid.

#include <memory>

#include "particlegrid.h"

// Starts the library without a window but with the game's 8-bit colour
// depth and default palette, so memory bitmaps and makecol behave as in the
// window. Safe to call any number of times; aborts if the library cannot
// start.
void start_allegro_headless();

// A grid in its start state with its own black 600 x 600 play-area bitmap
// and the remembered pointer at (0, 0).
struct grid
{
    grid();
    ~grid();
    grid(const grid &) = delete;
    grid &operator=(const grid &) = delete;

    particles &operator*() const
    {
        return *p;
    }
    particles *operator->() const
    {
        return p.get();
    }

    std::unique_ptr<particles> p;
};

// Number of cells holding `kind`.
int count_kind(const particles &p, int kind);

#endif
