#ifndef EXPECTED_KINDS_H
#define EXPECTED_KINDS_H

#include "particlegrid.h"

// The label, colour and density of each kind the game names, written out
// apart from the element table so that a change to their rows shows in the
// tests; in the order of the kinds' codes. Other tests follow the table
// itself, so that they cover any kind added to it.
struct expected_kind
{
    const char *label;
    int r, g, b;
    float density;
};

const expected_kind expected_kinds[] = {
    {"Empty", 0, 0, 0, 0.0f},   {"Wall", 90, 90, 90, 500.0f}, {"Sand", 255, 210, 128, 2.0f},
    {"Water", 0, 0, 255, 1.0f}, {"Fire", 255, 0, 0, -5.0f},
};
const int expected_kind_count = sizeof expected_kinds / sizeof expected_kinds[0];
static_assert(expected_kind_count <= element_count, "the named kinds are in the element table");

#endif
