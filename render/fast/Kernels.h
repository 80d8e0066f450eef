#pragma once
// The kernels of the fast code, one row per render path (RenderPath.cpp
// holds the table and picks the row once): a new instruction set is one
// row and the kernels' files. Every kernel gives the bytes of the plain code.
#include <cstdint>

#include "base/SharedTypes.h"
#include "render/fast/FastStep.h"

// Steps samples begin .. end - 1 (at most kStepBlock of them).
typedef void (*StepBlockFunction)(const StepConstants& k, PlanePoint* z, const PlanePoint* c,
                                  int32_t begin, int32_t end, StepOutput& out);

// Where an estimate kernel takes its points and leaves its results. take
// gives the next point to estimate and a ticket for it, or false when none
// is ready now; give hands back the estimate of a ticket's point, and may
// make more points ready (the next step of a snap's walk). The kernel keeps
// taking while it has room, so its lanes stay busy; it returns when take
// fails and no estimate is under way.
struct EstimateFeed {
    bool (*take)(void* context, PlanePoint& point, int32_t& ticket);
    void (*give)(void* context, int32_t ticket, double estimate);
    void* context;
};

// Runs the feed's estimates at the given Iterations, each the plain
// estimate's result bit for bit.
typedef void (*EstimateFeedFunction)(const EstimateFeed& feed, int32_t iterations);

struct Kernels {
    StepBlockFunction stepBlock;
    EstimateFeedFunction estimateFeed;
};

// The kernels of the current path; the reference path's row holds the SSE2
// kernels, for the fast code run on it.
const Kernels& CurrentKernels();

// Two samples per vector (plain code where there is no SSE2).
void StepBlockSse2(const StepConstants& k, PlanePoint* z, const PlanePoint* c, int32_t begin,
                   int32_t end, StepOutput& out);
// One orbit after the other (FastEstimate.cpp).
void EstimateFeedScalar(const EstimateFeed& feed, int32_t iterations);
// Four or eight orbits side by side; built for AVX2.
void EstimateFeedAvx2(const EstimateFeed& feed, int32_t iterations);
