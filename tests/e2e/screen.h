#ifndef E2E_SCREEN_H
#define E2E_SCREEN_H

#include <cstddef>
#include <vector>

#include "particlegrid.h"

// What a pixel shows, named by the colour the game asked for: a kind's
// colour, as the kind's code, or one of the panel's own colours, numbered
// after the kinds. The window has 8 bits per pixel with the library's
// default palette, so each shows as the nearest palette entry; `classify`
// maps a screen pixel back to the colour it stands for. EMPTY's black is
// also the (1, 1, 1) of text and the plain labels' background.
using shade = int;
const shade black = EMPTY;
const shade panel_grey = element_count;
const shade white = element_count + 1;
const shade yellow = element_count + 2;
const shade unknown = -1;

shade classify(int r, int g, int b);

// The 800 x 600 window, one shade per pixel.
struct screen_image
{
    int width = 0;
    int height = 0;
    std::vector<shade> pixels;

    shade at(int x, int y) const
    {
        return pixels[y * width + x];
    }
};

// The 300 x 300 cells of the play area, each 2 x 2 pixels; a cell whose four
// pixels differ reads as unknown.
struct cell_image
{
    static const int size = grid_size;
    std::vector<shade> cells = std::vector<shade>(static_cast<std::size_t>(size) * size, unknown);

    shade at(int x, int y) const
    {
        return cells[x * size + y];
    }
    bool operator==(const cell_image &other) const
    {
        return cells == other.cells;
    }
};

cell_image read_cells(const screen_image &image);
int count(const cell_image &image, shade kind);

// The panel as a user reads it: a label for each kind, indexed by its code,
// in rows from the top.
int label_top(int label);
// True when the label shows as text on a plain white or black box.
bool label_drawn(const screen_image &image, int label);
// The label drawn dark on white, or -1 when none or several are.
int highlighted_label(const screen_image &image);
// The brush size the yellow marker points at, or -1 when there is no marker
// of the expected shape.
int marker_size(const screen_image &image);
// Both white end lines of the size slider.
bool slider_ends_drawn(const screen_image &image);

#endif
