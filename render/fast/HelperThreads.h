#pragma once
// Helper threads that share out the parts of one job with the calling
// thread (the render worker). Only the worker calls these.
#include <cstdint>

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
// One wait of a spin loop, kind to the other thread of the core.
inline void CpuPause() { _mm_pause(); }
#else
inline void CpuPause() {}
#endif

// Logical processors the machine reports (at least 1).
int32_t ProcessorCount();

// Which thread runs the caller: 0 for the worker, k for the k-th helper
// (1 .. the helpers of the current job). A part may use it to pick storage
// of its thread's own.
int32_t CurrentThreadSlot();

// Runs work(context, part) for part = 0 .. parts - 1, on the caller and on
// up to helpers helper threads, and returns when every part is done. The
// helpers are started on first use and kept between jobs.
// When callerFirst is given, the caller runs callerFirst(context) before it
// takes parts itself, while the helpers have begun.
void RunParts(void (*work)(void* context, int32_t part), void* context, int32_t parts,
              int32_t helpers, void (*callerFirst)(void* context) = nullptr);

// RunParts in two halves, so the caller can go on while the helpers work:
// StartParts hands the parts to the helpers (first finishing any job
// started before: one job at a time); FinishParts takes the parts still
// left on the caller and returns when every part is done. Without helpers
// (or with one part) the parts run at FinishParts.
// finish(context), when given, runs on every thread of the job (the caller
// included) once it finds no part left to take: before FinishParts returns
// on the caller, but a helper's may still run after it; a job that needs
// them done counts them itself.
void StartParts(void (*work)(void* context, int32_t part), void* context, int32_t parts,
                int32_t helpers, void (*finish)(void* context) = nullptr);
void FinishParts();
// Whether the job started with this context is not yet finished.
bool PartsStarted(const void* context);

// Finishes the job started, then ends and joins every helper; the next job
// starts them again.
void StopHelpers();
