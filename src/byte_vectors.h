#ifndef BYTE_VECTORS_H
#define BYTE_VECTORS_H

// Byte vectors for the grid's fast paths, in the compiler's generic vector
// types (GCC and clang), so that one source serves every processor: 16 bytes
// at a time anywhere, 32 in the functions built for AVX2. Assumes nothing
// about byte order: ints are narrowed by value, and bit masks are gathered
// from the bytes' values, not from their places in a word. On x86 a few steps
// take the processor's own instructions, which compilers do not find from
// the generic code: narrowing and top bits with SSE2 (which every x86-64
// processor has), and with AVX2 also lookups by shuffle. WebAssembly's
// 128-bit vectors take the SSE2 steps (emscripten maps SSE2's intrinsics
// onto them) and look up by shuffle as well.

#include <cstdint>
#include <cstring>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#ifdef __wasm_simd128__
#include <wasm_simd128.h>
#endif
#if defined(__x86_64__) && !defined(VELDRATH_PORTABLE)
#include <immintrin.h>
#endif

typedef uint8_t bytes16 __attribute__((vector_size(16)));
typedef uint8_t bytes32 __attribute__((vector_size(32)));

// The fast paths are templates on the vector type, inlined into one entry
// per build, so that the AVX2 entry compiles them all for AVX2.
#define VECTOR_INLINE __attribute__((always_inline)) inline
// Loops over the vectors of a block are unrolled whole, so that the vectors
// stay in registers: left to itself, clang keeps them looping through memory
// when it builds for WebAssembly, which makes a pass nearly twice as slow.
#define UNROLLED _Pragma("GCC unroll 16")

// On x86-64 the fast paths are also built for AVX2, 32 bytes at a time, and
// that build is taken when the processor has it. VELDRATH_PORTABLE leaves it
// out, so that the portable build can be tested and timed on any machine.
#if defined(__x86_64__) && !defined(VELDRATH_PORTABLE)
#define WITH_AVX2 1
#define AVX2_ENTRY __attribute__((target("avx2")))
inline bool has_avx2()
{
    return __builtin_cpu_supports("avx2");
}
#endif

#ifdef WITH_AVX2
// Clears the upper halves of the vector registers, which AVX2 code leaves in
// use: SSE code that runs while they are in use runs slowly (a stroke after a
// pass took half again as long). The compiler clears them itself before
// calling code it has not seen, but not before calling a function of the
// same file that it has seen leave some vector registers alone.
AVX2_ENTRY inline void clear_upper_halves()
{
    _mm256_zeroupper();
}
#endif

// Called by vector code of type L before it calls SSE code.
template <class L> VECTOR_INLINE void before_sse_code()
{
#ifdef WITH_AVX2
    if constexpr (L::size == 32)
        clear_upper_halves();
#endif
}

#ifdef WITH_AVX2
AVX2_ENTRY inline uint32_t top_bits_avx2(const bytes32 &bytes)
{
    return uint32_t(_mm256_movemask_epi8((__m256i)bytes));
}
#endif

// Rows in a band of cells: a transpose turns 16 cells of a column into 16
// rows.
const int band = 16;

