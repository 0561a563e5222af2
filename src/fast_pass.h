#ifndef FAST_PASS_H
#define FAST_PASS_H

// The simulation pass made fast (fast_pass.cpp): it picks which cells to
// visit and makes the moves that the rules (rules.h) would make first
// anyway; every other move is the rules' own.

#include "particlegrid.h"

// The cells of one pass, visited as the rules visit them, leaving the
// counter and the sweep flags as they were.
void run_fast_pass(particles &p);

#endif
