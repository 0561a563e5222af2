#ifndef E2E_SCREEN_H
#define E2E_SCREEN_H

#include <cstddef>
#include <vector>

// The colours the game can put on screen. The window has 8 bits per pixel
// with the library's default palette, so each shows as the nearest palette
// entry; `classify` maps a screen pixel back to the colour it stands for.
// black is also the empty cell, (1, 1, 1) text and the unhighlighted labels'
// background.
enum class shade
{
    black,
    wall,
    sand,
    water,
    fire,
    panel,
    white,
    yellow,
    unknown
};

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
    static const int size = 300;
    std::vector<shade> cells =
        std::vector<shade>(static_cast<std::size_t>(size) * size, shade::unknown);

    shade at(int x, int y) const
    {
        return cells[x * size + y];
    }
    bool operator==(const cell_image &other) const
    {
        return cells == other.cells;
    }
    bool operator!=(const cell_image &other) const
    {
        return cells != other.cells;
    }
};

cell_image read_cells(const screen_image &image);
int count(const cell_image &image, shade kind);

// The panel as a user reads it. Labels are indexed 0..4 (Empty, Wall, Sand,
// Water, Fire).
const int label_count = 5;
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
