#include "screen.h"

#include "allegro_fixture.h"
#include "shell.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{

struct rgb
{
    int r, g, b;
};

// The colour the game asks for to draw each shade: the kinds' colours from
// the element table, then the panel's grey, white and the size marker's
// yellow. When two show as the same palette entry, the first is read.
const int shade_count = yellow + 1;

rgb requested(shade s)
{
    const rgb panel_colours[] = {{200, 200, 200}, {255, 255, 255}, {255, 255, 0}};
    if (s < element_count)
        return {elements[s].r, elements[s].g, elements[s].b};
    return panel_colours[s - element_count];
}

// The palette entry `makecol` picks for each requested colour, as 8-bit RGB.
const rgb *shown_colours()
{
    static rgb shown[shade_count];
    static bool ready = false;
    if (ready)
        return shown;
    start_allegro_headless();
    for (shade s = 0; s < shade_count; s++)
    {
        rgb asked = requested(s);
        const RGB &entry = default_palette[makecol(asked.r, asked.g, asked.b)];
        shown[s] = {entry.r * 255 / 63, entry.g * 255 / 63, entry.b * 255 / 63};
    }
    ready = true;
    return shown;
}

const int panel_left = play_width;

// Pixels of the label's 8-pixel-high text box that show `colour`.
int label_pixels(const screen_image &image, int label, shade colour)
{
    int n = 0;
    int left = panel_left + 20;
    int right = left + 8 * static_cast<int>(std::strlen(elements[label].label));
    for (int y = label_top(label); y < label_top(label) + 8; y++)
        for (int x = left; x < right; x++)
            n += image.at(x, y) == colour;
    return n;
}

} // namespace

int label_top(int label)
{
    return 5 + 10 * label;
}

// Palette entries sit at most a few steps apart from what is on screen after
// the server's 6-to-8-bit widening; anything further off is not the game's.
shade classify(int r, int g, int b)
{
    const rgb *shown = shown_colours();
    for (shade s = 0; s < shade_count; s++)
        if (std::abs(shown[s].r - r) <= 4 && std::abs(shown[s].g - g) <= 4 &&
            std::abs(shown[s].b - b) <= 4)
            return s;
    return unknown;
}

cell_image read_cells(const screen_image &image)
{
    cell_image cells;
    for (int x = 0; x < cell_image::size; x++)
        for (int y = 0; y < cell_image::size; y++)
        {
            shade s = image.at(2 * x, 2 * y);
            bool uniform = image.at(2 * x + 1, 2 * y) == s && image.at(2 * x, 2 * y + 1) == s &&
                           image.at(2 * x + 1, 2 * y + 1) == s;
            cells.cells[x * cell_image::size + y] = uniform ? s : unknown;
        }
    return cells;
}

int count(const cell_image &image, shade kind)
{
    int n = 0;
    for (shade s : image.cells)
        n += s == kind;
    return n;
}

bool label_drawn(const screen_image &image, int label)
{
    int on_white = label_pixels(image, label, white);
    int on_black = label_pixels(image, label, black);
    int box = 8 * 8 * static_cast<int>(std::strlen(elements[label].label));
    return on_white > 0 && on_black > 0 && on_white + on_black == box;
}

int highlighted_label(const screen_image &image)
{
    int found = -1;
    for (int label = 0; label < element_count; label++)
        if (label_pixels(image, label, white) > label_pixels(image, label, black))
        {
            if (found >= 0)
                return -1;
            found = label;
        }
    return found;
}

// The marker for size s is a triangle whose upright side at panel x 15 runs
// from y 10s + 15 to 10s + 30 and whose tip is at (1, 10s + 22).
int marker_size(const screen_image &image)
{
    int top = -1;
    int bottom = -1;
    int left = image.width;
    for (int y = 0; y < image.height; y++)
        for (int x = panel_left; x < panel_left + 20; x++)
            if (image.at(x, y) == yellow)
            {
                if (top < 0)
                    top = y;
                bottom = y;
                left = std::min(left, x);
            }
    if (top < 0 || (top - 15) % 10 != 0)
        return -1;
    int brush = (top - 15) / 10;
    // The end line at y 40 is drawn over the bottom row of size 1's marker.
    int last_row = 10 * brush + 30 == 40 ? 39 : 10 * brush + 30;
    bool shaped = bottom == last_row && left == panel_left + 1 &&
                  image.at(panel_left + 1, 10 * brush + 22) == yellow &&
                  image.at(panel_left + 15, top) == yellow;
    return shaped ? brush : -1;
}

bool slider_ends_drawn(const screen_image &image)
{
    for (int y : {40, 521})
        for (int x = panel_left + 1; x <= panel_left + 15; x++)
            if (image.at(x, y) != white)
                return false;
    return true;
}
