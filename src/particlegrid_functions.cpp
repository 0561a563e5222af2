#include "particlegrid.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <immintrin.h>

namespace
{

const int grid_size = 300;
const int cell_pixels = 2;
const int visits_per_pass = grid_size * grid_size / 2;
// `count` runs 0..50, so `alternate` flips once every 51 visits.
const int counter_period = 51;

// ---------------------------------------------------------------------------
// Byte blocks. The grid is stored by columns, while rendering and the pass
// go along rows; both turn blocks of 16 x 16 cells into rows of bytes.

typedef uint8_t bytes16 __attribute__((vector_size(16)));
typedef uint8_t bytes32 __attribute__((vector_size(32)));

const int block = 16;

// Where the index-th block along an axis of `length` cells starts: every
// 16th cell, the last block pulled back inside so that it overlaps the one
// before it.
int block_start(int index, int length)
{
    return std::min(index * block, length - block);
}

int blocks_along(int length)
{
    return (length + block - 1) / block;
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
    for (int round = 0; round < 4; round++)
    {
        bytes16 mixed[block];
        for (int i = 0; i < block; i += 2)
        {
            __m128i upper = (__m128i)rows[i / 2], lower = (__m128i)rows[(i + block) / 2];
            mixed[i] = (bytes16)_mm_unpacklo_epi8(upper, lower);
            mixed[i + 1] = (bytes16)_mm_unpackhi_epi8(upper, lower);
        }
        for (int i = 0; i < block; i++)
            rows[i] = mixed[i];
    }
}

// Byte lookups, `table[index[i]]` for each of 16 bytes (indices 0..15). The
// loops that use them are built twice: for processors with AVX2, where a
// lookup is one byte shuffle, and for any x86-64 processor, with a plain loop.
struct byte_shuffle
{
    __attribute__((target("avx2"))) static bytes16 lookup(bytes16 table, bytes16 index)
    {
        return (bytes16)_mm_shuffle_epi8((__m128i)table, (__m128i)index);
    }
};

struct plain_lookup
{
    static bytes16 lookup(bytes16 table, bytes16 index)
    {
        bytes16 looked_up = {};
        for (int i = 0; i < block; i++)
            looked_up[i] = table[index[i] & (block - 1)];
        return looked_up;
    }
};

// The two builds of a loop body `lookups_in<L>`: the AVX2 one is taken when
// the processor has it. Inlining the body into the AVX2 entry lets the
// shuffles inline too. Built with VELDRATH_PLAIN_LOOKUPS, the library takes
// the plain builds everywhere, so that tests run them on any processor.
#define WITH_BYTE_LOOKUPS __attribute__((always_inline)) inline
bool has_avx2()
{
#ifdef VELDRATH_PLAIN_LOOKUPS
    return false;
#else
    return __builtin_cpu_supports("avx2");
#endif
}

// ---------------------------------------------------------------------------
// The pass. Most cells cannot move: empty cells and walls never do, and a
// grain or drop with nowhere to go stays put. The grid is stored by columns
// but swept by rows, so the pass works from row-major byte copies of the
// kinds, finds the cells of each row that may move 16 at a time and visits
// only those, in the usual order. The visit counter is not stepped per cell
// but computed for the visits that need `alternate`.

// Stands for the missing neighbours beyond the grid's edges: never empty and
// never sunk into, so the edges need no tests of their own.
const uint8_t outside = 5;

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

// Kinds by rows, one copy per column parity: `cells[parity][y + 1][k + 1]`
// holds the kind of cell (2k + parity, y). A frame of `outside` cells
// surrounds the grid, and pads the rows so that they can be read 16 cells
// at a time.
const int columns_per_pass = grid_size / 2;
const int row_bytes = 176;

struct kind_rows
{
    uint8_t cells[2][grid_size + 2][row_bytes];
};

// The rules read and write cells through one of two views. `grid_cells`
// works on the grid alone; `mirrored_cells`, used by the pass, reads the
// row copies and writes both.
struct grid_cells
{
    particles &p;

    int kind(int x, int y) const
    {
        bool inside = x >= 0 && x < grid_size && y >= 0 && y < grid_size;
        return inside ? p.particles[x][y] : outside;
    }

    // Exchanges the kinds of two cells; with `mark` the destination is
    // flagged so that no later visit in the same pass moves it again.
    void swap(int x, int y, int tx, int ty, bool mark)
    {
        std::swap(p.particles[x][y], p.particles[tx][ty]);
        if (mark)
            p.particlemoved[tx][ty] = true;
    }
};

struct mirrored_cells
{
    particles &p;
    kind_rows &rows;

    // x = -1 and x = 300 land in the frame: -1 >> 1 is -1.
    uint8_t &copy(int x, int y) const
    {
        return rows.cells[x & 1][y + 1][(x >> 1) + 1];
    }

