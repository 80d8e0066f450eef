#pragma once
// Fast seeding and reseeding: every draw made first, in sample order, by the
// calling thread; then the snaps, which draw nothing, shared out.
#include <cstdint>

#include "app/SharedTypes.h"

// Reseeds samples indices[0 .. count - 1] (ascending) as the plain pass
// does one by one: position, snap when borderOnly (BorderOnly, read once by
// the pass), constant. Without snaps no helper thread is used.
void ReseedSamples(SampleSet& samples, const int32_t* indices, int32_t count, bool borderOnly,
                   int32_t threads);

// Seeds every sample of a run's arrays (the loop of SeedSamples). False
// when a stop arrived: the samples seeded so far are kept, the rest are
// untouched and the generator stands after the last sample kept.
bool SeedPositionsFast();

// The distance estimate and the snap, with the same results as the plain
// ones: an orbit whose state (z and d, bit for bit) repeats skips its
// remaining whole cycles, and the walk's first step reuses the first estimate.
double DistanceEstimateFast(PlanePoint p, int32_t iterations);
// The estimates of points[0 .. count - 1] on the current path, side by side
// in vector lanes where the path has them.
void EstimateBatch(const PlanePoint* points, double* results, int32_t count, int32_t iterations);
void SnapToBorderFast(PlanePoint& p);