// A byte vector as the fast paths use it. The vector travels inside a
// struct: compilers refuse to pass 32-byte vectors by value in code built
// without AVX, which is where these templates are written.
template <class V> struct lanes
{
    static constexpr int size = sizeof(V);
    // Bytes per half: each half is transposed on its own.
    static constexpr int half = band;

    V v;

    static VECTOR_INLINE lanes load(const uint8_t *bytes)
    {
        lanes l;
        std::memcpy(&l.v, bytes, sizeof l.v);
        return l;
    }
    static VECTOR_INLINE lanes filled(uint8_t byte)
    {
        uint8_t bytes[size];
        std::memset(bytes, byte, size);
        return load(bytes);
    }
    VECTOR_INLINE void store(uint8_t *bytes) const
    {
        std::memcpy(bytes, &v, sizeof v);
    }
    VECTOR_INLINE lanes operator&(const lanes &other) const
    {
        return {v & other.v};
    }
    VECTOR_INLINE lanes operator|(const lanes &other) const
    {
        return {v | other.v};
    }
    VECTOR_INLINE lanes operator^(const lanes &other) const
    {
        return {v ^ other.v};
    }
    VECTOR_INLINE lanes operator~() const
    {
        return {~v};
    }
    // All ones in the bytes that hold `byte`, zero elsewhere.
    VECTOR_INLINE lanes operator==(uint8_t byte) const
    {
        return {(V)(v == byte)};
    }
    VECTOR_INLINE lanes operator!=(uint8_t byte) const
    {
        return {(V)(v != byte)};
    }

    // Whether any byte is all ones; the bytes must be all ones or zero.
    VECTOR_INLINE bool any() const
    {
        return top_bits() != 0;
    }

    // Bit i set where byte i is all ones; the bytes must be all ones or
    // zero. x86 has an instruction for it. Elsewhere a multiplication moves
    // the top bit of each byte of a word to the word's top byte, byte i of
    // the word to bit i; a big-endian word holds its bytes the other way
    // round.
    VECTOR_INLINE uint32_t top_bits() const
    {
#ifdef WITH_AVX2
        if constexpr (size == 32)
            return top_bits_avx2(v);
#endif
#ifdef __SSE2__
        if constexpr (size == 16)
            return uint32_t(_mm_movemask_epi8((__m128i)v));
#endif
        uint64_t words[size / 8];
        std::memcpy(words, &v, sizeof v);
        uint32_t bits = 0;
        for (int w = 0; w < size / 8; w++)
        {
            uint64_t tops = words[w] & 0x8080808080808080u;
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
            tops = __builtin_bswap64(tops);
#endif
            bits |= uint32_t((tops * 0x0002040810204081u) >> 56) << (8 * w);
        }
        return bits;
    }

    // The two ways of mixing two vectors that a transpose needs: bytes 0..7
    // (or 8..15) of each 16-byte half of `a` and `b`, taken in turns.
    VECTOR_INLINE friend lanes interleave_low(const lanes &a, const lanes &b)
    {
        if constexpr (size == 16)
            return {__builtin_shufflevector(a.v, b.v, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6,
                                            22, 7, 23)};
        else
            return {__builtin_shufflevector(a.v, b.v, 0, 32, 1, 33, 2, 34, 3, 35, 4, 36, 5, 37, 6,
                                            38, 7, 39, 16, 48, 17, 49, 18, 50, 19, 51, 20, 52, 21,
                                            53, 22, 54, 23, 55)};
    }
    VECTOR_INLINE friend lanes interleave_high(const lanes &a, const lanes &b)
    {
        if constexpr (size == 16)
            return {__builtin_shufflevector(a.v, b.v, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29,
                                            14, 30, 15, 31)};
        else
            return {__builtin_shufflevector(a.v, b.v, 8, 40, 9, 41, 10, 42, 11, 43, 12, 44, 13, 45,
                                            14, 46, 15, 47, 24, 56, 25, 57, 26, 58, 27, 59, 28, 60,
                                            29, 61, 30, 62, 31, 63)};
    }
};

#ifdef WITH_AVX2
// Where AVX2 has instructions for what the portable code spells out. The
// kinds of 16 cells of two columns at once, `left` in the low half: the
// packs work within 16-byte halves and leave the 4-byte groups in the order
// 0 2 4 6 1 3 5 7.
AVX2_ENTRY inline lanes<bytes32> column_pair_kinds(const int *left, const int *right, int y)
{
    const __m256i *l = reinterpret_cast<const __m256i *>(left + y);
    const __m256i *r = reinterpret_cast<const __m256i *>(right + y);
    __m256i upper = _mm256_packs_epi32(_mm256_loadu_si256(l), _mm256_loadu_si256(l + 1));
    __m256i lower = _mm256_packs_epi32(_mm256_loadu_si256(r), _mm256_loadu_si256(r + 1));
    return {(bytes32)_mm256_permutevar8x32_epi32(_mm256_packus_epi16(upper, lower),
                                                 _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7))};
}

// Byte i of each half of `table` for each byte i of `kinds` (below 16).
AVX2_ENTRY inline lanes<bytes32> shuffle(const lanes<bytes32> &table, const lanes<bytes32> &kinds)
{
    return {(bytes32)_mm256_shuffle_epi8((__m256i)table.v, (__m256i)kinds.v)};
}
#endif

#ifdef __wasm_simd128__
// WebAssembly looks up 16 bytes at once too (bytes of 16 and above get 0).
inline lanes<bytes16> shuffle(const lanes<bytes16> &table, const lanes<bytes16> &kinds)
{
    return {(bytes16)wasm_i8x16_swizzle((v128_t)table.v, (v128_t)kinds.v)};
}
#endif

