#ifndef ORACLE_H
#define ORACLE_H

#include "particlegrid.h"

// The grid's work written the plain way: one rectangle per cell, one whole
// square per pointer step, one call per visited cell. Slow but easy to check
// by eye; the methods of `particles` must leave exactly the same state.
namespace oracle
{

void refresh_grid(particles &p);
void draw_parts(particles &p);
void draw_particle(particles &p, int type, int x, int y, int size);
void calculate_particles(particles &p);
void calculate_particle(particles &p, int x, int y);

} // namespace oracle

#endif
