#ifndef PARTICLEGRID_H
#define PARTICLEGRID_H

#include <allegro.h>

// Element kinds stored in every cell; the code indexes `elements` and
// `densities`.
const int EMPTY = 0;
const int WALL = 1;
const int SAND = 2;
const int WATER = 3;
const int FIRE = 4;

// How a kind moves. `falls`: down, then diagonally down, into any kind of
// lower density. `flows`: falls, then moves sideways into empty cells.
// `rises`: up, sideways and diagonally up, into empty cells only.
enum class motion
{
    none,
    falls,
    flows,
    rises
};

// Everything the game knows about a kind, in one place: the panel's label,
// the colour (r, g, b) it is drawn in, its density and how it moves.
struct element
{
    const char *label;
    int r, g, b;
    float density;
    motion moves;
};

inline constexpr element elements[] = {
    {"Empty", 0, 0, 0, 0.0f, motion::none},       {"Wall", 90, 90, 90, 500.0f, motion::none},
    {"Sand", 255, 210, 128, 2.0f, motion::falls}, {"Water", 0, 0, 255, 1.0f, motion::flows},
    {"Fire", 255, 0, 0, -5.0f, motion::rises},
};
inline constexpr int element_count = sizeof elements / sizeof elements[0];

// The grid is grid_size x grid_size cells, each cell_pixels x cell_pixels
// pixels on screen.
const int grid_size = 300;
const int cell_pixels = 2;

// The whole sandbox: a 300 x 300 grid indexed [x][y] (column-major, so the
// cell below (x, y) directly follows it in memory), rendered two pixels per
// cell into `sand`.
class particles
{
  public:
    int particles[grid_size][grid_size];
    bool particlemoved[grid_size][grid_size];
    BITMAP *sand;
    float densities[element_count];
    bool leftorright;
    bool alternate;
    bool skiplevel;
    int count;
    int previous_xmouse;
    int previous_ymouse;

    void init_particle_grids();
    void refresh_grid();
    void draw_parts();
    void draw_particle(int type, int x, int y, int size);
    void calculate_particles();
    void calculate_particle(int j, int i);
};

#endif