    int kind(int x, int y) const
    {
        return copy(x, y);
    }

    void swap(int x, int y, int tx, int ty, bool mark)
    {
        std::swap(copy(x, y), copy(tx, ty));
        grid_cells{p}.swap(x, y, tx, ty, mark);
    }
};

template <class cells> bool is_empty(const cells &c, int x, int y)
{
    return c.kind(x, y) == EMPTY;
}

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

// Both sides free: the visit's side picks the direction.
template <class cells> bool move_to_open_side(cells &c, int x, int y, const visit_side &side)
{
    if (!is_empty(c, x + 1, y) || !is_empty(c, x - 1, y))
        return false;
    c.swap(x, y, side.leftward() ? x - 1 : x + 1, y, true);
    return true;
}

// Water with a single free side flows there at once; these moves stay
// unmarked.
template <class cells> void flow_sideways(cells &c, int x, int y, const visit_side &side)
{
    if (move_to_open_side(c, x, y, side))
        return;
    if (is_empty(c, x + 1, y))
        c.swap(x, y, x + 1, y, false);
    else if (is_empty(c, x - 1, y))
        c.swap(x, y, x - 1, y, false);
}

template <class cells>
void update_falling(cells &c, unsigned into, int x, int y, int kind, const visit_side &side)
{
    if (into >> c.kind(x, y + 1) & 1)
        c.swap(x, y, x, y + 1, true);
    else if (into >> c.kind(x + 1, y + 1) & 1)
        c.swap(x, y, x + 1, y + 1, true);
    else if (into >> c.kind(x - 1, y + 1) & 1)
        c.swap(x, y, x - 1, y + 1, true);
    else if (kind == WATER)
        flow_sideways(c, x, y, side);
}

// Fire rises into empty space only, and has no one-sided sideways move.
template <class cells> void update_fire(cells &c, int x, int y, const visit_side &side)
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

bool moves(int kind)
{
    return kind == SAND || kind == WATER || kind == FIRE;
}

// One visit, after the counter step.
template <class cells>
void visit_cell(cells &c, const sink_table &sinks, int x, int y, const visit_side &side)
{
    int kind = c.kind(x, y);
    if (!moves(kind) || c.p.particlemoved[x][y])
        return;
    if (kind == FIRE)
        update_fire(c, x, y, side);
    else
        update_falling(c, sinks.into[kind], x, y, kind, side);
}

void advance_counter(particles &p, int visits)
{
    p.alternate = visit_counter{p.count, p.alternate}.alternate_after(visits);
    p.count = (p.count + visits) % counter_period;
}

void frame_with_outside(kind_rows &rows)
{
    for (auto &parity : rows.cells)
    {
        std::memset(parity[0], outside, row_bytes);
        std::memset(parity[grid_size + 1], outside, row_bytes);
        for (int r = 1; r <= grid_size; r++)
        {
            parity[r][0] = outside;
            std::memset(parity[r] + columns_per_pass + 1, outside,
                        row_bytes - columns_per_pass - 1);
        }
    }
}

void copy_kinds(const particles &p, kind_rows &rows)
{
    frame_with_outside(rows);
    for (int parity = 0; parity < 2; parity++)
        for (int by = 0; by < blocks_along(grid_size); by++)
            for (int bk = 0; bk < blocks_along(columns_per_pass); bk++)
            {
                int y = block_start(by, grid_size), k = block_start(bk, columns_per_pass);
                bytes16 block_rows[block];
                for (int i = 0; i < block; i++)
                    block_rows[i] = column_kinds(p.particles[2 * (k + i) + parity] + y);
                transpose(block_rows);
                for (int i = 0; i < block; i++)
                    std::memcpy(&rows.cells[parity][y + i + 1][k + 1], &block_rows[i], block);
            }
}

// The cells of one row visited in a pass, one bit per column index k.
struct row_bits
{
    uint64_t words[3];

