/* The browser's graphics driver: an 8-bit screen in memory, drawn by
 * Allegro's own code, shown on the page's canvas at each rest(). The
 * conversion through the palette gives the colours the X11 port shows on a
 * true-colour display. The pointer is the browser's own: the driver takes
 * Allegro's mouse cursor as a hardware one and draws nothing.
 */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "web.h"

/* Pixels are compared and converted in blocks of eight, one 64-bit word of
 * the 8-bit screen; the width is a multiple of it. */
#define BLOCK 8

static unsigned char *pixels;      /* the screen */
static unsigned char *shown;       /* the screen as last shown */
static uint32_t *rgba;             /* the rows shown, through the palette */
static uint32_t palette[PAL_SIZE]; /* RGBA, as the canvas takes it */
static int palette_changed;

static void free_screen(void)
{
    free(pixels);
    free(rgba);
    pixels = shown = NULL;
    rgba = NULL;
}

static BITMAP *gfx_init(int w, int h, int v_w, int v_h, int color_depth)
{
    BITMAP *bmp;
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
    if (w % BLOCK != 0)
    {
        ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("Resolution not supported"));
        return NULL;
    }
    if (!web_open_canvas(w, h))
    {
        ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("the page has no canvas"));
        return NULL;
    }
    pixels = calloc((size_t)w * h, 2);
    shown = pixels ? pixels + (size_t)w * h : NULL;
    rgba = calloc((size_t)w * h, sizeof *rgba);
    bmp = pixels && rgba ? _make_bitmap(w, h, (uintptr_t)pixels, &gfx_web, 8, w) : NULL;
    if (!bmp)
    {
        free_screen();
        ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("Not enough memory"));
        return NULL;
    }
    gfx_web.w = w;
    gfx_web.h = h;
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

static int block_changed(size_t i)
{
    uint64_t now, before;
    memcpy(&now, pixels + i, BLOCK);
    memcpy(&before, shown + i, BLOCK);
    return now != before;
}

/* Only the box around the blocks that changed since the last frame goes to
 * the canvas, converted through the palette (all of it after a palette
 * change), and nothing when none did: on a slow processor taking the
 * palette and handing pixels to the canvas are most of a frame's work. */
void web_show_screen(void)
{
    int w = gfx_web.w, h = gfx_web.h, left = w, top = h, right = 0, bottom = 0, x, y, k;
    if (!pixels)
        return;
    for (y = 0; y < h; y++)
        for (x = 0; x < w; x += BLOCK)
        {
            size_t i = (size_t)y * w + x;
            if (!palette_changed && !block_changed(i))
                continue;
            for (k = 0; k < BLOCK; k++)
                rgba[i + k] = palette[pixels[i + k]];
            memcpy(shown + i, pixels + i, BLOCK);
            left = MIN(left, x);
            right = MAX(right, x + BLOCK);
            top = MIN(top, y);
            bottom = y + 1;
        }
    palette_changed = FALSE;
    if (top < bottom)
        web_show(rgba, left, top, right, bottom);
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
