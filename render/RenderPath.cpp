// Which path renders (the plain reference, or vector code the processor
// has) and how many threads share a pass.
#include "render/RenderPath.h"

#include <cstring>

#include "base/Relaxed.h"
#include "render/fast/HelperThreads.h"
#include "render/fast/Kernels.h"

// Asked of the processor once; a function-local static is initialised once
// even when two threads ask first together.
static bool CpuHasAvx2()
{
#if defined(__i386__) || defined(__x86_64__)
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
#else
    return false;
#endif
}

static bool Always() { return true; }

struct PathRow {
    const char* name;
    bool (*available)();
    Kernels kernels;
};

// One row per path, in the order of the enum. The AVX2 path steps with the
// SSE2 kernel: the same step four lanes wide measured a quarter slower than
// two lanes wide (old and new code alike), while the estimates, long chains
// of dependent steps, gain from eight interleaved lanes.
static const PathRow pathRows[renderPathCount] = {
    {"reference", Always, {StepBlockSse2, EstimateFeedScalar}},
    {"sse2", Always, {StepBlockSse2, EstimateFeedScalar}},
    {"avx2", CpuHasAvx2, {StepBlockSse2, EstimateFeedAvx2}},
};

bool RenderPathAvailable(RenderPath path)
{
    return path >= 0 && path < renderPathCount && pathRows[path].available();
}

RenderPath BestRenderPath()
{
    for (int32_t p = renderPathCount - 1; p > renderPathSse2; --p)
        if (pathRows[p].available()) return static_cast<RenderPath>(p);
    return renderPathSse2;
}

const char* RenderPathName(RenderPath path)
{
    return path >= 0 && path < renderPathCount ? pathRows[path].name : "?";
}

bool RenderPathFromName(const char* name, RenderPath& path)
{
    for (int32_t p = 0; p < renderPathCount; ++p)
        if (std::strcmp(name, pathRows[p].name) == 0) {
            path = static_cast<RenderPath>(p);
            return true;
        }
    return false;
}

// -1: not chosen yet, so the best one.
static Relaxed<int32_t> chosenPath{-1};
static Relaxed<int32_t> chosenThreads{0};

void SetRenderPath(RenderPath path) { chosenPath = RenderPathAvailable(path) ? path : BestRenderPath(); }

RenderPath CurrentRenderPath()
{
    const int32_t p = chosenPath;
    return p < 0 ? BestRenderPath() : static_cast<RenderPath>(p);
}

// Only available rows are ever chosen, so the kernels run where they can.
const Kernels& CurrentKernels() { return pathRows[CurrentRenderPath()].kernels; }

void SetRenderThreads(int32_t count) { chosenThreads = count < 1 ? 0 : count; }

int32_t RenderThreads()
{
    const int32_t n = chosenThreads;
    return n > 0 ? n : ProcessorCount();
}