// A table of bytes by kind, for `lookup`: entry 0 in every byte, and for
// each further kind what tells its entry from entry 0; for shuffles, the
// entries themselves in each 16-byte half.
template <class L, int n> struct kind_table
{
    static_assert(n <= L::half, "a shuffle looks up 16 entries at most");

    L first;
    L differences[n];
    L entries;

    explicit kind_table(const uint8_t (&of)[n]) : first(L::filled(of[0]))
    {
        uint8_t halves[L::size] = {};
        for (int kind = 0; kind < n; kind++)
        {
            differences[kind] = L::filled(of[kind] ^ of[0]);
            for (int h = 0; h < L::size; h += L::half)
                halves[h + kind] = of[kind];
        }
        entries = L::load(halves);
    }
};

// `of[kind]` for each byte of `kinds`. AVX2 and WebAssembly shuffle the
// entries; the portable code compares with every kind in turn, which is
// cheap for a handful of kinds and spelled out at compile time, so that no
// loop is left; bytes of no kind in the table get entry 0.
template <class L, int n, int... kind>
VECTOR_INLINE L lookup(const L &kinds, const kind_table<L, n> &table,
                       std::integer_sequence<int, 0, kind...> /*kinds*/)
{
#ifdef WITH_AVX2
    if constexpr (L::size == 32)
        return shuffle(table.entries, kinds);
#endif
#ifdef __wasm_simd128__
    if constexpr (L::size == 16)
        return shuffle(table.entries, kinds);
#endif
    return (table.first ^ ... ^ ((kinds == kind) & table.differences[kind]));
}

template <class L, int n> VECTOR_INLINE L lookup(const L &kinds, const kind_table<L, n> &table)
{
    return lookup(kinds, table, std::make_integer_sequence<int, n>());
}

// Where the index-th block of `block_cells` cells along an axis of
// `axis_cells` cells starts: the last block is pulled back inside, so that it
// overlaps the one before it, and the cells they share are simply handled
// twice.
inline int block_start(int index, int axis_cells, int block_cells)
{
    int start = index * block_cells;
    return start < axis_cells - block_cells ? start : axis_cells - block_cells;
}

template <int axis_cells, int block_cells> constexpr int blocks_along()
{
    static_assert(block_cells > 0, "blocks hold cells");
    return (axis_cells + block_cells - 1) / block_cells;
}

// Transposes bytes, in each 16-byte half on its own, by rounds of
// interleaving vector i with vector i + n / 2. From 16 vectors, four rounds
// turn byte i of vector j into byte j of vector i. From 8 vectors, three
// rounds leave vector k holding byte 2k of each vector in its first 8 bytes
// and byte 2k + 1 of each in its last 8.
template <class L, int n> VECTOR_INLINE void transpose(L (&rows)[n])
{
    static_assert(n == 8 || n == 16, "8 or 16 vectors");
    const int rounds = n == 16 ? 4 : 3;
    UNROLLED for (int round = 0; round < rounds; round++)
    {
        L mixed[n];
        UNROLLED for (int i = 0; i < n; i += 2)
        {
            mixed[i] = interleave_low(rows[i / 2], rows[(i + n) / 2]);
            mixed[i + 1] = interleave_high(rows[i / 2], rows[(i + n) / 2]);
        }
        UNROLLED for (int i = 0; i < n; i++)
        {
            rows[i] = mixed[i];
        }
    }
}

// The kinds of 16 cells of a column from row `y`, one byte each. On x86,
// two saturating packs (kinds are small and never negative, so they stay
// exact); elsewhere a plain loop, which compilers turn into packs of their
// own. On x86 the loop is not left to the compiler: in blocks of columns it
// would rather gather the ints' low bytes one by one.
VECTOR_INLINE lanes<bytes16> narrow_column(const int *column, int y)
{
#ifdef __SSE2__
    const __m128i *v = reinterpret_cast<const __m128i *>(column + y);
    __m128i upper = _mm_packs_epi32(_mm_loadu_si128(v), _mm_loadu_si128(v + 1));
    __m128i lower = _mm_packs_epi32(_mm_loadu_si128(v + 2), _mm_loadu_si128(v + 3));
    return {(bytes16)_mm_packus_epi16(upper, lower)};
#else
    uint8_t kinds[16];
    for (int i = 0; i < 16; i++)
        kinds[i] = uint8_t(column[y + i]);
    return lanes<bytes16>::load(kinds);
#endif
}

// The kinds of 16 cells from row `y` of column x in the first 16-byte half,
// and of column x + `apart` in the second.
template <class L>
VECTOR_INLINE L column_kinds(const int (*grid)[300], int x, [[maybe_unused]] int apart, int y)
{
#ifdef WITH_AVX2
    if constexpr (L::size == 32)
        return column_pair_kinds(grid[x], grid[x + apart], y);
    else
#endif
        return narrow_column(grid[x], y);
}

#endif
