#include "render/fast/HelperThreads.h"

#include <atomic>
#include <cstdint>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__i386__)
// Windows aligns a new thread's stack to 4 bytes only; vector spills need 16.
#define THREAD_ENTRY __attribute__((force_align_arg_pointer))
#else
#define THREAD_ENTRY
#endif

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
static void CpuPause() { _mm_pause(); }
#else
static void CpuPause() {}
#endif

namespace {

struct Job {
    void (*work)(void*, int32_t);
    void* context;
    int32_t parts;
};

// The current job: published under the mutex, with a new generation, and
// read by the helpers after they see that generation. The mutex and the
// condition are never destroyed: helpers may still wait on them while the
// process exits.
std::mutex& jobMutex = *new std::mutex();
std::condition_variable& jobChanged = *new std::condition_variable();
Job job = {};
std::atomic<uint32_t> generation{0};
std::atomic<bool> helpersQuit{false};
std::atomic<int32_t> nextPart{0};
std::atomic<int32_t> partsDone{0};
// Helpers still inside the current job's part loop.
std::atomic<int32_t> helpersBusy{0};
// Never destroyed: helpers left at process exit must not end it with an error.
std::vector<std::thread>* helpers = new std::vector<std::thread>();

void TakeParts(const Job& j)
{
    for (;;) {
        const int32_t part = nextPart.fetch_add(1, std::memory_order_relaxed);
        if (part >= j.parts) return;
        j.work(j.context, part);
        partsDone.fetch_add(1, std::memory_order_release);
    }
}

THREAD_ENTRY void HelperMain()
{
    uint32_t seen = generation.load(std::memory_order_acquire);
    for (;;) {
        // Passes follow each other closely: spin a little before sleeping.
        uint32_t now = seen;
        for (int spin = 0; spin < 4000; ++spin) {
            now = generation.load(std::memory_order_acquire);
            if (now != seen || helpersQuit.load(std::memory_order_relaxed)) break;
            CpuPause();
        }
        Job j;
        {
            std::unique_lock<std::mutex> hold(jobMutex);
            jobChanged.wait(hold, [&] {
                return generation.load(std::memory_order_relaxed) != seen ||
                       helpersQuit.load(std::memory_order_relaxed);
            });
            if (helpersQuit.load(std::memory_order_relaxed)) return;
            seen = generation.load(std::memory_order_relaxed);
            j = job;
            helpersBusy.fetch_add(1, std::memory_order_relaxed);
        }
        TakeParts(j);
        helpersBusy.fetch_sub(1, std::memory_order_release);
    }
}

// Helpers the system could start when it refused one more (no memory for
// a stack): the work goes to that many from then on. Any count gives the
// same bytes. Worker thread only.
int32_t helperLimit = INT32_MAX;

void StartHelpers(int32_t count)
{
    helpersQuit = false;
    try {
        while (static_cast<int32_t>(helpers->size()) < count) helpers->emplace_back(HelperMain);
    } catch (const std::system_error&) {
        helperLimit = static_cast<int32_t>(helpers->size());
    } catch (const std::bad_alloc&) {
        helperLimit = static_cast<int32_t>(helpers->size());
    }
}

}  // namespace

int32_t ProcessorCount()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int32_t>(n > 256 ? 256 : n);
}

void StopHelpers()
{
    FinishParts();
    {
        std::lock_guard<std::mutex> hold(jobMutex);
        helpersQuit = true;
    }
    jobChanged.notify_all();
    for (std::thread& t : *helpers) t.join();
    helpers->clear();
    helpersQuit = false;
}

// The job started and not yet finished; only the worker starts and finishes
// jobs. An inline job (no helpers, or one part) runs at its finish.
static Job started = {};
static bool startedInline = false;
static bool startedShared = false;

void StartParts(void (*work)(void* context, int32_t part), void* context, int32_t parts,
                int32_t helperCount)
{
    FinishParts();
    if (parts <= 0) return;
    started = {work, context, parts};
    if (helperCount > helperLimit) helperCount = helperLimit;
    if (helperCount > 0 && parts > 1 && static_cast<int32_t>(helpers->size()) != helperCount) {
        StopHelpers();
        StartHelpers(helperCount);
        helperCount = static_cast<int32_t>(helpers->size());
    }
    if (helperCount <= 0 || parts == 1) {
        startedInline = true;
        return;
    }
    {
        std::lock_guard<std::mutex> hold(jobMutex);
        // A helper that woke late for the last job may still be looking at
        // its counters; it finds no part left and leaves at once.
        while (helpersBusy.load(std::memory_order_acquire) != 0) CpuPause();
        job = started;
        nextPart.store(0, std::memory_order_relaxed);
        partsDone.store(0, std::memory_order_relaxed);
        generation.fetch_add(1, std::memory_order_release);
    }
    jobChanged.notify_all();
    startedShared = true;
}

void FinishParts()
{
    if (startedInline) {
        startedInline = false;
        for (int32_t part = 0; part < started.parts; ++part) started.work(started.context, part);
        return;
    }
    if (!startedShared) return;
    startedShared = false;
    TakeParts(started);
    while (partsDone.load(std::memory_order_acquire) < started.parts) std::this_thread::yield();
}

bool PartsStarted(const void* context) { return (startedInline || startedShared) && started.context == context; }

void RunParts(void (*work)(void* context, int32_t part), void* context, int32_t parts,
              int32_t helperCount, void (*callerFirst)(void* context))
{
    StartParts(work, context, parts, helperCount);
    if (callerFirst) callerFirst(context);
    FinishParts();
}
