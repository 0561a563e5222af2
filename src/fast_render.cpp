// Rendering, made fast. The grid is stored by columns and the bitmap by
// rows, so the cells are taken in blocks of 16 rows by as many columns as a
// vector holds and transposed in registers; each row of a block has its
// colours looked up, every byte doubled, and is written to both bitmap
// lines of its cells. Blocks at the right and bottom overlap their
// neighbours (300 is not a multiple of 16 or 32), and the cells they share
// are simply drawn twice. Every pixel is written, so nothing that the bitmap
// held before shows through. Assumes what the game sets up: an 8-bit memory
// bitmap, one byte per pixel, 600 x 600.

#include "fast_render.h"

#include <cstring>

#include "byte_vectors.h"

namespace
{

// The colour of each kind as makecol gives it. makecol searches the palette
// for the nearest entry on every call, which would cost a fifth of the
// drawing; its answers change only with the colour depth, the colour map and
// the palette, so they are kept until one of those changes.
struct kind_colours
{
    uint8_t of[element_count];
};

kind_colours colours_now()
{
    static struct
    {
        int depth = -1;
        const RGB_MAP *map = nullptr;
        PALETTE palette;
        kind_colours colours;
    } known;
    PALETTE palette;
    get_palette(palette);
    if (known.depth == get_color_depth() && known.map == rgb_map &&
        std::memcmp(known.palette, palette, sizeof palette) == 0)
        return known.colours;
    known.depth = get_color_depth();
    known.map = rgb_map;
    std::memcpy(known.palette, palette, sizeof palette);
    for (int kind = 0; kind < element_count; kind++)
        known.colours.of[kind] =
            uint8_t(makecol(elements[kind].r, elements[kind].g, elements[kind].b));
    return known.colours;
}

// Blocks of 16 rows by half as many columns as a vector holds: half h of
// vector i gets column x + 8h + i. The transpose leaves vector k holding rows
// 2k and 2k + 1 of those columns, 8 cells of each in each half; with their
// colours looked up, interleaving the vector with itself doubles every byte
// and puts together row 2k's pixels in one vector and row 2k + 1's in the
// other, each written to both bitmap lines of its row.
template <class L>
VECTOR_INLINE void draw_blocks(const int (*grid)[grid_size], uint8_t *const *lines,
                               const kind_colours &colours)
{
    const int columns = L::size / 2;
    const kind_table<L, element_count> colour_of(colours.of);
    for (int by = 0; by < blocks_along<grid_size, band>(); by++)
        for (int bx = 0; bx < blocks_along<grid_size, columns>(); bx++)
        {
            int x = block_start(bx, grid_size, columns), y = block_start(by, grid_size, band);
            L block[8];
            for (int i = 0; i < 8; i++)
                block[i] = column_kinds<L>(grid, x + i, 8, y);
            transpose(block);
            UNROLLED for (int k = 0; k < 8; k++)
            {
                L shown = lookup(block[k], colour_of);
                L upper = interleave_low(shown, shown), lower = interleave_high(shown, shown);
                const int line = cell_pixels * (y + 2 * k), pixel = cell_pixels * x;
                upper.store(lines[line] + pixel);
                upper.store(lines[line + 1] + pixel);
                lower.store(lines[line + 2] + pixel);
                lower.store(lines[line + 3] + pixel);
            }
        }
}

#ifdef WITH_AVX2
AVX2_ENTRY void draw_blocks_avx2(const int (*grid)[grid_size], uint8_t *const *lines,
                                 const kind_colours &colours)
{
    draw_blocks<lanes<bytes32>>(grid, lines, colours);
}
#endif

} // namespace

void render_grid(particles &p)
{
    kind_colours colours = colours_now();
#ifdef WITH_AVX2
    if (has_avx2())
        return draw_blocks_avx2(p.particles, p.sand->line, colours);
#endif
    draw_blocks<lanes<bytes16>>(p.particles, p.sand->line, colours);
}
