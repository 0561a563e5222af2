#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "allegro_fixture.h"
#include "shell.h"

namespace
{

struct shell : testing::Test
{
    void SetUp() override
    {
        start_allegro_headless();
        interface = create_bitmap(200, 600);
        screen = create_bitmap(800, 600);
        currentelement = WALL;
        size = 5;
        place_pointer(300, 300, false);
        std::memset(const_cast<char *>(key), 0, KEY_MAX);
    }
    void TearDown() override
    {
        destroy_bitmap(interface);
        destroy_bitmap(screen);
        screen = nullptr;
    }
    static void place_pointer(int x, int y, bool pressed)
    {
        mouse_x = x;
        mouse_y = y;
        mouse_b = pressed ? 1 : 0;
    }
    // A label's text box is mostly background: white for the highlighted
    // label, black for the others.
    static bool highlighted(int element)
    {
        int white = 0, black = 0;
        int y = 5 + 10 * element,
            width = 8 * static_cast<int>(std::strlen(elements[element].label));
        for (int py = y; py < y + 8; py++)
            for (int px = 20; px < 20 + width; px++)
            {
                int c = getpixel(interface, px, py);
                white += c == makecol(255, 255, 255);
                black += c == makecol(0, 0, 0);
            }
        EXPECT_EQ(white + black, 8 * width);
        return white > black;
    }
    static bool yellow(int x, int y)
    {
        return getpixel(interface, x, y) == makecol(255, 255, 0);
    }
    grid parts;
};

TEST_F(shell, the_panel_highlights_exactly_the_selected_label)
{
    for (int selected = -1; selected <= element_count; selected++)
    {
        currentelement = selected;
        display_interface();
        for (int e = 0; e < element_count; e++)
            EXPECT_EQ(highlighted(e), e == selected) << "selected " << selected << " label " << e;
    }
}

TEST_F(shell, the_size_marker_points_at_the_size)
{
    for (int s : {1, 2, 5, 27, 50})
    {
        size = s;
        display_interface();
        int tip = 10 * s + 22;
        EXPECT_TRUE(yellow(1, tip)) << s;
        EXPECT_FALSE(yellow(0, tip)) << s;
        EXPECT_TRUE(yellow(15, 10 * s + 15)) << s;
        EXPECT_TRUE(yellow(15, 10 * s + 30) || 10 * s + 30 == 40) << s;
        EXPECT_FALSE(yellow(15, 10 * s + 14)) << s;
        EXPECT_FALSE(yellow(15, 10 * s + 31)) << s;
        EXPECT_FALSE(yellow(16, 10 * s + 22)) << s;
    }
}

TEST_F(shell, the_slider_ends_are_white_lines_over_grey)
{
    size = 25;
    display_interface();
    int white = makecol(255, 255, 255), grey = makecol(200, 200, 200);
    for (int x = 1; x <= 15; x++)
    {
        EXPECT_EQ(getpixel(interface, x, 40), white) << x;
        EXPECT_EQ(getpixel(interface, x, 521), white) << x;
    }
    EXPECT_EQ(getpixel(interface, 0, 40), grey);
    EXPECT_EQ(getpixel(interface, 16, 521), grey);
    EXPECT_EQ(getpixel(interface, 100, 300), grey);
    EXPECT_EQ(getpixel(interface, 8, 41), grey);
}

struct click_case
{
    int x, y;
    int element; // expected currentelement (start: none, -1)
    int size;    // expected size (start: 5)
};

TEST_F(shell, clicks_map_to_label_bands_and_the_slider)
{
    std::vector<click_case> cases = {
        // Slider strip: size (y - 21) / 10, clamped to 2..50.
        {610, 300, -1, 27}, {605, 0, -1, 2},  {605, 599, -1, 50}, {620, 100, -1, 7},
        {601, 40, -1, 2},   {601, 41, -1, 2}, {601, 51, -1, 3},   {601, 520, -1, 49},
        {601, 521, -1, 50}, {620, 10, -1, 2}, {700, 599, -1, 5},
    };
    // Each kind's band runs from one row below its label's top to two rows
    // below its bottom; the label column's other rows select nothing.
    for (int e = 0; e <= element_count; e++)
    {
        int top = 5 + 10 * e, selects = e < element_count ? e : -1;
        cases.insert(cases.end(), {{700, top, -1, 5},
                                   {621, top + 1, selects, 5},
                                   {799, top + 5, selects, 5},
                                   {700, top + 9, selects, 5}});
    }
    for (const click_case &c : cases)
    {
        currentelement = -1;
        size = 5;
        handle_interface_click(c.x, c.y);
        EXPECT_EQ(currentelement, c.element) << "click " << c.x << "," << c.y;
        EXPECT_EQ(size, c.size) << "click " << c.x << "," << c.y;
    }
}

TEST_F(shell, a_frame_paints_before_the_pass_so_new_grains_fall_at_once)
{
    currentelement = SAND;
    parts->previous_xmouse = 300;
    parts->previous_ymouse = 100;
    place_pointer(300, 100, true);
    run_frame(*parts);
    // The stamp covers cells 148..151 x 48..51; the first pass moves the odd
    // columns one row down.
    for (int x = 148; x <= 151; x++)
    {
        int top = x % 2 == 1 ? 49 : 48;
        for (int y = 40; y < 60; y++)
            EXPECT_EQ(parts->particles[x][y], y >= top && y < top + 4 ? SAND : EMPTY)
                << x << "," << y;
    }
    EXPECT_EQ(count_kind(*parts, SAND), 16);
    // Rendered, flags cleared, both bitmaps on screen.
    EXPECT_EQ(getpixel(parts->sand, 2 * 149, 2 * 52), makecol(255, 210, 128));
    EXPECT_EQ(getpixel(screen, 2 * 149 + 1, 2 * 52 + 1), makecol(255, 210, 128));
    EXPECT_EQ(getpixel(screen, 2 * 149, 2 * 48), makecol(0, 0, 0));
    EXPECT_FALSE(parts->particlemoved[149][52]);
    EXPECT_EQ(getpixel(screen, 700, 300), getpixel(interface, 100, 300));
}

// Wherever the pointer is, the frame remembers it for the next stroke.
TEST_F(shell, the_grid_runs_only_with_the_pointer_over_the_play_area)
{
    const struct
    {
        int x;
        bool runs;
    } cases[] = {{0, true}, {599, true}, {600, false}, {601, false}, {799, false}};
    for (const auto &c : cases)
    {
        grid fresh;
        fresh->particles[151][0] = SAND;
        place_pointer(c.x, 123, false);
        run_frame(*fresh);
        EXPECT_EQ(fresh->particles[151][1] == SAND, c.runs) << c.x;
        EXPECT_EQ(fresh->skiplevel, c.runs) << c.x;
        EXPECT_EQ(fresh->previous_xmouse, c.x);
        EXPECT_EQ(fresh->previous_ymouse, 123);
    }
}

TEST_F(shell, a_pointer_exactly_on_the_border_does_nothing)
{
    int sentinel = makecol(0, 255, 0);
    clear_to_color(interface, sentinel);
    parts->previous_xmouse = 600;
    parts->previous_ymouse = 100;
    place_pointer(600, 10, true);
    run_frame(*parts);
    EXPECT_EQ(count_kind(*parts, EMPTY), 300 * 300);
    EXPECT_EQ(getpixel(interface, 100, 300), sentinel);
    EXPECT_EQ(currentelement, WALL);
    EXPECT_EQ(size, 5);
}

TEST_F(shell, a_panel_click_shows_on_the_next_frame_over_the_panel)
{
    place_pointer(700, 50, true);
    run_frame(*parts);
    EXPECT_EQ(currentelement, FIRE);
    EXPECT_TRUE(highlighted(WALL));
    EXPECT_EQ(count_kind(*parts, EMPTY), 300 * 300);
    place_pointer(700, 300, false);
    run_frame(*parts);
    EXPECT_TRUE(highlighted(FIRE));
    EXPECT_FALSE(highlighted(WALL));
}

TEST_F(shell, keys_set_element_or_size_and_redraw_the_panel_at_once)
{
    const struct
    {
        int scancode, element, size;
    } cases[] = {
        {KEY_0_PAD, EMPTY, 27}, {KEY_1_PAD, WALL, 27}, {KEY_2_PAD, SAND, 27},
        {KEY_3_PAD, WATER, 27}, {KEY_1, WALL, 1},      {KEY_2, WALL, 2},
        {KEY_3, WALL, 5},       {KEY_4, WALL, 10},     {KEY_5, WALL, 15},
        {KEY_6, WALL, 25},      {KEY_7, WALL, 50},
    };
    for (const auto &c : cases)
    {
        currentelement = WALL;
        size = 27;
        clear_to_color(interface, 0);
        key[c.scancode] = 1;
        run_frame(*parts); // over the play area only the key redraws the panel
        key[c.scancode] = 0;
        EXPECT_EQ(currentelement, c.element) << c.scancode;
        EXPECT_EQ(size, c.size) << c.scancode;
        EXPECT_TRUE(highlighted(c.element)) << c.scancode;
        EXPECT_TRUE(yellow(1, 10 * size + 22)) << c.scancode;
    }
}

TEST_F(shell, with_several_keys_held_the_last_tested_wins)
{
    key[KEY_1] = key[KEY_7] = key[KEY_3] = 1;
    key[KEY_3_PAD] = key[KEY_0_PAD] = 1;
    run_frame(*parts);
    EXPECT_EQ(size, 50);
    EXPECT_EQ(currentelement, WATER);
}

TEST_F(shell, size_one_from_the_keyboard_paints_nothing)
{
    key[KEY_1] = 1;
    run_frame(*parts);
    key[KEY_1] = 0;
    parts->previous_xmouse = 300;
    parts->previous_ymouse = 300;
    place_pointer(300, 300, true);
    run_frame(*parts);
    EXPECT_EQ(count_kind(*parts, EMPTY), 300 * 300);
}

} // namespace
