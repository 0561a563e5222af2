#ifndef PARTICLEGRID_H
#define PARTICLEGRID_H

#include <allegro.h>

// Element kinds stored in every cell; the code also indexes `densities`.
const int EMPTY = 0;
const int WALL = 1;
const int SAND = 2;
const int WATER = 3;
const int FIRE = 4;

// The whole sandbox: a 300 x 300 grid indexed [x][y] (column-major, so the
// cell below (x, y) directly follows it in memory), rendered two pixels per
// cell into `sand`.
class particles
{
  public:
    int particles[300][300];
    bool particlemoved[300][300];
    BITMAP *sand;
    float densities[5];
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