    // Calls `visit(k)` for each set bit k, going up (`up`) or down.
    template <class visitor> void for_each(bool up, visitor visit) const
    {
        for (int i = 0; i < 3; i++)
        {
            int w = up ? i : 2 - i;
            for (uint64_t bits = words[w]; bits != 0;)
            {
                int bit = up ? __builtin_ctzll(bits) : 63 - __builtin_clzll(bits);
                bits ^= uint64_t(1) << bit;
                visit(64 * w + bit);
            }
        }
    }
};

bytes16 load16(const uint8_t *bytes)
{
    bytes16 v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

// The cells of row y, among those of the pass's parity, that may move
// something when visited: a superset, since a cell is only skipped when
// nothing next to it is a place its kind ever goes. Sand and water need a
// cell below they sink into, water a free side, fire a free cell above or
// beside it.
template <class L>
WITH_BYTE_LOOKUPS row_bits movable_cells(const kind_rows &rows, const bytes16 &sink_bits,
                                         int parity, int y)
{
    const uint8_t(*own)[row_bytes] = rows.cells[parity];
    const uint8_t(*other)[row_bytes] = rows.cells[1 - parity];
    // Column 2k + parity has its left neighbour at index k - 1 + parity of
    // the other parity's row, its right one at k + parity.
    const int left = parity - 1, right = parity;
    const bytes16 kind_bit = {1, 2, 4, 8, 16};
    const int r = y + 1;
    row_bits movable{};
    for (int i = 1, chunk = 0; i <= columns_per_pass; i += block, chunk++)
    {
        bytes16 self = load16(own[r] + i);
        bytes16 below = L::lookup(kind_bit, load16(own[r + 1] + i)) |
                        L::lookup(kind_bit, load16(other[r + 1] + i + left)) |
                        L::lookup(kind_bit, load16(other[r + 1] + i + right));
        bytes16 falls = below & L::lookup(sink_bits, self);
        bytes16 side_free =
            (load16(other[r] + i + left) == EMPTY) | (load16(other[r] + i + right) == EMPTY);
        bytes16 flows = side_free & ((self == WATER) | (self == FIRE));
        bytes16 above_free = (load16(own[r - 1] + i) == EMPTY) |
                             (load16(other[r - 1] + i + left) == EMPTY) |
                             (load16(other[r - 1] + i + right) == EMPTY);
        bytes16 rises = above_free & (self == FIRE);
        bytes16 any = (bytes16)((falls | flows | rises) != 0);
        uint64_t mask = (unsigned)_mm_movemask_epi8((__m128i)any);
        movable.words[chunk / 4] |= mask << (16 * (chunk % 4));
    }
    return movable;
}

__attribute__((target("avx2"))) row_bits
movable_cells_avx2(const kind_rows &rows, const bytes16 &sink_bits, int parity, int y)
{
    return movable_cells<byte_shuffle>(rows, sink_bits, parity, y);
}

row_bits pick_movable_cells(const kind_rows &rows, const bytes16 &sink_bits, int parity, int y)
{
    if (has_avx2())
        return movable_cells_avx2(rows, sink_bits, parity, y);
    return movable_cells<plain_lookup>(rows, sink_bits, parity, y);
}

// One row of the pass, visiting only the cells that may move. `visit`
// numbers the row's first visit within the pass. The cells are picked before
// the row's first visit. A move can change the column a cell shares with the
// next visited one, but only by putting its particle where nothing was, or
// where something lighter was; an empty cell is a way out for sand and water
// already (they are heavier than empty), and anything the particle sinks
// into, lighter particles sink into too. So a cell left out stays unable to
// move.
void sweep_row(mirrored_cells &c, const sink_table &sinks, const bytes16 &sink_bits, int parity,
               bool rightward, int y, visit_counter counter, int visit)
{
    row_bits movable = pick_movable_cells(c.rows, sink_bits, parity, y);
    movable.for_each(
        rightward,
        [&](int k)
        {
            int order = rightward ? k : columns_per_pass - 1 - k;
            visit_cell(c, sinks, 2 * k + parity, y, visit_side{counter, visit + order + 1});
        });
}

// Half the columns per pass: `skiplevel` picks the parity (odd first),
// `leftorright` the direction. Rows go bottom up so that a falling particle
// lands in a row already visited.
void run_pass(particles &p)
{
    kind_rows rows;
    copy_kinds(p, rows);
    mirrored_cells c{p, rows};
    sink_table sinks = make_sink_table(p);
    bytes16 sink_bits = {};
    sink_bits[SAND] = sinks.into[SAND];
    sink_bits[WATER] = sinks.into[WATER];
    int parity = p.skiplevel ? 0 : 1;
    const visit_counter counter{p.count, p.alternate};
    for (int y = grid_size - 1, visit = 0; y >= 0; y--, visit += columns_per_pass)
        sweep_row(c, sinks, sink_bits, parity, p.leftorright, y, counter, visit);
}

// ---------------------------------------------------------------------------
// Rendering. The grid is stored by columns and the bitmap by rows, so cells
// are handled in blocks of 16 x 16, transposed in registers, each resulting
// row written to the two bitmap lines of its cells. Blocks at the right and
// bottom overlap their neighbours (300 is not a multiple of 16); overlapping
// cells are simply drawn twice. Without AVX2, each column's 16 kinds are
// narrowed to bytes, the block is transposed and each row's colours are
// looked up and written with every byte doubled.

// 32 pixels, each cell's colour twice, into both lines of a cell row.
void write_doubled(uint8_t *const *lines, int x, int y, bytes16 colours)
{
    bytes32 pixels =
        __builtin_shufflevector(colours, colours, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8,
                                8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15);
    const int line = cell_pixels * y, pixel = cell_pixels * x;
    std::memcpy(lines[line] + pixel, &pixels, sizeof pixels);
    std::memcpy(lines[line + 1] + pixel, &pixels, sizeof pixels);
}

void draw_blocks(const int (*grid)[grid_size], uint8_t *const *lines, bytes16 palette)
{
    for (int by = 0; by < blocks_along(grid_size); by++)
        for (int bx = 0; bx < blocks_along(grid_size); bx++)
        {
            int x = block_start(bx, grid_size), y = block_start(by, grid_size);
            bytes16 rows[block];
            for (int i = 0; i < block; i++)
                rows[i] = column_kinds(grid[x + i] + y);
            transpose(rows);
            for (int i = 0; i < block; i++)
                write_doubled(lines, x, y + i, plain_lookup::lookup(palette, rows[i]));
        }
}

// With AVX2, each cell's colour is looked up at once as a pair of pixels, a
// 16-bit word, and a column's 16 words fill one register; the transposed
// block's rows then are the bitmap's bytes as they are.

// The pixel pairs of 16 consecutive cells of a column; `palette` holds the
// colours in both 16-byte halves.
__attribute__((target("avx2"))) __m256i column_pixel_pairs(const int *cells, __m256i palette)
{
    const __m256i *v = reinterpret_cast<const __m256i *>(cells);
    __m256i packed = _mm256_packs_epi32(_mm256_loadu_si256(v), _mm256_loadu_si256(v + 1));
    // The pack works within 16-byte halves; its 8-byte quarters go back in
    // order. Then both bytes of each word index the colour.
    __m256i kinds = _mm256_permute4x64_epi64(packed, 0xd8);
    return _mm256_shuffle_epi8(palette, _mm256_mullo_epi16(kinds, _mm256_set1_epi16(0x101)));
}

// Three rounds of interleaving register i with register i + 4 transpose the
// 8 x 8 words within each 16-byte half of 8 registers.
__attribute__((target("avx2"))) void transpose_halves(__m256i (&words)[8])
{
    for (int round = 0; round < 3; round++)
    {
        __m256i mixed[8];
        for (int i = 0; i < 8; i += 2)
        {
            mixed[i] = _mm256_unpacklo_epi16(words[i / 2], words[(i + 8) / 2]);
            mixed[i + 1] = _mm256_unpackhi_epi16(words[i / 2], words[(i + 8) / 2]);
        }
        for (int i = 0; i < 8; i++)
            words[i] = mixed[i];
    }
}

// Register i of a half block of 8 columns, once transposed, holds rows i and
// 8 + i of those columns; the left and right halves make up whole rows.
__attribute__((target("avx2"))) void
draw_block_avx2(const int (*grid)[grid_size], uint8_t *const *lines, __m256i palette, int x, int y)
{
    __m256i left[8], right[8];
    for (int i = 0; i < 8; i++)
    {
        left[i] = column_pixel_pairs(grid[x + i] + y, palette);
        right[i] = column_pixel_pairs(grid[x + 8 + i] + y, palette);
    }
    transpose_halves(left);
    transpose_halves(right);
    const int pixel = cell_pixels * x;
    for (int i = 0; i < 8; i++)
    {
        __m256i upper = _mm256_permute2x128_si256(left[i], right[i], 0x20);
        __m256i lower = _mm256_permute2x128_si256(left[i], right[i], 0x31);
        const int line = cell_pixels * (y + i), below = cell_pixels * (y + 8 + i);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(lines[line] + pixel), upper);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(lines[line + 1] + pixel), upper);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(lines[below] + pixel), lower);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(lines[below + 1] + pixel), lower);
    }
}

__attribute__((target("avx2"))) void draw_blocks_avx2(const int (*grid)[grid_size],
                                                      uint8_t *const *lines, const bytes16 &colours)
{
    __m256i palette = _mm256_broadcastsi128_si256((__m128i)colours);
    for (int by = 0; by < blocks_along(grid_size); by++)
        for (int bx = 0; bx < blocks_along(grid_size); bx++)
            draw_block_avx2(grid, lines, palette, block_start(bx, grid_size),
                            block_start(by, grid_size));
    // The compiler does not clear the registers' upper halves on the way out
    // here; left set, they slow the SSE code that runs next (a stroke took
    // twice as long after rendering).
    _mm256_zeroupper();
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
    if (has_avx2())
        draw_blocks_avx2(particles, sand->line, kind_colours());
    else
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
    run_pass(*this);
    advance_counter(*this, visits_per_pass);
    leftorright = !leftorright;
    skiplevel = !skiplevel;
}

void particles::calculate_particle(int j, int i)
{
    advance_counter(*this, 1);
    grid_cells cells{*this};
    visit_cell(cells, make_sink_table(*this), j, i, visit_side{{count, alternate}, 0});
}
