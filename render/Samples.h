#pragma once
// The sample set: allocation with the colour ramp, the worker's random
// sequence, and the seeding of a run.
#include <cstdint>

#include "base/SharedTypes.h"

// Replaces the three arrays for SamplePoints entries and fills the colours
// from Brightness. Takes blocksLock. On failure shows the "Memory Error." box
// and returns false.
bool AllocSamples();
void ReleaseSamples();

// The worker's generator: state = state x 214013 + 2531011 (mod 2^32),
// value = (state >> 16) & 0x7FFF. One state per thread, starting at 1.
int32_t NextRandom();
void ResetRandom();  // back to state 1 on the calling thread (tests, renderer)
// The calling thread's generator state, to compare or to step back to.
uint32_t RandomState();
void SetRandomState(uint32_t state);
// The state draws draws after state, in as many steps as draws has bits.
uint32_t RandomStateAfter(uint32_t state, uint64_t draws);

// Moves the start point (X, Y) by (DriftX, DriftY), each sum rounded to
// float: Go and every chained continuous run.
void DriftStartPoint();
// Seeds every sample for a new run. Stops early when running is cleared and
// then returns false; the remaining samples keep their old positions.
bool SeedSamples();
// Puts sample i of samples at a fresh position around (X, Y): the jitter
// draws and the snap when BorderOnly is set. The caller sets the constant.
void SeedPosition(SampleSet& samples, int32_t i);
