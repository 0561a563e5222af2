#include "particlegrid.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

namespace
{

const int grid_size = 300;
const int cell_pixels = 2;
const int visits_per_pass = grid_size * grid_size / 2;
// `count` runs 0..50, so `alternate` flips once every 51 visits.
const int counter_period = 51;

// ---------------------------------------------------------------------------
// The pass. Only sand, water and fire ever move, so the sweep looks at the
// other cells just long enough to skip them; the visit counter is not
// stepped per cell but computed for the visits that need `alternate`.
// Border cells check that each neighbour exists (a missing one counts as
// occupied); interior cells, nearly all of them, skip those checks.

template <bool border> bool inside(int x, int y)
{
    return !border || (x >= 0 && x < grid_size && y >= 0 && y < grid_size);
}

// For each kind, one bit per kind it sinks into (a strictly lower density),
// read from the density table once per pass instead of once per test.
struct sink_table
{
    unsigned into[5];
};

sink_table make_sink_table(const particles &p)
{
    sink_table table{};
    for (int mover = 0; mover < 5; mover++)
        for (int kind = 0; kind < 5; kind++)
            if (p.densities[mover] > p.densities[kind])
                table.into[mover] |= 1u << kind;
    return table;
}

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

template <bool border> bool is_empty(const particles &p, int x, int y)
{
    return inside<border>(x, y) && p.particles[x][y] == EMPTY;
}

template <bool border> bool sinks_into(const particles &p, unsigned into, int x, int y)
{
    return inside<border>(x, y) && (into >> p.particles[x][y] & 1);
}

// Both sides free: `leftward` (the visit's `alternate`) picks the direction.
template <bool border> bool move_to_open_side(particles &p, int x, int y, bool leftward)
{
    if (!is_empty<border>(p, x + 1, y) || !is_empty<border>(p, x - 1, y))
        return false;
    swap_cells(p, x, y, leftward ? x - 1 : x + 1, y, true);
    return true;
}

// Water with a single free side flows there at once; these moves stay
// unmarked.
template <bool border> void flow_sideways(particles &p, int x, int y, bool leftward)
{
    if (move_to_open_side<border>(p, x, y, leftward))
        return;
    if (is_empty<border>(p, x + 1, y))
        swap_cells(p, x, y, x + 1, y, false);
    else if (is_empty<border>(p, x - 1, y))
        swap_cells(p, x, y, x - 1, y, false);
}

template <bool border>
void update_falling(particles &p, unsigned into, int x, int y, int kind, bool leftward)
{
    if (sinks_into<border>(p, into, x, y + 1))
        swap_cells(p, x, y, x, y + 1, true);
    else if (sinks_into<border>(p, into, x + 1, y + 1))
        swap_cells(p, x, y, x + 1, y + 1, true);
    else if (sinks_into<border>(p, into, x - 1, y + 1))
        swap_cells(p, x, y, x - 1, y + 1, true);
    else if (kind == WATER)
        flow_sideways<border>(p, x, y, leftward);
}

// Fire rises into empty space only, and has no one-sided sideways move.
template <bool border> void update_fire(particles &p, int x, int y, bool leftward)
{
    if (is_empty<border>(p, x, y - 1))
        swap_cells(p, x, y, x, y - 1, true);
    else if (move_to_open_side<border>(p, x, y, leftward))
        return;
    else if (is_empty<border>(p, x + 1, y - 1))
        swap_cells(p, x, y, x + 1, y - 1, true);
    else if (is_empty<border>(p, x - 1, y - 1))
        swap_cells(p, x, y, x - 1, y - 1, true);
}

// The rules for one unmoved cell holding a moving kind.
template <bool border>
void update_mover(particles &p, const sink_table &sinks, int x, int y, int kind, bool leftward)
{
    if (kind == FIRE)
        update_fire<border>(p, x, y, leftward);
    else
        update_falling<border>(p, sinks.into[kind], x, y, kind, leftward);
}

bool moves(int kind)
{
    return kind == SAND || kind == WATER || kind == FIRE;
}

// `alternate` as the visit counter leaves it after `visits` more visits.
bool alternate_after(const particles &p, int visits)
{
    return p.alternate != (((p.count + visits) / counter_period) % 2 == 1);
}

void advance_counter(particles &p, int visits)
{
    p.alternate = alternate_after(p, visits);
    p.count = (p.count + visits) % counter_period;
}

// One row of the pass. `visit` numbers the row's first visit within the
// pass; each visit's `alternate` follows from it.
void sweep_row(particles &p, const sink_table &sinks, int y, int first, int step, int visit)
{
    bool border_row = y == 0 || y == grid_size - 1;
    for (int n = 0, x = first; n < grid_size / 2; n++, x += step)
    {
        int kind = p.particles[x][y];
        if (!moves(kind) || p.particlemoved[x][y])
            continue;
        bool leftward = alternate_after(p, visit + n + 1);
        if (border_row || x == 0 || x == grid_size - 1)
            update_mover<true>(p, sinks, x, y, kind, leftward);
        else
            update_mover<false>(p, sinks, x, y, kind, leftward);
    }
}

// ---------------------------------------------------------------------------
// Rendering. The grid is stored by columns and the bitmap by rows, so cells
// are handled in blocks of 16 x 16: each column's 16 kinds are narrowed to
// bytes and looked up in the colour table, the block is transposed in
// registers, and each resulting row is written with every byte doubled to
// two bitmap lines. Blocks at the right and bottom overlap their neighbours
// (300 is not a multiple of 16); overlapping cells are simply drawn twice.

typedef uint8_t bytes16 __attribute__((vector_size(16)));
typedef uint8_t bytes32 __attribute__((vector_size(32)));

const int block = 16;

// Where a block starts: every 16th cell, the last one pulled back inside.
int block_start(int index)
{
    return std::min(index * block, grid_size - block);
}

// The kinds of 16 consecutive cells of a column, one byte each. Kinds are
// 0..4, so the saturating packs keep them exact.
bytes16 column_kinds(const int *cells)
{
    const __m128i *v = reinterpret_cast<const __m128i *>(cells);
    __m128i upper = _mm_packs_epi32(_mm_loadu_si128(v), _mm_loadu_si128(v + 1));
    __m128i lower = _mm_packs_epi32(_mm_loadu_si128(v + 2), _mm_loadu_si128(v + 3));
    return (bytes16)_mm_packus_epi16(upper, lower);
}

// Four rounds of interleaving row i with row i + 8 turn columns into rows.
void transpose(bytes16 (&rows)[block])
{
    const bytes16 low = {0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23};
    const bytes16 high = low + 8;
    for (int round = 0; round < 4; round++)
    {
        bytes16 mixed[block];
        for (int i = 0; i < block / 2; i++)
        {
            mixed[2 * i] = __builtin_shuffle(rows[i], rows[i + block / 2], low);
            mixed[2 * i + 1] = __builtin_shuffle(rows[i], rows[i + block / 2], high);
        }
        for (int i = 0; i < block; i++)
            rows[i] = mixed[i];
    }
}

// 32 pixels, each cell's colour twice, into both lines of a cell row.
void write_doubled(uint8_t *const *lines, int x, int y, bytes16 colours)
{
    bytes32 pixels =
        __builtin_shufflevector(colours, colours, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8,
                                8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15);
    std::memcpy(lines[cell_pixels * y] + cell_pixels * x, &pixels, sizeof pixels);
    std::memcpy(lines[cell_pixels * y + 1] + cell_pixels * x, &pixels, sizeof pixels);
}

// The colour lookup is a single byte shuffle on processors with AVX2 (and
// its predecessors), so the loop is also built for them.
__attribute__((target_clones("avx2", "default"))) void
draw_blocks(const int (*grid)[grid_size], uint8_t *const *lines, bytes16 palette)
{
    const int blocks = (grid_size + block - 1) / block;
    for (int by = 0; by < blocks; by++)
        for (int bx = 0; bx < blocks; bx++)
        {
            int x = block_start(bx), y = block_start(by);
            bytes16 rows[block];
            for (int i = 0; i < block; i++)
                rows[i] = column_kinds(grid[x + i] + y);
            transpose(rows);
            for (int i = 0; i < block; i++)
                write_doubled(lines, x, y + i, __builtin_shuffle(palette, rows[i]));
        }
}

// The colour of each kind as makecol gives it. makecol searches the palette
// for the nearest entry on every call, which would cost a fifth of the
// drawing; its answers change only with the colour depth, the colour map and
// the palette, so they are kept until one of those changes.
bytes16 kind_colours()
{
    static struct
    {
        int depth = -1;
        const RGB_MAP *map = nullptr;
        PALETTE palette;
        bytes16 colours;
    } known;
    PALETTE palette;
    get_palette(palette);
    if (known.depth == get_color_depth() && known.map == rgb_map &&
        std::memcmp(known.palette, palette, sizeof palette) == 0)
        return known.colours;
    const int colours[5] = {makecol(0, 0, 0), makecol(90, 90, 90), makecol(255, 210, 128),
                            makecol(0, 0, 255), makecol(255, 0, 0)};
    known.depth = get_color_depth();
    known.map = rgb_map;
    std::memcpy(known.palette, palette, sizeof palette);
    known.colours = bytes16{};
    for (int kind = 0; kind < 5; kind++)
        known.colours[kind] = colours[kind];
    return known.colours;
}

// ---------------------------------------------------------------------------
// Strokes. Stamping the whole square at every pointer step writes the same
// cells over and over; instead the union of the squares is painted once.
// Along the path the stamp's cell moves at most one cell per step on each
// axis and never turns back, so the stamps covering any one column form an
// unbroken run whose squares overlap from one to the next: the column is
// covered on one range of rows, from the highest square's top to the lowest
// square's bottom.

struct row_range
{
    int top = grid_size;
    int bottom = -1;
};

int step_toward(int from, int to)
{
    return from + (from < to) - (from > to);
}

// Widens each column's range by the square of half-size `half` around cell
// (cx, cy).
void add_square(row_range (&columns)[grid_size], int cx, int cy, int half)
{
    int left = std::max(cx - half, 0), right = std::min(cx + half - 1, grid_size - 1);
    for (int x = left; x <= right; x++)
    {
        columns[x].top = std::min(columns[x].top, cy - half);
        columns[x].bottom = std::max(columns[x].bottom, cy + half - 1);
    }
}

void paint_columns(particles &p, const row_range (&columns)[grid_size], int type)
{
    for (int x = 0; x < grid_size; x++)
    {
        int top = std::max(columns[x].top, 0), bottom = std::min(columns[x].bottom, grid_size - 1);
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
    std::memset(particlemoved, 0, sizeof particlemoved);
}

// The play-area bitmap is always an 8-bit memory bitmap: the game sets 8
// bits per pixel before creating it, so each pixel is one byte of its line.
void particles::draw_parts()
{
    draw_blocks(particles, sand->line, kind_colours());
}

void particles::draw_particle(int type, int x, int y, int size)
{
    // One stamp per pixel step, so consecutive stamps overlap and a fast drag
    // leaves no gaps; the target itself is stamped by the next frame, unless
    // the pointer has not moved at all.
    int half = size / 2;
    row_range columns[grid_size];
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
    // Half the columns per pass: `skiplevel` picks the parity (odd first),
    // `leftorright` the direction. Rows go bottom up so that a falling
    // particle lands in a row already visited.
    int lowest = skiplevel ? 0 : 1;
    int highest = lowest + grid_size - 2;
    int first = leftorright ? lowest : highest;
    int step = leftorright ? 2 : -2;
    sink_table sinks = make_sink_table(*this);
    for (int y = grid_size - 1, visit = 0; y >= 0; y--, visit += grid_size / 2)
        sweep_row(*this, sinks, y, first, step, visit);
    advance_counter(*this, visits_per_pass);
    leftorright = !leftorright;
    skiplevel = !skiplevel;
}

void particles::calculate_particle(int j, int i)
{
    advance_counter(*this, 1);
    int kind = particles[j][i];
    if (moves(kind) && !particlemoved[j][i])
        update_mover<true>(*this, make_sink_table(*this), j, i, kind, alternate);
}
