#include "render/Deep.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "app/AppState.h"
#include "platform/Platform.h"

static DeepImage deep = {0, 0, nullptr};
// Whether splats may have added since the block was allocated or zeroed: a
// fresh block is all zeros already, from pages the system has not yet given,
// and zeroing it would take them all (768 MiB for an 8192 x 8192 picture
// that only its brightest pixels touch).
static std::atomic<bool> deepTouched{false};

const DeepImage& HeldDeepImage() { return deep; }

uint32_t* DeepSumsFor(const RgbImage& output)
{
    // After a refused reallocation of the output image the sizes differ:
    // no deep adds then rather than adds outside the block.
    if (!deep.excess || !output.pixels || deep.width != output.width || deep.height != output.height) return nullptr;
    deepTouched.store(true, std::memory_order_relaxed);
    return deep.excess;
}

bool DeepByteSize(int32_t width, int32_t height, uint64_t& bytes)
{
    if (width < 0 || height < 0) return false;
    const uint64_t b = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3u * sizeof(uint32_t);
    // Half the address space at most: 2^31 - 1 bytes on a 32-bit build.
    if (b > static_cast<uint64_t>(SIZE_MAX / 2)) return false;
    bytes = b;
    return true;
}

static size_t ExcessCount() { return static_cast<size_t>(deep.width) * static_cast<size_t>(deep.height) * 3u; }

static void FreeDeep()
{
    std::free(deep.excess);
    deep = {0, 0, nullptr};
}

bool AllocDeepImage(int32_t width, int32_t height)
{
    uint64_t bytes = 0;
    bool ok = DeepByteSize(width, height, bytes);
    {
        std::lock_guard<std::mutex> hold(app.blocksLock);
        FreeDeep();
        if (ok) {
            deep.excess = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(bytes) + sizeof(uint32_t), 1));
            ok = deep.excess != nullptr;
            if (ok) {
                deep.width = width;
                deep.height = height;
                deepTouched.store(false, std::memory_order_relaxed);
            }
        }
    }
    if (!ok) ShowMemoryError("Out of memory. Choose a smaller output size.");
    return ok;
}

void ZeroDeepImage()
{
    if (!deep.excess || !deepTouched.load(std::memory_order_relaxed)) return;
    std::memset(deep.excess, 0, ExcessCount() * sizeof(uint32_t));
    deepTouched.store(false, std::memory_order_relaxed);
}

void ReleaseDeepImage() { FreeDeep(); }

uint32_t* ResolveDeepCounts()
{
    const RgbImage& out = app.outputImage;
    if (!deep.excess || !out.pixels || out.width != deep.width || out.height != deep.height) return nullptr;
    const size_t n = ExcessCount();
    uint32_t* counts = new (std::nothrow) uint32_t[n + 1];
    if (!counts) return nullptr;
    for (size_t k = 0; k < n; ++k) {
        const uint32_t e = deep.excess[k];
        // Excess only ever comes once the byte is 255.
        counts[k] = e > UINT32_MAX - out.pixels[k] ? UINT32_MAX : e + out.pixels[k];
    }
    return counts;
}
