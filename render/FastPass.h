#pragma once
// Fast region passes and seedings: the same bytes as the plain ones, with
// vector arithmetic chosen from what the processor has and the work shared
// with helper threads. The plain code stays as the reference path.
#include <cstdint>

enum RenderPath : int32_t {
    renderPathReference,  // the plain passes and seeding, one thread
    renderPathSse2,       // two samples per vector (every x86 build)
    renderPathAvx2,       // four samples per vector
    renderPathCount
};

bool RenderPathAvailable(RenderPath path);
RenderPath BestRenderPath();
const char* RenderPathName(RenderPath path);  // "reference", "sse2", "avx2"
bool RenderPathFromName(const char* name, RenderPath& path);

// The path the worker takes; the best available one unless set.
void SetRenderPath(RenderPath path);
RenderPath CurrentRenderPath();
// Threads that share a pass or a seeding, the worker included; at least 1.
// All logical processors unless set.
void SetRenderThreads(int32_t count);
int32_t RenderThreads();

// One region-mode pass on the current path; the caller holds arraysLock.
void RegionPassOnPath();
// The fast region pass on the current vector path (SSE2 when the reference
// is chosen).
void FastRegionPass();
