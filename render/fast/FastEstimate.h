#pragma once
// The fast distance estimate and border snap, with the results of the plain
// ones, and the snaps of many points shared among vector lanes and threads.
#include <cstdint>

#include "base/SharedTypes.h"
#include "render/fast/Kernels.h"

// What a snap reads, taken once per pass or seeding chunk.
struct SnapConstants {
    int32_t iterations;      // Iterations
    float borderDistance;    // BorderDistance
    EstimateBatchFunction estimateBatch;  // the current path's kernel
};

SnapConstants ReadSnapConstants();

// An orbit whose state (z and d, bit for bit) repeats skips its remaining
// whole cycles; the result is the plain estimate's, bit for bit.
double DistanceEstimateFast(PlanePoint p, int32_t iterations);
// The plain snap's result; the walk's first step reuses the first estimate.
void SnapToBorderFast(PlanePoint& p, const SnapConstants& k);

// Snaps points[0 .. count - 1], the walks side by side in the path's lanes
// and shared among threads (the caller included) in groups. With done given,
// a stop (running cleared) skips every group not yet begun but the first
// point, and done[k] is set for every point snapped; without, all are snapped.
void SnapAll(PlanePoint* points, uint8_t* done, int32_t count, const SnapConstants& k, int32_t threads);
