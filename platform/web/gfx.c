/* The browser's graphics driver: an 8-bit screen in memory, drawn by
 * Allegro's own code, shown on the page's canvas at each rest(). The
 * palette's colours are those the X11 port shows on a true-colour display.
 * The pointer is the browser's own: the driver takes Allegro's mouse cursor
 * as a hardware one and draws nothing.
 *
 * Only what changed goes to the canvas: a busy frame changes a few thousand
 * pixels here and there, and on a slow processor handing pixels to the
 * canvas would otherwise be much of its work. Blits from memory bitmaps,
 * all of a frame's drawing in most programs, copy only the blocks of BLOCK
 * pixels that differ; Allegro's other drawing asks for each row it writes
 * (the screen's write_bank), and such rows count as changed whole. Each
 * band of BAND rows goes to the canvas as the box around what changed in
 * it. A canvas with WebGL2 takes the 8-bit pixels and looks them up in the
 * palette itself; one with a 2D context takes RGBA, which the driver keeps
 * beside the screen, converting what changes as it is drawn (blocks as they
 * are copied, rows when the frame is shown).
 */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "web.h"

#define BLOCK 16
#define BAND 8

struct columns
{
    int left, right; /* changed: [left, right) */
};

static unsigned char *pixels;      /* the screen */
static uint32_t *rgba;             /* the screen through the palette, for a 2D canvas */
static unsigned char *row_drawn;   /* rows drawn since the last show, not by blits */
static struct columns *bands;      /* what changed in each band since the last show */
static uint32_t palette[PAL_SIZE]; /* RGBA, as the canvas takes it */
static int palette_changed;

static void free_screen(void)
{
    free(pixels);
    free(rgba);
    free(row_drawn);
    free(bands);
    pixels = row_drawn = NULL;
    rgba = NULL;
    bands = NULL;
}

static void convert(size_t from, int n)
{
    int k;
    if (!rgba)
        return;
    for (k = 0; k < n; k++)
        rgba[from + k] = palette[pixels[from + k]];
}

static void changed(int y, int left, int right)
{
    struct columns *band = &bands[y / BAND];
    band->left = MIN(band->left, left);
    band->right = MAX(band->right, right);
}

static int same(const unsigned char *a, const unsigned char *b, int n)
{
    uint64_t a0, a1, b0, b1;
    if (n < BLOCK)
        return memcmp(a, b, n) == 0;
    memcpy(&a0, a, 8);
    memcpy(&a1, a + 8, 8);
    memcpy(&b0, b, 8);
    memcpy(&b1, b + 8, 8);
    return ((a0 ^ b0) | (a1 ^ b1)) == 0;
}

/* Copies the block of N pixels at FROM to the screen at TO and converts
 * it for a 2D canvas, if it differs; whether it did. Inlined with N a
 * constant for whole blocks, the copy, the comparison and the conversion
 * need no loops. */
static inline int copy_block(const unsigned char *from, unsigned char *to, int n)
{
    if (same(from, to, n))
        return FALSE;
    memcpy(to, from, n);
    convert(to - pixels, n);
    return TRUE;
}

/* Copies N pixels from FROM to the screen at TO, block by block, those
 * that differ. */
static void copy_changes(const unsigned char *from, unsigned char *to, int n)
{
    size_t start = to - pixels;
    int x = start % gfx_web.w, k, left = x + n, right = x;
    for (k = 0; k + BLOCK <= n; k += BLOCK)
        if (copy_block(from + k, to + k, BLOCK))
        {
            left = MIN(left, x + k);
            right = x + k + BLOCK;
        }
    if (k < n && copy_block(from + k, to + k, n - k))
    {
        left = MIN(left, x + k);
        right = x + n;
    }
    if (left < right)
        changed(start / gfx_web.w, left, right);
}

/* The screen's blits from memory bitmaps, which Allegro has clipped. */
static void blit_from_memory(BITMAP *src, BITMAP *dst, int sx, int sy, int dx, int dy, int w, int h)
{
    int y;
    for (y = 0; y < h; y++)
        copy_changes(src->line[sy + y] + sx, dst->line[dy + y] + dx, w);
}

/* The screen's write_bank: Allegro's drawing asks it for each row it
 * writes (LINE in BMP, which may be a sub-bitmap of the screen). */
static uintptr_t write_line(BITMAP *bmp, int line)
{
    row_drawn[line + bmp->y_ofs] = TRUE;
    return (uintptr_t)bmp->line[line];
}

