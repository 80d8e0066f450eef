#include "render/fast/HelperThreads.h"

#include <algorithm>
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


namespace {

struct Job {
    void (*work)(void*, int32_t);
    void* context;
    int32_t parts;
    void (*finish)(void*);  // on each thread once it has no part left to take, or null
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
std::atomic<int32_t> partsDone{0};
// Helpers still inside the current job's part loop.
std::atomic<int32_t> helpersBusy{0};
// Never destroyed: helpers left at process exit must not end it with an error.
std::vector<std::thread>* helpers = new std::vector<std::thread>();
// 0 on the worker (and any thread that is no helper), k on the k-th helper.
thread_local int32_t threadSlot = 0;

// Each thread has home parts, slot, slot + threads, slot + 2 threads ...,
// which it takes first, so a chunk of samples stays in the caches of the
// thread that stepped it the pass before; then it takes what is left of
// the others' (a thread the system holds back leaves its parts to them).
// Every part is taken exactly once: counters only grow.
constexpr int32_t kMaxSlots = 65;
struct alignas(64) HomeCounter {
    std::atomic<int32_t> next{0};
};
HomeCounter homeNext[kMaxSlots];
int32_t jobThreads = 1;  // set with the job, before its generation is published

int32_t TakeFrom(int32_t home, const Job& j)
{
    if (home >= jobThreads) return -1;
    const int32_t k = homeNext[home].next.fetch_add(1, std::memory_order_relaxed);
    const int64_t part = home + static_cast<int64_t>(k) * jobThreads;
    return part < j.parts ? static_cast<int32_t>(part) : -1;
}

void TakeParts(const Job& j)
{
    const int32_t slot = threadSlot < jobThreads ? threadSlot : 0;
    int32_t home = slot;
    for (int32_t tried = 0; tried < jobThreads;) {
        const int32_t part = TakeFrom(home, j);
        if (part < 0) {
            home = (home + 1) % jobThreads;
            ++tried;
            continue;
        }
        j.work(j.context, part);
        partsDone.fetch_add(1, std::memory_order_release);
    }
    if (j.finish) j.finish(j.context);
}

THREAD_ENTRY void HelperMain(int32_t slot)
{
    threadSlot = slot;
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
        while (static_cast<int32_t>(helpers->size()) < count)
            helpers->emplace_back(HelperMain, static_cast<int32_t>(helpers->size()) + 1);
    } catch (const std::system_error&) {
        helperLimit = static_cast<int32_t>(helpers->size());
    } catch (const std::bad_alloc&) {
        helperLimit = static_cast<int32_t>(helpers->size());
    }
}

}  // namespace

int32_t CurrentThreadSlot() { return threadSlot; }

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
                int32_t helperCount, void (*finish)(void* context))
{
    FinishParts();
    if (parts <= 0) return;
    started = {work, context, parts, finish};
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
        jobThreads = std::min(static_cast<int32_t>(helpers->size()) + 1, kMaxSlots);
        for (int32_t slot = 0; slot < jobThreads; ++slot) homeNext[slot].next.store(0, std::memory_order_relaxed);
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
        if (started.finish) started.finish(started.context);
        return;
    }
    if (!startedShared) return;
    startedShared = false;
    TakeParts(started);
    // The last parts are usually a few microseconds from done: spin before
    // giving the processor away, as a yield is a system call each time.
    for (int spin = 0; partsDone.load(std::memory_order_acquire) < started.parts; ++spin) {
        if (spin < 20000)
            CpuPause();
        else
            std::this_thread::yield();
    }
}

bool PartsStarted(const void* context) { return (startedInline || startedShared) && started.context == context; }

void RunParts(void (*work)(void* context, int32_t part), void* context, int32_t parts,
              int32_t helperCount, void (*callerFirst)(void* context))
{
    StartParts(work, context, parts, helperCount);
    if (callerFirst) callerFirst(context);
    FinishParts();
}
