#include "particlegrid.h"

#include <algorithm>
#include <cstddef>
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
// go along rows; both turn blocks of cells into rows of bytes in registers.

typedef uint8_t bytes16 __attribute__((vector_size(16)));
typedef uint8_t bytes32 __attribute__((vector_size(32)));

const int block = 16;

// Where the index-th block of `size` cells along an axis of `length` cells
// starts: the last block is pulled back inside, so that it overlaps the one
// before it.
int block_start(int index, int length, int size = block)
{
    return std::min(index * size, length - size);
}

constexpr int blocks_along(int length, int size = block)
{
    return (length + size - 1) / size;
}

bytes16 load16(const uint8_t *bytes)
{
    bytes16 v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
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

// `table[index[i]]` for each of 16 bytes (indices 0..15), without shuffles.
bytes16 plain_lookup_bytes(bytes16 table, bytes16 index)
{
    bytes16 looked_up = {};
    for (int i = 0; i < block; i++)
        looked_up[i] = table[index[i] & (block - 1)];
    return looked_up;
}

// Byte vectors for the loop bodies below, which are built twice: for
// processors with AVX2, 32 bytes at a time, and for any x86-64 processor, 16
// at a time. A body is compiled for any processor and inlined into an AVX2
// function, so its vectors travel in a struct: compilers refuse to pass AVX
// vectors by value in code built without AVX.
template <class V> struct lanes
{
    V v;

    lanes operator&(const lanes &other) const
    {
        return {v & other.v};
    }
    lanes operator|(const lanes &other) const
    {
        return {v | other.v};
    }
    lanes operator~() const
    {
        return {~v};
    }
    // All ones in the bytes that hold `byte`, zero elsewhere.
    lanes operator==(uint8_t byte) const
    {
        return {(V)(v == byte)};
    }
    lanes operator!=(uint8_t byte) const
    {
        return {(V)(v != byte)};
    }
};

// Each build's table lookups (`table[index[i]]`, indices 0..15), loads,
// stores and top bits: with AVX2, and with SSE2 and plain lookups.
struct avx2_bytes
{
    typedef lanes<bytes32> vec;

    __attribute__((target("avx2"))) static vec table(bytes16 entries)
    {
        return {(bytes32)_mm256_broadcastsi128_si256((__m128i)entries)};
    }

    __attribute__((target("avx2"))) static vec lookup(vec table, vec index)
    {
        return {(bytes32)_mm256_shuffle_epi8((__m256i)table.v, (__m256i)index.v)};
    }

    __attribute__((target("avx2"))) static uint32_t top_bits(vec bytes)
    {
        return (uint32_t)_mm256_movemask_epi8((__m256i)bytes.v);
    }

    __attribute__((target("avx2"))) static vec load(const uint8_t *bytes)
    {
        return {(bytes32)_mm256_loadu_si256(reinterpret_cast<const __m256i *>(bytes))};
    }

    __attribute__((target("avx2"))) static void store(uint8_t *bytes, vec v)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(bytes), (__m256i)v.v);
    }
};

struct sse2_bytes
{
    typedef lanes<bytes16> vec;

    static vec table(bytes16 entries)
    {
        return {entries};
    }

    static vec lookup(vec table, vec index)
    {
        return {plain_lookup_bytes(table.v, index.v)};
    }

    static uint32_t top_bits(vec bytes)
    {
        return (uint32_t)_mm_movemask_epi8((__m128i)bytes.v);
    }

    static vec load(const uint8_t *bytes)
    {
        return {load16(bytes)};
    }

    static void store(uint8_t *bytes, vec v)
    {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(bytes), (__m128i)v.v);
    }
};

// The two builds of a loop body `body<L>`: the AVX2 one is taken when the
// processor has it. Inlining the body into the AVX2 entry lets the vector
// operations inline too. Built with VELDRATH_PLAIN_LOOKUPS, the library takes
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
// kinds, made a band of rows at a time just ahead of the sweep. For each row
// it works out 32 cells at a time (16 without AVX2) which cells may move,
// makes the straight falls and rises of the whole row at once, and visits
// the other cells that may move one by one, in the usual order. The visit
// counter is not stepped per cell but computed for the visits that need
// `alternate`.

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

// Kinds by rows, one copy per column parity: `cells[parity][y + 1][k + first]`
// holds the kind of cell (2k + parity, y). A frame of `outside` cells
// surrounds the grid, and pads the rows so that they can be read 32 cells
// at a time.
const int columns_per_pass = grid_size / 2;
const int row_bytes = 224;
// Where column index 0 sits in a row: rows and blocks start 32-byte aligned.
const int first = 32;

