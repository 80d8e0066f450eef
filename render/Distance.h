#pragma once
// Signed distance estimate from the border of the Mandelbrot set, and the
// vertical walk that pulls a point onto that border.
#include <cstdint>

#include "base/SharedTypes.h"

double DistanceEstimate(PlanePoint p);
void SnapToBorder(PlanePoint& p);

// What one snap did, for checks of the walk itself.
struct SnapTrace {
    int32_t steps;              // steps applied; 0 when the point was left alone
    int32_t firstInfiniteStep;  // the step that made p.im infinite, 0 if none
    double smallestStep;        // smallest |step| applied; 0 when none was
};
// SnapToBorder, recording its walk into trace.
void SnapToBorderTraced(PlanePoint& p, SnapTrace& trace);
