// libFuzzer target for the grid. The input bytes become a sequence of the
// only things the program ever does to the grid: brush strokes (any element,
// size 1 to 50, from a remembered pointer position anywhere in the window),
// pointer moves that only update the remembered position, simulation passes,
// flag clears and rendering. After every step the grid's invariants are
// checked; a broken one aborts, which libFuzzer reports as a crash.

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "particlegrid.h"

namespace
{

const int grid_size = 300;
const int kind_count = 5;
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

// The state a step must leave alone unless it is the step's job to change it.
struct snapshot
{
    int cells[grid_size][grid_size];
    bool moved[grid_size][grid_size];
    bool leftorright;
    bool alternate;
    bool skiplevel;
    int count;
};

snapshot taken;

void take_snapshot(const particles &p)
{
    std::memcpy(taken.cells, p.particles, sizeof taken.cells);
    std::memcpy(taken.moved, p.particlemoved, sizeof taken.moved);
    taken.leftorright = p.leftorright;
    taken.alternate = p.alternate;
    taken.skiplevel = p.skiplevel;
    taken.count = p.count;
}

void require(bool holds, const char *what)
{
    if (holds)
        return;
    std::fprintf(stderr, "grid invariant broken: %s\n", what);
    std::abort();
}

bool same_sweep_state(const particles &p)
{
    return p.leftorright == taken.leftorright && p.alternate == taken.alternate &&
           p.skiplevel == taken.skiplevel && p.count == taken.count;
}

bool same_fixed_members(const particles &p)
{
    const float densities[kind_count] = {0.0f, 500.0f, 2.0f, 1.0f, -5.0f};
    return p.sand == play_area && std::equal(densities, densities + kind_count, p.densities);
}

bool same_cells(const particles &p)
{
    return std::memcmp(p.particles, taken.cells, sizeof taken.cells) == 0;
}

bool same_moved_flags(const particles &p)
{
    return std::memcmp(p.particlemoved, taken.moved, sizeof taken.moved) == 0;
}

void check_always(const particles &p)
{
    for (int x = 0; x < grid_size; x++)
        for (int y = 0; y < grid_size; y++)
            require(p.particles[x][y] >= EMPTY && p.particles[x][y] <= FIRE,
                    "a cell holds an unknown kind");
    require(p.count >= 0 && p.count <= 50, "visit counter outside 0..50");
    require(p.skiplevel == p.leftorright, "sweep flags out of step");
    require(same_fixed_members(p), "bitmap or density table changed");
}

// Cells a stroke from the remembered position to (x, y) must paint: the
// square at every position the pointer walks through, the target excluded
// unless the pointer has not moved. Clipped to the grid.
bool painted[grid_size][grid_size];

void mark_square(int px, int py, int size)
{
    int half = size / 2;
    int left = std::max(px / 2 - half, 0), right = std::min(px / 2 + half, grid_size);
    int top = std::max(py / 2 - half, 0), bottom = std::min(py / 2 + half, grid_size);
    for (int cx = left; cx < right; cx++)
        for (int cy = top; cy < bottom; cy++)
            painted[cx][cy] = true;
}

void mark_stroke(int px, int py, int x, int y, int size)
{
    std::memset(painted, 0, sizeof painted);
    if (px == x && py == y)
        mark_square(px, py, size);
    for (; px != x || py != y; px += (px < x) - (px > x), py += (py < y) - (py > y))
        mark_square(px, py, size);
}

void stroke(particles &p, int type, int x, int y, int size)
{
    take_snapshot(p);
    mark_stroke(p.previous_xmouse, p.previous_ymouse, x, y, size);
    p.draw_particle(type, x, y, size);
    require(p.previous_xmouse == x && p.previous_ymouse == y,
            "stroke left the remembered position off its target");
    for (int cx = 0; cx < grid_size; cx++)
        for (int cy = 0; cy < grid_size; cy++)
            require(p.particles[cx][cy] == (painted[cx][cy] ? type : taken.cells[cx][cy]),
                    "stroke changed a cell outside its squares or missed one inside");
    require(same_moved_flags(p), "stroke wrote moved flags");
    require(same_sweep_state(p), "stroke changed the sweep state");
}

void pass(particles &p)
{
    take_snapshot(p);
    int before[kind_count] = {}, after[kind_count] = {};
    p.calculate_particles();
    for (int x = 0; x < grid_size; x++)
        for (int y = 0; y < grid_size; y++)
        {
            before[taken.cells[x][y]]++;
            after[p.particles[x][y]]++;
            require((taken.cells[x][y] == WALL) == (p.particles[x][y] == WALL),
                    "a pass moved, made or removed a wall");
        }
    require(std::equal(before, before + kind_count, after),
            "a pass changed the number of cells of some kind");
    require(p.skiplevel != taken.skiplevel && p.leftorright != taken.leftorright,
            "a pass did not flip the sweep flags");
}

void refresh(particles &p)
{
    take_snapshot(p);
    p.refresh_grid();
    require(same_cells(p), "clearing the flags changed cells");
    require(same_sweep_state(p), "clearing the flags changed the sweep state");
    for (int x = 0; x < grid_size; x++)
        for (int y = 0; y < grid_size; y++)
            require(!p.particlemoved[x][y], "a moved flag survived the clear");
}

void render(particles &p)
{
    take_snapshot(p);
    p.draw_parts();
    require(same_cells(p) && same_moved_flags(p) && same_sweep_state(p),
            "rendering changed the grid");
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
void step(particles &p, reader &in)
{
    switch (in.byte() % 6)
    {
    case 0:
    {
        int type = in.byte() % kind_count;
        int x = in.word() % play_size;
        int y = in.word() % play_size;
        stroke(p, type, x, y, 1 + in.byte() % max_brush);
        break;
    }
    case 1:
    {
        // A short drag: the target near the remembered position, kept on
        // the play area as the frame loop only paints there.
        int type = in.byte() % kind_count;
        int x = std::clamp(p.previous_xmouse + static_cast<int8_t>(in.byte()), 0, play_size - 1);
        int y = std::clamp(p.previous_ymouse + static_cast<int8_t>(in.byte()), 0, play_size - 1);
        stroke(p, type, x, y, 1 + in.byte() % max_brush);
        break;
    }
    case 2:
        // The frame loop remembers the pointer wherever it is, panel included.
        p.previous_xmouse = in.word() % window_width;
        p.previous_ymouse = in.word() % play_size;
        break;
    case 3:
        pass(p);
        break;
    case 4:
        refresh(p);
        break;
    default:
        render(p);
        break;
    }
    check_always(p);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int * /*argc*/, char *** /*argv*/)
{
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
        std::abort();
    set_color_depth(8);
    select_palette(default_palette);
    arena = new guarded_grid;
    play_area = create_bitmap(play_size, play_size);
    if (!play_area)
        std::abort();
    arena->p.sand = play_area;
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
    for (int n = 0; n < max_steps && !in.done(); n++)
        step(p, in);
    return 0;
}
