#pragma once
// The grey outline of the set and the pane divider in the view image.
#include <cstdint>

#include "base/SharedTypes.h"

bool QuickInside(float re, float im);
// Draws the outline and the pane divider into the view image, over what it
// holds (ClearImages zeroes it first).
void TraceOutline();

// What one outline walk did, for checks of the walk itself.
struct OutlineWalk {
    int32_t searchDecrements;  // rejected points on the search line
    int32_t steps;             // walk steps, each drawing one point and its mirror
    PlanePoint start;          // P before the first step (not drawn)
    PlanePoint startOutside;   // Q before the first step
    PlanePoint firstDrawn;
    PlanePoint lastDrawn;
    PlanePoint lowest;     // drawn point of least imaginary part
    float leastRe;         // extent of the drawn points in real parts
    float greatestRe;
};
// Runs the search and the walk without drawing. False when a guard bound
// stopped it before the walk reached the real axis.
bool WalkOutline(OutlineWalk& walk);
