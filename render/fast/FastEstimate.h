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
    EstimateFeedFunction estimateFeed;  // the current path's kernel
};

SnapConstants ReadSnapConstants();

// An orbit whose state (z and d, bit for bit) repeats skips its remaining
// whole cycles; the result is the plain estimate's, bit for bit.
double DistanceEstimateFast(PlanePoint p, int32_t iterations);
// The estimates of points[0 .. count - 1] with the current path's kernel.
void EstimateBatch(const PlanePoint* points, double* results, int32_t count, int32_t iterations);
// The plain snap's result; the walk's first step reuses the first estimate.
void SnapToBorderFast(PlanePoint& p, const SnapConstants& k);

// Snaps points[0 .. count - 1], the walks side by side in the path's lanes
// and taken in order by threads (the caller included) as they come free.
// With done given, a stop (running cleared) starts no walk but the first,
// and done[k] is set for every point snapped; without, all are snapped.
void SnapAll(PlanePoint* points, uint8_t* done, int32_t count, const SnapConstants& k, int32_t threads);

// Snaps points[0 .. count - 1] on the helper threads while the caller goes
// on (threads > 1), as SnapAll without a stop. Any other job of the helpers
// first finishes these snaps, with the caller joining the walks left; so
// does the finish. Cancelling starts no further walk: the points are then
// not all snapped. The points must stay put until the finish.
void StartBackgroundSnaps(PlanePoint* points, int32_t count, const SnapConstants& k, int32_t threads);
// Whether background walks are still going on.
bool BackgroundSnapsBusy();
void FinishBackgroundSnaps();
void CancelBackgroundSnaps();