static BITMAP *gfx_init(int w, int h, int v_w, int v_h, int color_depth)
{
    BITMAP *bmp;
    uintptr_t (*bank)(BITMAP *, int) = write_line;
    int band, canvas;
    if (color_depth != 8)
    {
        ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("Unsupported color depth"));
        return NULL;
    }
    if ((v_w != 0 && v_w != w) || (v_h != 0 && v_h != h))
    {
        ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE,
                 get_config_text("Virtual screen not supported"));
        return NULL;
    }
    canvas = web_open_canvas(w, h);
    if (canvas == CANVAS_NONE)
    {
        ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("the page has no canvas"));
        return NULL;
    }
    pixels = calloc((size_t)w * h, 1);
    rgba = canvas == CANVAS_RGBA ? calloc((size_t)w * h, sizeof *rgba) : NULL;
    row_drawn = calloc(h, 1);
    bands = calloc(h / BAND + 1, sizeof *bands);
    bmp = pixels && (rgba || canvas != CANVAS_RGBA) && row_drawn && bands
              ? _make_bitmap(w, h, (uintptr_t)pixels, &gfx_web, 8, w)
              : NULL;
    if (!bmp)
    {
        free_screen();
        ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("Not enough memory"));
        return NULL;
    }
    gfx_web.w = w;
    gfx_web.h = h;
    for (band = 0; band <= h / BAND; band++)
        bands[band].left = w;
    /* The screen's own copy of the linear vtable (see _make_bitmap). */
    _screen_vtable.blit_from_memory = blit_from_memory;
    /* Allegro keeps its bank functions as void *, to which ISO C assigns no
     * function. */
    memcpy(&bmp->write_bank, &bank, sizeof bank);
    return bmp;
}

static void gfx_exit(BITMAP *bmp)
{
    (void)bmp;
    free_screen();
}

/* 6-bit components widened as the X11 port widens them. */
static uint32_t widen(unsigned char c)
{
    return (c << 2) | ((c & 0x30) >> 4);
}

static void gfx_set_palette(AL_CONST RGB *p, int from, int to, int retracesync)
{
    int i;
    (void)retracesync;
    for (i = from; i <= to; i++)
        palette[i] = widen(p[i].r) | widen(p[i].g) << 8 | widen(p[i].b) << 16 | 0xFF000000u;
    palette_changed = TRUE;
}

void web_show_screen(void)
{
    int w = gfx_web.w, h = gfx_web.h, y;
    if (!pixels)
        return;
    if (palette_changed)
        web_set_palette(palette);
    for (y = 0; y < h; y++)
        if (row_drawn[y] || (palette_changed && rgba))
        {
            convert((size_t)y * w, w);
            changed(y, 0, w);
            row_drawn[y] = FALSE;
        }
    for (y = 0; y < h; y += BAND)
    {
        struct columns *band = &bands[y / BAND];
        if (band->left < band->right)
            web_show(rgba ? (const void *)rgba : pixels, band->left, y, band->right,
                     MIN(y + BAND, h));
        band->left = w;
        band->right = 0;
    }
    web_present();
    palette_changed = FALSE;
}

static int gfx_set_mouse_sprite(BITMAP *sprite, int xfocus, int yfocus)
{
    (void)sprite;
    (void)xfocus;
    (void)yfocus;
    return 0;
}

static int gfx_show_mouse(BITMAP *bmp, int x, int y)
{
    (void)bmp;
    (void)x;
    (void)y;
    return 0;
}

static void gfx_hide_mouse(void) {}

static void gfx_move_mouse(int x, int y)
{
    (void)x;
    (void)y;
}

GFX_DRIVER gfx_web = {
    GFX_WEB,
    empty_string,
    empty_string,
    "Browser canvas",
    gfx_init,
    gfx_exit,
    NULL, /* scroll */
    NULL, /* vsync */
    gfx_set_palette,
    NULL,
    NULL,
    NULL, /* request_scroll, poll_scroll, enable_triple_buffer */
    NULL,
    NULL,
    NULL,
    NULL, /* video bitmaps */
    NULL,
    NULL, /* system bitmaps */
    gfx_set_mouse_sprite,
    gfx_show_mouse,
    gfx_hide_mouse,
    gfx_move_mouse,
    NULL,
    NULL,
    NULL,
    NULL,
    NULL, /* drawing_mode, save/restore_video_state, set_blender_mode, fetch_mode_list */
    0,
    0,    /* w, h */
    TRUE, /* linear */
    0,
    0,
    0,
    0,
    TRUE, /* windowed */
};