struct kind_rows
{
    alignas(64) uint8_t cells[2][grid_size + 2][row_bytes] = {};

    kind_rows()
    {
        for (auto &parity : cells)
        {
            std::memset(parity[0], outside, row_bytes);
            std::memset(parity[grid_size + 1], outside, row_bytes);
            for (int r = 1; r <= grid_size; r++)
            {
                std::memset(parity[r], outside, first);
                std::memset(parity[r] + first + columns_per_pass, outside,
                            row_bytes - first - columns_per_pass);
            }
        }
    }
};

// What a pass works from, kept from pass to pass so that the frame is laid
// only once; passes never change it. One set per thread, so that passes on
// different grids may run side by side.
struct pass_scratch
{
    kind_rows rows;
    // The cells of the pass's parity flagged before the pass, 0xff each, by
    // rows like the copies; filled in only for rows with some, where
    // `row_flagged` is not zero.
    alignas(32) uint8_t flagged[grid_size][row_bytes];
    uint8_t row_flagged[grid_size];
    // The cells fire rose into, 0xff each: for the row being swept, and for
    // the one above, by turns.
    alignas(32) uint8_t risen[2][row_bytes];
};

pass_scratch &scratch()
{
    static thread_local pass_scratch s;
    return s;
}

// The cells of one row visited in a pass, one bit per column index k.
struct row_bits
{
    uint64_t words[3];

    bool empty() const
    {
        return (words[0] | words[1] | words[2]) == 0;
    }

    // Puts the bits of `chunk` at k = from, from + 1, ...; chunks start on
    // multiples of 16 and do not cross words.
    void add(int from, uint32_t chunk)
    {
        words[from / 64] |= uint64_t(chunk) << (from % 64);
    }

    // Calls `visit(k)` for each set bit k, going up (`up`) or down.
    template <class visitor> void for_each(bool up, visitor visit) const
    {
        for (int i = 0; i < 3; i++)
        {
            int w = up ? i : 2 - i;
            for (uint64_t bits = words[w]; bits != 0;)
            {
                int bit = up ? __builtin_ctzll(bits) : 63 - __builtin_clzll(bits);
                bits = up ? bits & (bits - 1) : bits ^ uint64_t(1) << bit;
                visit(64 * w + bit);
            }
        }
    }
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

    bool moved(int x, int y) const
    {
        return p.particlemoved[x][y];
    }
};

