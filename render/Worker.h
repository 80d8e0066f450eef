#pragma once
// The render worker: turns the flags raised by the window into runs.
#include <cstdint>

// Thread procedure; the parameter is ignored. Returns when quitRequested is
// seen, after clearing the worker handle.
uint32_t RenderWorker(void* parameter);
// running = false, then the title "stopped".
void StopRender();
// Sets the status title (main window title) without waiting.
void SetStatusTitle(const char* text);

// Passes the worker has performed since the process started, wrapping at
// 2^32; for progress displays.
uint32_t WorkerPassCount();
// One pass over the samples; the caller holds arraysLock.
void RegionPass();
void ViewPass();
