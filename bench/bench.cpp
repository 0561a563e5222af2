// Times the grid's per-frame work next to its memory floor: the pass with
// refresh_grid against copying the grid once, draw_parts against writing the
// bitmap's bytes once, the worst stroke against clearing the grid once. Each
// floor runs in the same process and the same run as its work;
// scripts/bench.sh works out the ratios.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <benchmark/benchmark.h>

#include "allegro_fixture.h"

namespace
{

const int bitmap_bytes = 600 * 600;

// How many passes the scene runs before it is put back to its start. Within
// that many passes the falling blocks land, the sand sinks through the pool
// and the fire climbs, so every stretch of the measurement sees motion.
const int passes_per_scene = 200;

void fill(particles &p, int kind, int left, int top, int right, int bottom)
{
    for (int x = left; x <= right; x++)
        for (int y = top; y <= bottom; y++)
            p.particles[x][y] = kind;
}

// Walls, a heap of sand, a deep pool of water and fire, plus blocks of sand,
// water and fire in the air that keep the scene moving. Built the same way
// every run.
void build_scene(particles &p)
{
    p.init_particle_grids();
    // The pool's left wall and the pool itself, 170 rows deep.
    fill(p, WALL, 140, 100, 143, 299);
    fill(p, WATER, 144, 130, 299, 299);
    // Fire at the bottom of the pool: the water sinks through it.
    fill(p, FIRE, 150, 285, 290, 299);
    // A heap of sand left of the wall, at rest with its slopes at 45 degrees.
    for (int x = 0; x < 140; x++)
        fill(p, SAND, x, 180 + std::abs(x - 70), x, 299);
    // A ledge of wall in the heap, and blocks in the air.
    fill(p, WALL, 30, 150, 60, 153);
    fill(p, SAND, 200, 20, 259, 69);
    fill(p, WATER, 40, 20, 99, 59);
    fill(p, FIRE, 10, 100, 130, 115);
}

// Every kind of the table but empty, mixed.
void fill_every_cell(particles &p)
{
    for (int x = 0; x < grid_size; x++)
        for (int y = 0; y < grid_size; y++)
            p.particles[x][y] = EMPTY + 1 + (x * 7 + y * 3) % (element_count - 1);
}

// --- the pass --------------------------------------------------------------

void copy_grid_once(benchmark::State &state)
{
    static int from[grid_size][grid_size], to[grid_size][grid_size];
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(from);
        std::memcpy(to, from, sizeof to);
        benchmark::DoNotOptimize(to);
        benchmark::ClobberMemory();
    }
}

// The scene evolves from pass to pass; putting it back every
// `passes_per_scene` passes happens with the clock stopped.
void pass_and_refresh_grid(benchmark::State &state)
{
    grid g;
    build_scene(*g.p);
    const particles start = *g.p;
    int passes = 0;
    for (auto _ : state)
    {
        g.p->calculate_particles();
        g.p->refresh_grid();
        benchmark::ClobberMemory();
        if (++passes % passes_per_scene == 0)
        {
            state.PauseTiming();
            *g.p = start;
            state.ResumeTiming();
        }
    }
}

// --- rendering -------------------------------------------------------------

void write_bitmap_once(benchmark::State &state)
{
    grid g;
    // A memory bitmap holds its rows in one block.
    unsigned char *pixels = g.p->sand->line[0];
    int colour = 0;
    for (auto _ : state)
    {
        std::memset(pixels, ++colour, bitmap_bytes);
        benchmark::ClobberMemory();
    }
}

void draw_parts_full_grid(benchmark::State &state)
{
    grid g;
    fill_every_cell(*g.p);
    for (auto _ : state)
    {
        g.p->draw_parts();
        benchmark::ClobberMemory();
    }
}

// --- strokes ---------------------------------------------------------------

void clear_grid_once(benchmark::State &state)
{
    grid g;
    for (auto _ : state)
    {
        std::memset(g.p->particles, 0, sizeof g.p->particles);
        benchmark::ClobberMemory();
    }
}

// The largest brush dragged corner to corner within one frame.
void worst_stroke(benchmark::State &state)
{
    grid g;
    for (auto _ : state)
    {
        g.p->previous_xmouse = g.p->previous_ymouse = 0;
        g.p->draw_particle(SAND, 599, 599, 50);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(copy_grid_once);
BENCHMARK(pass_and_refresh_grid);
BENCHMARK(write_bitmap_once);
BENCHMARK(draw_parts_full_grid);
BENCHMARK(clear_grid_once);
BENCHMARK(worst_stroke);

} // namespace

BENCHMARK_MAIN();