struct mirrored_cells
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

    // The kinds come from the copies, which are in cache; the grid is only
    // written.
    void swap(int x, int y, int tx, int ty, bool mark)
    {
        uint8_t from = copy(x, y), to = copy(tx, ty);
        copy(x, y) = to;
        copy(tx, ty) = from;
        p.particles[x][y] = to;
        p.particles[tx][ty] = from;
        if (mark)
            p.particlemoved[tx][ty] = true;
    }

    // The row's plan leaves out the flagged cells.
    static bool moved(int /*x*/, int /*y*/)
    {
        return false;
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
    if (!moves(kind) || c.moved(x, y))
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

// Copies the kinds of rows y..y + 15 into `rows`, 16 x 16 cells at a time.
void copy_band(const particles &p, kind_rows &rows, int y)
{
    for (int bk = 0; bk < blocks_along(columns_per_pass); bk++)
        for (int parity = 0; parity < 2; parity++)
        {
            int k = block_start(bk, columns_per_pass);
            bytes16 block_rows[block];
            for (int i = 0; i < block; i++)
                block_rows[i] = column_kinds(p.particles[2 * (k + i) + parity] + y);
            transpose(block_rows);
            for (int i = 0; i < block; i++)
                std::memcpy(&rows.cells[parity][y + i + 1][k + first], &block_rows[i], block);
        }
}

// Notes which cells of the pass's parity in rows y..y + 15 were flagged
// before the pass, and so must not move. Most passes find none; the rows
// that have some get their flags laid out like the copies.
void note_flags(const particles &p, pass_scratch &s, int parity, int y)
{
    auto flags = [&](int x)
    { return load16(reinterpret_cast<const uint8_t *>(p.particlemoved[x] + y)); };
    bytes16 rows_flagged = {};
    for (int x = parity; x < grid_size; x += 2)
        rows_flagged |= flags(x);
    std::memcpy(&s.row_flagged[y], &rows_flagged, block);
    if (_mm_movemask_epi8((__m128i)(rows_flagged == 0)) == 0xffff)
        return;
    for (int bk = 0; bk < blocks_along(columns_per_pass); bk++)
    {
        int k = block_start(bk, columns_per_pass);
        bytes16 block_rows[block];
        for (int i = 0; i < block; i++)
            block_rows[i] = flags(2 * (k + i) + parity);
        transpose(block_rows);
        for (int i = 0; i < block; i++)
        {
            bytes16 held = (bytes16)(block_rows[i] != 0);
            std::memcpy(&s.flagged[y + i][k + first], &held, block);
        }
    }
}

// With AVX2, blocks are 32 columns by 16 rows: a register holds two columns
// 16 apart, one in each 16-byte half; each half is transposed on its own,
// which leaves each register holding 32 cells of a row.
const int wide_block = 32;

// The kinds of 16 consecutive cells of column x in the lower half and of
// column x + 16 in the upper half, one byte each.
__attribute__((target("avx2"))) __m256i column_pair_kinds(const int (*grid)[grid_size], int x,
                                                          int y)
{
    const __m256i *left = reinterpret_cast<const __m256i *>(grid[x] + y);
    const __m256i *right = reinterpret_cast<const __m256i *>(grid[x + 2 * block] + y);
    __m256i upper = _mm256_packs_epi32(_mm256_loadu_si256(left), _mm256_loadu_si256(left + 1));
    __m256i lower = _mm256_packs_epi32(_mm256_loadu_si256(right), _mm256_loadu_si256(right + 1));
    // The packs work within 16-byte halves, which leaves the 4-byte groups
    // in the order 0 2 4 6 1 3 5 7.
    return _mm256_permutevar8x32_epi32(_mm256_packus_epi16(upper, lower),
                                       _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

__attribute__((target("avx2"))) void transpose_byte_halves(__m256i (&columns)[block])
{
    for (int round = 0; round < 4; round++)
    {
        __m256i mixed[block];
        for (int i = 0; i < block; i += 2)
        {
            mixed[i] = _mm256_unpacklo_epi8(columns[i / 2], columns[(i + block) / 2]);
            mixed[i + 1] = _mm256_unpackhi_epi8(columns[i / 2], columns[(i + block) / 2]);
        }
        for (int i = 0; i < block; i++)
            columns[i] = mixed[i];
    }
}

// Copies the kinds of rows y..y + 15 into `rows`.
__attribute__((target("avx2"))) void copy_band_avx2(const particles &p, kind_rows &rows, int y)
{
    for (int bk = 0; bk < blocks_along(columns_per_pass, wide_block); bk++)
        for (int parity = 0; parity < 2; parity++)
        {
            int k = block_start(bk, columns_per_pass, wide_block);
            __m256i columns[block];
            for (int i = 0; i < block; i++)
                columns[i] = column_pair_kinds(p.particles, 2 * (k + i) + parity, y);
            transpose_byte_halves(columns);
            for (int i = 0; i < block; i++)
                _mm256_storeu_si256(
                    reinterpret_cast<__m256i *>(&rows.cells[parity][y + i + 1][k + first]),
                    columns[i]);
        }
    _mm256_zeroupper();
}

// The copies are made a band of 16 rows at a time, just before the sweep
// comes near, so that the grid's cells are still in cache when the sweep
// writes its moves there. Bands go up from the bottom; the top one overlaps
// the band below it, whose cells the copies and the grid agree on.
struct band_copier
{
    const particles &p;
    pass_scratch &s;
    int parity;
    bool avx2 = has_avx2();
    int lowest_uncopied = grid_size - 1;

    // Copies the bands down to row y, if not done yet.
    void reach(int y)
    {
        while (lowest_uncopied >= std::max(y, 0))
        {
            int top = std::max(lowest_uncopied - block + 1, 0);
            if (avx2)
                copy_band_avx2(p, s.rows, top);
            else
                copy_band(p, s.rows, top);
            note_flags(p, s, parity, top);
            lowest_uncopied = top - 1;
        }
    }
};

// What the pass does in one row, one bit per column index k. A particle
// falling or rising straight is the first thing its visit would try, and it
// touches only the particle's own column, which no other visit of the row
// reads or writes. So those moves are known before the row's first visit,
// and are made for the whole row at once in the copies.
struct row_plan
{
    // The cells visited one by one: a superset of those that move some
    // other way, since a cell is only left out when nothing next to it is a
    // place its kind ever goes.
    row_bits visit;
    row_bits fall;
    row_bits rise;
};

// The cells of a row the pass must not move, 0xff each: those fire rose into
// from the row below (`risen`) and those flagged before the pass (`flagged`,
// null if there are none); no other cell of the pass's parity can be flagged
// before its visit. `rising` gets the cells of the row above that fire rises
// into.
struct held_cells
{
    const uint8_t *risen;
    const uint8_t *flagged;
    uint8_t *rising;
};

// Cells of row y of the pass's parity. Sand and water need a cell below that
// they sink into, water a free side, fire a free cell above or beside it.
// The straight moves are planned and made in the copies.
template <class L>
WITH_BYTE_LOOKUPS row_plan plan_row(kind_rows &rows, const bytes16 &sinks_of_kind, int parity,
                                    int y, const held_cells &held_in_row)
{
    typedef typename L::vec vec;
    const uint8_t(*own)[row_bytes] = rows.cells[parity];
    const uint8_t(*other)[row_bytes] = rows.cells[1 - parity];
    // Column 2k + parity has its left neighbour at index k - 1 + parity of
    // the other parity's row, its right one at k + parity.
    const int left = parity - 1, right = parity;
    const vec kind_bit = L::table(bytes16{1, 2, 4, 8, 16});
    const vec sink_bits = L::table(sinks_of_kind);
    const int r = y + 1, width = sizeof(vec);
    row_plan plan{};
    for (int i = first; i < first + columns_per_pass; i += width)
    {
        vec self = L::load(own[r] + i);
        // Stretches of empty space and walls are common and have nothing to do.
        if (L::top_bits((self == SAND) | (self == WATER) | (self == FIRE)) == 0)
        {
            L::store(held_in_row.rising + i, vec{});
            continue;
        }
        vec above = L::load(own[r - 1] + i), below = L::load(own[r + 1] + i);
        vec sinks_into = L::lookup(sink_bits, self);
        vec under = L::lookup(kind_bit, below) & sinks_into;
        vec diagonal = (L::lookup(kind_bit, L::load(other[r + 1] + i + left)) |
                        L::lookup(kind_bit, L::load(other[r + 1] + i + right))) &
                       sinks_into;
        vec side_free =
            (L::load(other[r] + i + left) == EMPTY) | (L::load(other[r] + i + right) == EMPTY);
        vec flows = side_free & ((self == WATER) | (self == FIRE));
        vec fire = self == FIRE;
        vec up = fire & (above == EMPTY);
        vec slants = fire & ((L::load(other[r - 1] + i + left) == EMPTY) |
                             (L::load(other[r - 1] + i + right) == EMPTY));
        vec held = L::load(held_in_row.risen + i);
        if (held_in_row.flagged)
            held = held | L::load(held_in_row.flagged + i);
        vec down = (under != 0) & ~held;
        up = up & ~held;
        vec others = ((diagonal != 0) | flows | slants) & ~(held | down | up);
        L::store(held_in_row.rising + i, up);
        if (L::top_bits(down | up) != 0)
        {
            L::store(&rows.cells[parity][r + 1][i], (below & ~down) | (self & down));
            L::store(&rows.cells[parity][r][i],
                     (self & ~(down | up)) | (below & down) | (above & up));
            L::store(&rows.cells[parity][r - 1][i], (above & ~up) | (self & up));
        }
        plan.fall.add(i - first, L::top_bits(down));
        plan.rise.add(i - first, L::top_bits(up));
        plan.visit.add(i - first, L::top_bits(others));
    }
    return plan;
}

__attribute__((target("avx2"))) row_plan plan_row_avx2(kind_rows &rows,
                                                       const bytes16 &sinks_of_kind, int parity,
                                                       int y, const held_cells &held)
{
    row_plan plan = plan_row<avx2_bytes>(rows, sinks_of_kind, parity, y, held);
    _mm256_zeroupper();
    return plan;
}

row_plan pick_plan(kind_rows &rows, const bytes16 &sinks_of_kind, int parity, int y,
                   const held_cells &held)
{
    if (has_avx2())
        return plan_row_avx2(rows, sinks_of_kind, parity, y, held);
    return plan_row<sse2_bytes>(rows, sinks_of_kind, parity, y, held);
}

// Writes the straight moves the copies already hold into the grid: for each
// k, the two cells of column 2k + parity from row `top` down, the lower one
// flagged (`flag_lower`, a fall) or the upper one (a rise).
void write_straight(particles &p, const kind_rows &rows, const row_bits &moves, int parity, int top,
                    bool flag_lower)
{
    // No rises out of the top row: `top` would be outside the grid.
    if (moves.empty())
        return;
    // Column 2k + parity is k columns of the pass's parity from the first.
    const int columns = 2 * grid_size;
    int *cells = &p.particles[parity][top];
    bool *flags = &p.particlemoved[parity][top + flag_lower];
    const uint8_t *upper = rows.cells[parity][top + 1] + first;
    const uint8_t *lower = rows.cells[parity][top + 2] + first;
    moves.for_each(true,
                   [&](int k)
                   {
                       const int pair[2] = {upper[k], lower[k]};
                       std::ptrdiff_t column = std::ptrdiff_t(k) * columns;
                       std::memcpy(cells + column, pair, sizeof pair);
                       flags[column] = true;
                   });
}

// One row of the pass. `visit` numbers the row's first visit within the
// pass. The rest of the row's cells are picked before its first visit. A
// move can change the column a cell shares with the next visited one, but
// only by putting its particle where nothing was, or where something lighter
// was; an empty cell is a way out for sand and water already (they are
// heavier than empty), and anything the particle sinks into, lighter
// particles sink into too. So a cell left out stays unable to move.
void sweep_row(mirrored_cells &c, const sink_table &sinks, const bytes16 &sinks_of_kind, int parity,
               bool rightward, int y, visit_counter counter, int visit, const held_cells &held)
{
    row_plan plan = pick_plan(c.rows, sinks_of_kind, parity, y, held);
    write_straight(c.p, c.rows, plan.fall, parity, y, true);
    write_straight(c.p, c.rows, plan.rise, parity, y - 1, false);
    plan.visit.for_each(
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
    int parity = p.skiplevel ? 0 : 1;
    pass_scratch &s = scratch();
    band_copier copier{p, s, parity};
    mirrored_cells c{p, s.rows};
    sink_table sinks = make_sink_table(p);
    bytes16 sinks_of_kind = {};
    sinks_of_kind[SAND] = sinks.into[SAND];
    sinks_of_kind[WATER] = sinks.into[WATER];
    const visit_counter counter{p.count, p.alternate};
    std::memset(s.risen[(grid_size - 1) % 2], 0, row_bytes);
    for (int y = grid_size - 1, visit = 0; y >= 0; y--, visit += columns_per_pass)
    {
        copier.reach(y - 1);
        held_cells held{s.risen[y % 2], s.row_flagged[y] ? s.flagged[y] : nullptr,
                        s.risen[1 - y % 2]};
        sweep_row(c, sinks, sinks_of_kind, parity, p.leftorright, y, counter, visit, held);
    }
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
                write_doubled(lines, x, y + i, plain_lookup_bytes(palette, rows[i]));
        }
}

// With AVX2, each cell's colour is looked up at once as a pair of pixels, a
// 16-bit word, and a column's 16 words fill one register; the transposed
// block's rows then are the bitmap's bytes as they are.

// The pixel pairs of 16 consecutive cells of a column; `palette` holds the
// colours in both 16-byte halves. The pack works within 16-byte halves, so
// the lower half gets cells 0..3 and 8..11, the upper one cells 4..7 and
// 12..15; rather than put them back in order here, the rows are written to
// the lines they belong on (`cell_of_word`).
__attribute__((target("avx2"))) __m256i column_pixel_pairs(const int *cells, __m256i palette)
{
    const __m256i *v = reinterpret_cast<const __m256i *>(cells);
    __m256i kinds = _mm256_packs_epi32(_mm256_loadu_si256(v), _mm256_loadu_si256(v + 1));
    // Both bytes of each word index the colour.
    return _mm256_shuffle_epi8(palette, _mm256_mullo_epi16(kinds, _mm256_set1_epi16(0x101)));
}

// The cell of the column that word i of the lower half holds; word i of the
// upper half holds the cell 4 further down.
int cell_of_word(int i)
{
    return i < 4 ? i : i + 4;
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

// Register i of a half block of 8 columns, once transposed, holds the rows
// `cell_of_word(i)` and 4 below it of those columns; the left and right
// halves make up whole rows.
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
        const int line = cell_pixels * (y + cell_of_word(i)),
                  below = cell_pixels * (y + cell_of_word(i) + 4);
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
