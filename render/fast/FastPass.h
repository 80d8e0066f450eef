#pragma once
// Fast region passes and seedings: the same bytes as the plain ones, with
// vector arithmetic chosen from what the processor has and the work shared
// with helper threads. The plain code stays as the reference path.
#include <cstdint>

// The fast region pass on the current vector path (SSE2 when the reference
// is chosen).
void FastRegionPass();
