#ifndef FAST_RENDER_H
#define FAST_RENDER_H

#include "particlegrid.h"

// Fills the play-area bitmap with the grid's colours, two by two pixels per
// cell; fast_render.cpp says how.
void render_grid(const particles &p);

#endif
