#pragma once
// Helper threads that share out the parts of one job with the calling
// thread (the render worker). Only the worker calls these.
#include <cstdint>

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
void StartParts(void (*work)(void* context, int32_t part), void* context, int32_t parts,
                int32_t helpers);
// meanwhile(context), when given, runs on the caller after each of its
// parts and while it waits, until it returns false: work the caller does
// as the parts finish.
void FinishParts(bool (*meanwhile)(void* context) = nullptr);
// Whether the job started with this context is not yet finished.
bool PartsStarted(const void* context);

// Finishes the job started, then ends and joins every helper; the next job
// starts them again.
void StopHelpers();
