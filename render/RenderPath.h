#pragma once
// Which path renders: the plain passes and seeding (the reference, kept to
// prove the others), or vector code chosen from what the processor has; and
// how many threads share a pass. Every path gives the same bytes.
#include <cstdint>

enum RenderPath : int32_t {
    renderPathReference,  // the plain passes and seeding, one thread
    renderPathSse2,       // two samples per vector (every x86 build)
    renderPathAvx2,       // estimates four or eight orbits per vector, steps as sse2
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
