// Stages a scene in the real game on a private X server (walls, a sand
// heap, a pool of water, fire under a roof) and saves the window as a
// binary PPM: veldrath_scene OUTPUT.ppm

#include <X11/keysym.h>

#include <cstdio>
#include <exception>

#include "driver.h"

namespace
{

// Sets the size with its key, then paints along the points.
void paint(game &g, KeySym size, const std::vector<std::pair<int, int>> &points)
{
    g.tap(size);
    g.stroke(points);
}

void stage(game &g)
{
    // A basin on the floor split by a low wall, a slanted shelf and a roof.
    g.tap(XK_KP_1);
    paint(g, XK_4, {{40, 380}, {40, 590}, {560, 590}, {560, 380}});
    paint(g, XK_3, {{300, 590}, {300, 470}});
    paint(g, XK_3, {{120, 200}, {260, 260}});
    paint(g, XK_3, {{380, 120}, {520, 120}, {520, 230}});
    // Water into the right half of the basin, sand onto the shelf and into
    // the left half.
    g.tap(XK_KP_3);
    paint(g, XK_6, {{430, 360}, {470, 360}, {430, 330}});
    g.tap(XK_KP_2);
    paint(g, XK_5, {{170, 120}, {180, 150}});
    paint(g, XK_5, {{150, 330}, {200, 330}});
    // Fire under the roof; it has no key.
    g.click(700, 50);
    paint(g, XK_4, {{450, 260}});
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s OUTPUT.ppm\n", argv[0]);
        return 2;
    }
    try
    {
        x_server server;
        game g(server);
        stage(g);
        g.move(300, 30);
        wait_frames(400); // about ten seconds: sand falls 25 rows a second
        g.move(700, 590);
        wait_frames(3);
        return g.save(argv[1]) ? 0 : 1;
    }
    catch (const std::exception &e)
    {
        std::fprintf(stderr, "veldrath_scene: %s\n", e.what());
        return 1;
    }
}
