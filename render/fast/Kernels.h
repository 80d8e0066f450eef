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
// The distance estimates of points[0 .. count - 1] at Iterations iterations.
typedef void (*EstimateBatchFunction)(const PlanePoint* points, double* results, int32_t count,
                                      int32_t iterations);

struct Kernels {
    StepBlockFunction stepBlock;
    EstimateBatchFunction estimateBatch;
};

// The kernels of the current path; the reference path's row holds the SSE2
// kernels, for the fast code run on it.
const Kernels& CurrentKernels();

// Two samples per vector (plain code where there is no SSE2).
void StepBlockSse2(const StepConstants& k, PlanePoint* z, const PlanePoint* c, int32_t begin,
                   int32_t end, StepOutput& out);
// Four samples per vector; built for AVX2, called only where the processor has it.
void StepBlockAvx2(const StepConstants& k, PlanePoint* z, const PlanePoint* c, int32_t begin,
                   int32_t end, StepOutput& out);
// One orbit after the other (FastEstimate.cpp).
void EstimateBatchScalar(const PlanePoint* points, double* results, int32_t count, int32_t iterations);
// Four or eight orbits side by side; built for AVX2.
void EstimateBatchAvx2(const PlanePoint* points, double* results, int32_t count, int32_t iterations);
