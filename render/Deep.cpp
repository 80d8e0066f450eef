#include "render/Deep.h"

#include <cstring>
#include <mutex>
#include <new>

#include "app/AppState.h"
#include "platform/Platform.h"

static DeepImage deep = {0, 0, nullptr};

const DeepImage& HeldDeepImage() { return deep; }

uint32_t* DeepCountsFor(const RgbImage& output)
{
    // After a refused reallocation of the output image the sizes differ:
    // no deep adds then rather than adds outside the block.
    if (!deep.counts || !output.pixels || deep.width != output.width || deep.height != output.height) return nullptr;
    return deep.counts;
}

bool DeepByteSize(int32_t width, int32_t height, uint64_t& bytes)
{
    // The limit of the 8-bit image, in bytes: both builds refuse the same sizes.
    if (width < 0 || height < 0) return false;
    const uint64_t b = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3u * sizeof(uint32_t);
    if (b > static_cast<uint64_t>(INT32_MAX)) return false;
    bytes = b;
    return true;
}

bool AllocDeepImage(int32_t width, int32_t height)
{
    uint64_t bytes = 0;
    bool ok = DeepByteSize(width, height, bytes);
    {
        std::lock_guard<std::mutex> hold(app.blocksLock);
        delete[] deep.counts;
        deep = {0, 0, nullptr};
        if (ok) {
            const size_t n = static_cast<size_t>(bytes / sizeof(uint32_t));
            deep.counts = new (std::nothrow) uint32_t[n == 0 ? 1 : n];
            ok = deep.counts != nullptr;
        }
        if (ok) {
            deep.width = width;
            deep.height = height;
            ZeroDeepImage();
        }
    }
    if (!ok) ShowMemoryError("Out of memory. Choose a smaller output size.");
    return ok;
}

void ZeroDeepImage()
{
    if (!deep.counts) return;
    std::memset(deep.counts, 0, static_cast<size_t>(deep.width) * static_cast<size_t>(deep.height) * 3u * sizeof(uint32_t));
}

void ReleaseDeepImage()
{
    delete[] deep.counts;
    deep = {0, 0, nullptr};
}
