#include <cstdio>

#include "particlegrid.h"

BITMAP *interface;
int size;
int currentelement;

namespace
{

const int play_width = 600;
const int panel_width = 200;
const int window_height = 600;

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

int label_y(int element)
{
    return 5 + 10 * element;
}

} // namespace

void display_interface()
{
    int white = makecol(255, 255, 255);
    clear_to_color(interface, makecol(200, 200, 200));
    for (int e = 0; e < element_count; e++)
        textout_ex(interface, font, elements[e].label, 20, label_y(e), white, makecol(0, 0, 0));
    if (currentelement >= 0 && currentelement < element_count)
        textout_ex(interface, font, elements[currentelement].label, 20, label_y(currentelement),
                   makecol(1, 1, 1), white);
    triangle(interface, 1, 10 * size + 22, 15, 10 * size + 15, 15, 10 * size + 30,
             makecol(255, 255, 0));
    line(interface, 1, 40, 15, 40, white);
    line(interface, 1, 521, 15, 521, white);
}

void handle_interface_click(int x, int y)
{
    if (x <= 620)
    {
        // Pull the pointer onto the strip so a drag keeps adjusting the size.
        position_mouse(610, mouse_y);
        size = (y - 21) / 10;
        if (size <= 1)
            size = 2;
        if (size >= 50)
            size = 50;
        return;
    }
    // Each band starts one row below its label's top and ends two rows below
    // its bottom.
    for (int e = 0; e < element_count; e++)
        if (y >= label_y(e) + 1 && y <= label_y(e) + 9)
            currentelement = e;
}

// One frame of the loop, everything but the pause. Each test reads the
// pointer afresh, as the library updates it on its own.
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

#ifndef VELDRATH_NO_ENTRY_POINT

namespace
{

// Start-up failures end the program with one line naming the step. The
// library leaves its error text empty when no system driver (no display)
// can be found.
int fail(const char *step, const char *reason = allegro_error)
{
    if (reason[0] == '\0')
        reason = "no display or system driver available";
    std::fprintf(stderr, "veldrath: cannot %s: %s\n", step, reason);
    return 1;
}

} // namespace

int main()
{
    // Two full grids: too large for the stack.
    static particles parts;

    if (allegro_init() != 0)
        return fail("initialise the library");
    if (install_keyboard() != 0)
        return fail("install the keyboard");
    if (install_mouse() < 0)
        return fail("install the mouse");
    currentelement = WALL;
    size = 5;
    set_color_depth(8);
    if (set_gfx_mode(GFX_AUTODETECT_WINDOWED, play_width + panel_width, window_height, 0, 0) != 0)
        return fail("open the 800x600 window");
    if (install_timer() != 0)
        return fail("install the timer");
    show_mouse(screen);
    set_window_title("Veldrath");

    parts.sand = create_bitmap(play_width, window_height);
    if (!parts.sand)
        return fail("create the play-area bitmap", "out of memory");
    clear_to_color(parts.sand, makecol(0, 0, 0));
    parts.init_particle_grids();
    interface = create_bitmap(panel_width, window_height);
    if (!interface)
        return fail("create the panel bitmap", "out of memory");
    clear_to_color(interface, makecol(200, 200, 200));
    display_interface();

    parts.previous_xmouse = mouse_x;
    parts.previous_ymouse = mouse_y;
    while (!key[KEY_ESC])
    {
        run_frame(parts);
        rest(20);
    }
    return 0;
}
END_OF_MAIN()

#endif
