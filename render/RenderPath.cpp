// Which path renders (the plain reference, or vector code the processor
// has) and how many threads share a pass.
#include "render/RenderPath.h"

#include <cstring>

#include "app/Relaxed.h"
#include "render/HelperThreads.h"

static bool CpuHasAvx2()
{
#if defined(__i386__) || defined(__x86_64__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

bool RenderPathAvailable(RenderPath path)
{
    switch (path) {
    case renderPathReference:
    case renderPathSse2:
        return true;
    case renderPathAvx2:
        return CpuHasAvx2();
    default:
        return false;
    }
}

RenderPath BestRenderPath() { return CpuHasAvx2() ? renderPathAvx2 : renderPathSse2; }

static const char* const pathNames[renderPathCount] = {"reference", "sse2", "avx2"};

const char* RenderPathName(RenderPath path)
{
    return path >= 0 && path < renderPathCount ? pathNames[path] : "?";
}

bool RenderPathFromName(const char* name, RenderPath& path)
{
    for (int32_t p = 0; p < renderPathCount; ++p)
        if (std::strcmp(name, pathNames[p]) == 0) {
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

void SetRenderThreads(int32_t count) { chosenThreads = count < 1 ? 0 : count; }

int32_t RenderThreads()
{
    const int32_t n = chosenThreads;
    return n > 0 ? n : ProcessorCount();
}

