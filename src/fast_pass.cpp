// The simulation pass, made fast. Most cells cannot move: empty cells and
// walls never do, and a grain or drop with nowhere to go stays put. The grid
// is stored by columns but swept by rows, so the pass works from row-major
// byte copies of the kinds, made a band of 16 rows at a time just ahead of
// the sweep. For each row it works out a vector of cells at a time which
// cells may move, makes the straight falls and rises of the whole row at
// once, and has the rules visit the other cells that may move, one by one,
// in the usual order. Which kinds fall, flow, rise and sink into which it
// reads from the element table; the conditions under which its shortcuts
// equal the rules are checked on the table when it compiles.

#include "fast_pass.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

#include "byte_vectors.h"
#include "rules.h"

namespace
{

// The kinds by rows, one copy per column parity: `cells[parity][y + 1][k +
// first]` holds the kind of cell (2k + parity, y). A frame of `outside`
// cells surrounds the grid, and pads the rows so that they can be read 32
// cells at a time.
const int row_bytes = 224;
// Where column index 0 sits in a row: rows and blocks start 32-byte aligned.
const int first = 32;

struct kind_rows
{
    alignas(64) uint8_t cells[2][grid_size + 2][row_bytes];

    kind_rows()
    {
        std::memset(cells, outside, sizeof cells);
    }
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

// ---------------------------------------------------------------------------
// What the pass knows of the kinds, from the element table. Bit sets of kinds
// have bit k for kind k, and bit `outside` for the frame.

constexpr unsigned kinds_that(motion m)
{
    unsigned kinds = 0;
    for (int kind = 0; kind < element_count; kind++)
        if (elements[kind].moves == m)
            kinds |= 1u << kind;
    return kinds;
}

constexpr unsigned falling = kinds_that(motion::falls) | kinds_that(motion::flows);
constexpr unsigned sideways = kinds_that(motion::flows) | kinds_that(motion::rises);
constexpr unsigned rising = kinds_that(motion::rises);
constexpr unsigned moving = falling | rising;

// The kinds of strictly lower density than `kind`; never the frame.
constexpr unsigned lighter_than(int kind)
{
    unsigned kinds = 0;
    for (int other = 0; other < element_count; other++)
        if (elements[kind].density > elements[other].density)
            kinds |= 1u << other;
    return kinds;
}

constexpr bool heavier_than_empty(unsigned kinds)
{
    for (int kind = 0; kind < element_count; kind++)
        if ((kinds >> kind & 1) && !(lighter_than(kind) >> EMPTY & 1))
            return false;
    return true;
}

static_assert(outside < 8 * sizeof(unsigned) && outside < 256,
              "every kind and the frame have a bit in a set and a byte value");
static_assert(!(moving >> EMPTY & 1), "the pass passes over empty cells");
// A row's cells are picked before its first visit, and a visit can change a
// cell next to a later one in the row: it puts its particle where something
// lighter was, or where nothing was. A cell left out had nothing lighter
// around it, and something lighter than the particle is lighter than the
// cell's kind as well; so a cell left out can only gain a way out if
// something heavier than empty finds no way into an empty cell.
static_assert(heavier_than_empty(falling),
              "every falling kind sinks into empty cells, so a cell left out stays put");

// ---------------------------------------------------------------------------
// Masks over a vector of cells.

// All ones in the bytes whose kind is in `kinds`.
template <unsigned kinds, class L, int... kind>
VECTOR_INLINE L one_of(const L &cells, std::integer_sequence<int, kind...> /*kinds*/)
{
    return (L::filled(0) | ... | ((kinds >> kind & 1) ? cells == kind : L::filled(0)));
}

template <unsigned kinds, class L> VECTOR_INLINE L one_of(const L &cells)
{
    return one_of<kinds>(cells, std::make_integer_sequence<int, outside + 1>());
}

// The falling cells of `self` that sink into the kind beside them in
// `target`.
template <class L, int kind = 0> VECTOR_INLINE L sinking(const L &self, const L &target)
{
    if constexpr (kind == element_count)
        return L::filled(0);
    else if constexpr ((falling >> kind & 1) != 0)
        return ((self == kind) & one_of<lighter_than(kind)>(target)) |
               sinking<L, kind + 1>(self, target);
    else
        return sinking<L, kind + 1>(self, target);
}

// ---------------------------------------------------------------------------
// The pass's working memory.

// What a pass works from, kept from pass to pass so that the frame is laid
// only once; passes never change it. One set for the program: the game runs
// its passes on one thread, and a thread-local set would keep WebAssembly
// from its bulk memory instructions (its linker then asks for atomics).
struct pass_scratch
{
    kind_rows rows;
    // The cells of the pass's parity moved before the pass, 0xff each, by
    // rows like the copies; filled in only for rows with some, where
    // `row_moved` is not zero.
    alignas(32) uint8_t moved_before[grid_size][row_bytes];
    uint8_t row_moved[grid_size];
    // The cells fire rose into, 0xff each: for the row being swept, and for
    // the one above, by turns.
    alignas(32) uint8_t risen[2][row_bytes];
};

pass_scratch &scratch()
{
    static pass_scratch s;
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

// ---------------------------------------------------------------------------
// The row copies.

// Copies the kinds of rows y..y + 15 into `rows`, in blocks of 16 rows by as
// many column indices as a vector holds: half h of vector i gets column index
// k + 16h + i, and the transpose leaves vector i holding row y + i.
template <class L> VECTOR_INLINE void copy_band(const particles &p, kind_rows &rows, int y)
{
    for (int bk = 0; bk < blocks_along<columns_per_pass, L::size>(); bk++)
        for (int parity = 0; parity < 2; parity++)
        {
            int k = block_start(bk, columns_per_pass, L::size);
            L block[L::half];
            for (int i = 0; i < L::half; i++)
                block[i] = column_kinds<L>(p.particles, 2 * (k + i) + parity, 2 * L::half, y);
            transpose(block);
            for (int i = 0; i < L::half; i++)
                block[i].store(&rows.cells[parity][y + i + 1][k + first]);
        }
}

// Whether any cell of the pass's parity was moved before the pass. Most
// passes follow a clear and find none; one look at all the flags in memory
// order spares looking band by band.
bool any_moved_before(const particles &p, int parity)
{
    uint8_t any = 0;
    for (int x = parity; x < grid_size; x += 2)
    {
        const uint8_t *flags = reinterpret_cast<const uint8_t *>(p.particlemoved[x]);
        for (int y = 0; y < grid_size; y++)
            any |= flags[y];
    }
    return any != 0;
}

// Notes which cells of the pass's parity in rows y..y + 15 were moved before
// the pass, and so must not move again. The rows that have some get their
// moved flags laid out like the copies.
void note_moved(const particles &p, pass_scratch &s, int parity, int y)
{
    typedef lanes<bytes16> L;
    static_assert(sizeof(bool) == 1, "a moved flag is one byte");
    auto flags = [&](int x)
    { return L::load(reinterpret_cast<const uint8_t *>(p.particlemoved[x] + y)); };
    L rows_moved = L::filled(0);
    for (int x = parity; x < grid_size; x += 2)
        rows_moved = rows_moved | flags(x);
    rows_moved.store(&s.row_moved[y]);
    if (!(rows_moved != 0).any())
        return;
    for (int bk = 0; bk < blocks_along<columns_per_pass, L::half>(); bk++)
    {
        int k = block_start(bk, columns_per_pass, L::half);
        L block[L::half];
        for (int i = 0; i < L::half; i++)
            block[i] = flags(2 * (k + i) + parity);
        transpose(block);
        for (int i = 0; i < L::half; i++)
            (block[i] != 0).store(&s.moved_before[y + i][k + first]);
    }
}

// ---------------------------------------------------------------------------
// One row.

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

// The cells of a row moved before their visit, 0xff each: those fire rose
// into from the row below (`risen`) and those moved before the pass
// (`before`, null if there are none); no other cell of the pass's parity can
// be. `rising` gets the cells of the row above that fire rises into.
struct moved_cells
{
    const uint8_t *risen;
    const uint8_t *before;
    uint8_t *rising;
};

// Cells of row y of the pass's parity. Falling kinds need a cell below that
// they sink into, flowing ones a free side, rising ones a free cell above or
// beside them. The straight moves are planned and made in the copies.
template <class L>
VECTOR_INLINE row_plan plan_row(uint8_t (*own)[row_bytes], const uint8_t (*other)[row_bytes],
                                int parity, int y, const moved_cells &moved)
{
    // `own` holds the rows of the pass's parity, `other` those of the other.
    // Column 2k + parity has its left neighbour at index k - 1 + parity of
    // the other parity's row, its right one at k + parity.
    const int left = parity - 1, right = parity;
    const int r = y + 1;
    row_plan plan{};
    for (int i = first; i < first + columns_per_pass; i += L::size)
    {
        L self = L::load(own[r] + i);
        // Stretches of empty space and walls are common and have nothing to do.
        if (!one_of<moving>(self).any())
        {
            L::filled(0).store(moved.rising + i);
            continue;
        }
        L above = L::load(own[r - 1] + i), below = L::load(own[r + 1] + i);
        L diagonal = sinking(self, L::load(other[r + 1] + i + left)) |
                     sinking(self, L::load(other[r + 1] + i + right));
        L side_free =
            (L::load(other[r] + i + left) == EMPTY) | (L::load(other[r] + i + right) == EMPTY);
        L rises = one_of<rising>(self);
        L slants = rises & ((L::load(other[r - 1] + i + left) == EMPTY) |
                            (L::load(other[r - 1] + i + right) == EMPTY));
        L moved_already = L::load(moved.risen + i);
        if (moved.before)
            moved_already = moved_already | L::load(moved.before + i);
        L down = sinking(self, below) & ~moved_already;
        L up = rises & (above == EMPTY) & ~moved_already;
        L others = (diagonal | (side_free & one_of<sideways>(self)) | slants) &
                   ~(moved_already | down | up);
        up.store(moved.rising + i);
        if ((down | up).any())
        {
            ((below & ~down) | (self & down)).store(own[r + 1] + i);
            ((self & ~(down | up)) | (below & down) | (above & up)).store(own[r] + i);
            ((above & ~up) | (self & up)).store(own[r - 1] + i);
        }
        plan.fall.add(i - first, down.top_bits());
        plan.rise.add(i - first, up.top_bits());
        plan.visit.add(i - first, others.top_bits());
    }
    return plan;
}

// Writes the straight moves the copies already hold into the grid: for each
// k, the two cells of column 2k + parity from row `top` down, the lower one
// moved (`lower_moved`, a fall) or the upper one (a rise).
void write_straight(particles &p, const kind_rows &rows, const row_bits &moves, int parity, int top,
                    bool lower_moved)
{
    // No rises out of the top row: `top` would be outside the grid.
    if (moves.empty())
        return;
    // Column 2k + parity is k columns of the pass's parity from the first.
    const int columns = 2 * grid_size;
    int *cells = &p.particles[parity][top];
    bool *flags = &p.particlemoved[parity][top + lower_moved];
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

// Makes the row's planned moves: the straight ones, then the visits one by
// one. `visit` numbers the row's first visit within the pass.
void sweep_row(copied_cells &c, const row_plan &plan, int parity, bool rightward, int y,
               visit_counter counter, int visit)
{
    write_straight(c.p, c.rows, plan.fall, parity, y, true);
    write_straight(c.p, c.rows, plan.rise, parity, y - 1, false);
    plan.visit.for_each(
        rightward,
        [&](int k)
        {
            int order = rightward ? k : columns_per_pass - 1 - k;
            visit_cell(c, 2 * k + parity, y, visit_side{counter, visit + order + 1});
        });
}

// Half the columns per pass: `skiplevel` picks the parity (odd first),
// `leftorright` the direction. Rows go bottom up so that a falling particle
// lands in a row already visited. The copies are made a band of rows at a
// time, just before the sweep comes near, so that the grid's cells are
// still in cache when the sweep writes its moves there. Bands go up from the
// bottom; the top one overlaps the band below it, whose cells the copies and
// the grid agree on.
template <class L> VECTOR_INLINE void run_pass(particles &p)
{
    int parity = p.skiplevel ? 0 : 1;
    pass_scratch &s = scratch();
    copied_cells c{p, s.rows};
    const visit_counter counter{p.count, p.alternate};
    std::memset(s.risen[(grid_size - 1) % 2], 0, row_bytes);
    bool moved_before = any_moved_before(p, parity);
    int lowest_uncopied = grid_size - 1;
    for (int y = grid_size - 1, visit = 0; y >= 0; y--, visit += columns_per_pass)
    {
        while (lowest_uncopied >= std::max(y - 1, 0))
        {
            int top = std::max(lowest_uncopied - band + 1, 0);
            copy_band<L>(p, s.rows, top);
            if (moved_before)
                note_moved(p, s, parity, top);
            lowest_uncopied = top - 1;
        }
        moved_cells moved{s.risen[y % 2],
                          moved_before && s.row_moved[y] ? s.moved_before[y] : nullptr,
                          s.risen[1 - y % 2]};
        row_plan plan =
            plan_row<L>(s.rows.cells[parity], s.rows.cells[1 - parity], parity, y, moved);
        before_sse_code<L>();
        sweep_row(c, plan, parity, p.leftorright, y, counter, visit);
    }
}

#ifdef WITH_AVX2
AVX2_ENTRY void run_pass_avx2(particles &p)
{
    run_pass<lanes<bytes32>>(p);
}
#endif

} // namespace

void run_fast_pass(particles &p)
{
#ifdef WITH_AVX2
    if (has_avx2())
        return run_pass_avx2(p);
#endif
    run_pass<lanes<bytes16>>(p);
}
