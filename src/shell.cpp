// The shell: the control panel, the keys and one frame of the loop, on the
// globals that hold the selection and the brush size.

#include "shell.h"

BITMAP *interface;
int size;
int currentelement;

namespace
{

// The panel's layout, in panel pixels (screen x less `play_width`); the
// drawing and the clicks both measure against it.
//
// Labels: one 8-pixel text row per kind, from the top. A click selects a kind
// from one row below its label's top to two rows below its bottom.
const int label_x = 20;
const int band_from = 1, band_to = 9;

int label_top(int kind)
{
    return 5 + 10 * kind;
}

// The size slider at the panel's left edge: the marker moves between two
// white end lines. Clicks on the strip set the size and pull the pointer
// onto it, so that a drag keeps adjusting the size.
const int slider_left = 1, slider_right = 15;
const int slider_top = 40, slider_bottom = 521;
const int slider_strip_right = 20;
const int slider_pointer_x = 10;
const int size_step = 10;
const int smallest_size = 2, largest_size = 50;

// The marker's tip points left; its upright side runs from 7 rows above
// the tip to 8 below.
int marker_tip(int brush)
{
    return size_step * brush + 22;
}

// The size whose tip lies at most one row below and eight rows above y,
// before clamping.
int size_at(int y)
{
    return (y - marker_tip(0) + 1) / size_step;
}

// Keys act every frame they are held; later rows win over earlier ones.
struct key_binding
{
    int scancode;
    int *setting;
    int value;
};

const key_binding key_bindings[] = {
    {KEY_0_PAD, &currentelement, EMPTY},
    {KEY_1_PAD, &currentelement, WALL},
    {KEY_2_PAD, &currentelement, SAND},
    {KEY_3_PAD, &currentelement, WATER},
    {KEY_1, &size, 1},
    {KEY_2, &size, 2},
    {KEY_3, &size, 5},
    {KEY_4, &size, 10},
    {KEY_5, &size, 15},
    {KEY_6, &size, 25},
    {KEY_7, &size, 50},
};

} // namespace

void display_interface()
{
    int white = makecol(255, 255, 255);
    clear_to_color(interface, makecol(200, 200, 200));
    for (int e = 0; e < element_count; e++)
        textout_ex(interface, font, elements[e].label, label_x, label_top(e), white,
                   makecol(0, 0, 0));
    if (currentelement >= 0 && currentelement < element_count)
        textout_ex(interface, font, elements[currentelement].label, label_x,
                   label_top(currentelement), makecol(1, 1, 1), white);
    int tip = marker_tip(size);
    triangle(interface, slider_left, tip, slider_right, tip - 7, slider_right, tip + 8,
             makecol(255, 255, 0));
    line(interface, slider_left, slider_top, slider_right, slider_top, white);
    line(interface, slider_left, slider_bottom, slider_right, slider_bottom, white);
}

void handle_interface_click(int x, int y)
{
    if (x - play_width <= slider_strip_right)
    {
        position_mouse(play_width + slider_pointer_x, mouse_y);
        size = size_at(y);
        if (size < smallest_size)
            size = smallest_size;
        if (size > largest_size)
            size = largest_size;
        return;
    }
    for (int e = 0; e < element_count; e++)
        if (y >= label_top(e) + band_from && y <= label_top(e) + band_to)
            currentelement = e;
}

// Each test reads the pointer afresh, as the library updates it on its own.
void run_frame(particles &parts)
{
    if ((mouse_b & 1) && mouse_x < play_width)
        parts.draw_particle(currentelement, mouse_x, mouse_y, size);
    parts.previous_xmouse = mouse_x;
    parts.previous_ymouse = mouse_y;
    for (const key_binding &binding : key_bindings)
        if (key[binding.scancode])
        {
            *binding.setting = binding.value;
            display_interface();
        }
    if (mouse_x > play_width)
        display_interface();
    if ((mouse_b & 1) && mouse_x > play_width)
        handle_interface_click(mouse_x, mouse_y);
    if (mouse_x < play_width)
    {
        parts.calculate_particles();
        parts.draw_parts();
        parts.refresh_grid();
    }
    blit(parts.sand, screen, 0, 0, 0, 0, play_width, window_height);
    blit(interface, screen, 0, 0, play_width, 0, panel_width, window_height);
}
