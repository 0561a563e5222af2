/* The browser's graphics driver: an 8-bit screen in memory, drawn by
 * Allegro's own code, shown on the page's canvas at each rest(). The
 * conversion through the palette gives the colours the X11 port shows on a
 * true-colour display. The pointer is the browser's own: the driver takes
 * Allegro's mouse cursor as a hardware one and draws nothing.
 */
#include <stdint.h>
#include <stdlib.h>

#include "web.h"

static unsigned char *pixels;
static uint32_t *rgba;
static uint32_t palette[PAL_SIZE]; /* RGBA, as the canvas takes it */

static BITMAP *gfx_init(int w, int h, int v_w, int v_h, int color_depth)
{
   BITMAP *bmp;
   if (color_depth != 8) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("Unsupported color depth"));
      return NULL;
   }
   if ((v_w != 0 && v_w != w) || (v_h != 0 && v_h != h)) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("Virtual screen not supported"));
      return NULL;
   }
   if (!web_open_canvas(w, h)) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("the page has no canvas"));
      return NULL;
   }
   pixels = calloc((size_t)w * h, 1);
   rgba = calloc((size_t)w * h, sizeof *rgba);
   bmp = pixels && rgba ? _make_bitmap(w, h, (uintptr_t)pixels, &gfx_web, 8, w) : NULL;
   if (!bmp) {
      free(pixels);
      free(rgba);
      pixels = NULL;
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
   free(pixels);
   free(rgba);
   pixels = NULL;
   rgba = NULL;
}

/* 6-bit components widened as the X11 port widens them. */
static uint32_t widen(unsigned char c) { return (c << 2) | ((c & 0x30) >> 4); }

static void gfx_set_palette(AL_CONST RGB *p, int from, int to, int retracesync)
{
   int i;
   (void)retracesync;
   for (i = from; i <= to; i++)
      palette[i] = widen(p[i].r) | widen(p[i].g) << 8 | widen(p[i].b) << 16 | 0xFF000000u;
}

void web_show_screen(double woke)
{
   size_t i, n;
   if (!pixels)
      return;
   n = (size_t)gfx_web.w * gfx_web.h;
   for (i = 0; i < n; i++)
      rgba[i] = palette[pixels[i]];
   web_show(rgba, woke);
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
   GFX_WEB, empty_string, empty_string, "Browser canvas",
   gfx_init, gfx_exit,
   NULL, /* scroll */
   NULL, /* vsync */
   gfx_set_palette,
   NULL, NULL, NULL, /* request_scroll, poll_scroll, enable_triple_buffer */
   NULL, NULL, NULL, NULL, /* video bitmaps */
   NULL, NULL, /* system bitmaps */
   gfx_set_mouse_sprite, gfx_show_mouse, gfx_hide_mouse, gfx_move_mouse,
   NULL, NULL, NULL, NULL, NULL, /* drawing_mode, save/restore_video_state, set_blender_mode, fetch_mode_list */
   0, 0,  /* w, h */
   TRUE,  /* linear */
   0, 0, 0, 0,
   TRUE,  /* windowed */
};
