#ifndef EXPECTED_KINDS_H
#define EXPECTED_KINDS_H

#include "particlegrid.h"

// The colour and density each kind must have, written out apart from the
// game's element table so that a change to the table shows in the tests.
// The one copy for all of them, in the order of the kinds' codes.
struct expected_kind
{
    int r, g, b;
    float density;
};

const expected_kind expected_kinds[] = {
    {0, 0, 0, 0.0f},       // empty
    {90, 90, 90, 500.0f},  // wall
    {255, 210, 128, 2.0f}, // sand
    {0, 0, 255, 1.0f},     // water
    {255, 0, 0, -5.0f},    // fire
};
const int expected_kind_count = sizeof expected_kinds / sizeof expected_kinds[0];
static_assert(expected_kind_count == element_count, "a row for every kind of the element table");

#endif
