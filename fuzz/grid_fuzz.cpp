// libFuzzer target for the grid. The input bytes become a sequence of the
// only things the program ever does to the grid: brush strokes (any element,
// size 1 to 50, from a remembered pointer position anywhere in the window),
// pointer moves that only update the remembered position, simulation passes,
// flag clears and rendering. Each step is done twice: by the grid's own
// methods, with their fast paths, and by the plain versions of the tests'
// oracle on a second grid. After every step the two must agree on every
// cell, flag and pixel, and the grid's invariants must hold; a difference
// or a broken invariant aborts, which libFuzzer reports as a crash.

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "allegro_fixture.h"
#include "oracle.h"

namespace
{

const int window_width = 800;
const int play_size = 600;
const int max_brush = 50;
// Enough steps to build up piles, few enough to keep thousands of runs a
// minute even when every step is a stroke across the whole window.
const int max_steps = 48;

// A stroke reaches at most 25 columns left of column 0 (30 kB before the
// grid); writes past its right end land in `particlemoved`, which strokes
// must leave alone. Both guards are poisoned, so AddressSanitizer stops the
// run at the very instruction that writes into them.
const size_t guard_bytes = size_t{64} * 1024;

struct guarded_grid
{
    alignas(8) unsigned char before[guard_bytes];
    particles p;
    alignas(8) unsigned char after[guard_bytes];
};

guarded_grid *arena;
BITMAP *play_area;
particles *plain;

void require(bool holds, const char *what)
{
    if (holds)
        return;
    std::fprintf(stderr, "grid invariant broken: %s\n", what);
    std::abort();
}

bool same_fixed_members(const particles &p)
{
    for (int kind = 0; kind < element_count; kind++)
        if (p.densities[kind] != elements[kind].density)
            return false;
    return p.sand == play_area;
}

void check_always(const particles &p)
{
    for (int x = 0; x < grid_size; x++)
        for (int y = 0; y < grid_size; y++)
            require(p.particles[x][y] >= 0 && p.particles[x][y] < element_count,
                    "a cell holds an unknown kind");
    require(p.count >= 0 && p.count <= 50, "visit counter outside 0..50");
    require(p.skiplevel == p.leftorright, "sweep flags out of step");
    require(same_fixed_members(p), "bitmap or density table changed");
}

// The fast grid and the plain one must agree on everything but their
// bitmaps, which are each their own.
void require_same(const particles &fast, const particles &plain, const char *step)
{
    bool same =
        std::memcmp(fast.particles, plain.particles, sizeof fast.particles) == 0 &&
        std::memcmp(fast.particlemoved, plain.particlemoved, sizeof fast.particlemoved) == 0 &&
        fast.leftorright == plain.leftorright && fast.alternate == plain.alternate &&
        fast.skiplevel == plain.skiplevel && fast.count == plain.count &&
        fast.previous_xmouse == plain.previous_xmouse &&
        fast.previous_ymouse == plain.previous_ymouse;
    require(same, step);
}

// A pass only moves particles: every kind keeps its number of cells, and
// walls stay where they are.
void require_conserved(const int (&before)[grid_size][grid_size], const particles &p)
{
    int counted_before[element_count] = {}, counted_after[element_count] = {};
    for (int x = 0; x < grid_size; x++)
        for (int y = 0; y < grid_size; y++)
        {
            counted_before[before[x][y]]++;
            counted_after[p.particles[x][y]]++;
            require((before[x][y] == WALL) == (p.particles[x][y] == WALL),
                    "a pass moved, made or removed a wall");
        }
    require(std::equal(counted_before, counted_before + element_count, counted_after),
            "a pass changed the number of cells of some kind");
}

void stroke(particles &fast, particles &plain, int type, int x, int y, int size)
{
    fast.draw_particle(type, x, y, size);
    oracle::draw_particle(plain, type, x, y, size);
    require_same(fast, plain, "the stroke differs from stamping square by square");
}

void pass(particles &fast, particles &plain)
{
    static int before[grid_size][grid_size];
    std::memcpy(before, fast.particles, sizeof before);
    fast.calculate_particles();
    oracle::calculate_particles(plain);
    require_same(fast, plain, "the pass differs from the plain rules");
    require_conserved(before, fast);
}

void render(particles &fast, particles &plain)
{
    fast.draw_parts();
    oracle::draw_parts(plain);
    for (int y = 0; y < play_size; y++)
        require(std::memcmp(fast.sand->line[y], plain.sand->line[y], play_size) == 0,
                "rendering differs from one rectangle per cell");
    require_same(fast, plain, "rendering changed the grid");
}

// Hands out the input a byte at a time; zeros once it runs dry.
struct reader
{
    const uint8_t *data;
    size_t left;

    bool done() const
    {
        return left == 0;
    }
    int byte()
    {
        if (left == 0)
            return 0;
        left--;
        return *data++;
    }
    int word()
    {
        int high = byte();
        return high << 8 | byte();
    }
};

// One step of the sequence, chosen and parameterised by the next bytes.
void step(particles &fast, particles &plain, reader &in)
{
    switch (in.byte() % 6)
    {
    case 0:
    {
        int type = in.byte() % element_count;
        int x = in.word() % play_size;
        int y = in.word() % play_size;
        stroke(fast, plain, type, x, y, 1 + in.byte() % max_brush);
        break;
    }
    case 1:
    {
        // A short drag: the target near the remembered position, kept on
        // the play area as the frame loop only paints there.
        int type = in.byte() % element_count;
        int x = std::clamp(fast.previous_xmouse + static_cast<int8_t>(in.byte()), 0, play_size - 1);
        int y = std::clamp(fast.previous_ymouse + static_cast<int8_t>(in.byte()), 0, play_size - 1);
        stroke(fast, plain, type, x, y, 1 + in.byte() % max_brush);
        break;
    }
    case 2:
        // The frame loop remembers the pointer wherever it is, panel included.
        fast.previous_xmouse = plain.previous_xmouse = in.word() % window_width;
        fast.previous_ymouse = plain.previous_ymouse = in.word() % play_size;
        break;
    case 3:
        pass(fast, plain);
        break;
    case 4:
        fast.refresh_grid();
        oracle::refresh_grid(plain);
        require_same(fast, plain, "clearing the flags differs");
        break;
    default:
        render(fast, plain);
        break;
    }
    check_always(fast);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int * /*argc*/, char *** /*argv*/)
{
    start_allegro_headless();
    arena = new guarded_grid;
    play_area = create_bitmap(play_size, play_size);
    if (!play_area)
        std::abort();
    arena->p.sand = play_area;
    plain = new particles;
    plain->sand = create_bitmap(play_size, play_size);
    if (!plain->sand)
        std::abort();
    ASAN_POISON_MEMORY_REGION(arena->before, guard_bytes);
    ASAN_POISON_MEMORY_REGION(arena->after, guard_bytes);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    particles &p = arena->p;
    p.init_particle_grids();
    reader in{data, size};
    p.previous_xmouse = in.word() % window_width;
    p.previous_ymouse = in.word() % play_size;
    BITMAP *plain_area = plain->sand;
    *plain = p;
    plain->sand = plain_area;
    for (int n = 0; n < max_steps && !in.done(); n++)
        step(p, *plain, in);
    return 0;
}
