#pragma once
// The render worker: turns the flags raised by the window into runs. It owns
// the run: it sets running, and it sets every status title but the "stopped"
// of a stop request.
#include <cstdint>

// Thread procedure; the parameter is ignored. Returns when quitRequested is
// seen, after taking and closing its own handle.
uint32_t RenderWorker(void* parameter);
// A stop request from the window thread: running = false, then the title
// "stopped".
void StopRender();

// Told on the worker thread at every run end, before a continuous run
// chains the next one; halovane-render and the tests count runs with it.
void SetRunEndListener(void (*listener)());

// Passes the worker has performed since the process started, wrapping at
// 2^32; for progress displays.
uint32_t WorkerPassCount();
// One pass over the samples; the caller holds blocksLock. RegionPass and
// ViewPass are the plain passes (the reference); RegionPassOnPath takes the
// chosen render path.
void RegionPass();
void ViewPass();
void RegionPassOnPath();
// Seeds a run on the chosen render path; false when a stop came first.
bool SeedSamplesOnPath();
