#include "render/Deep.h"

#include <cstring>
#include <mutex>
#include <new>

#include "app/AppState.h"
#include "platform/Platform.h"

static DeepImage deep = {0, 0, nullptr, nullptr};

const DeepImage& HeldDeepImage() { return deep; }

uint32_t* DeepSumsFor(const RgbImage& output)
{
    // After a refused reallocation of the output image the sizes differ:
    // no deep adds then rather than adds outside the block.
    if (!deep.sums || !output.pixels || deep.width != output.width || deep.height != output.height) return nullptr;
    return deep.sums;
}

bool DeepByteSize(int32_t width, int32_t height, uint64_t& bytes)
{
    if (width < 0 || height < 0) return false;
    const uint64_t b = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * kDeepRecord * sizeof(uint32_t);
    // Half the address space at most: 2^31 - 1 bytes on a 32-bit build.
    if (b > static_cast<uint64_t>(SIZE_MAX / 2)) return false;
    bytes = b;
    return true;
}

static size_t SumCount() { return static_cast<size_t>(deep.width) * static_cast<size_t>(deep.height) * kDeepRecord; }

static void FreeDeep()
{
    delete[] static_cast<uint8_t*>(deep.block);
    deep = {0, 0, nullptr, nullptr};
}

bool AllocDeepImage(int32_t width, int32_t height)
{
    uint64_t bytes = 0;
    bool ok = DeepByteSize(width, height, bytes);
    {
        std::lock_guard<std::mutex> hold(app.blocksLock);
        FreeDeep();
        if (ok) {
            // 64 bytes more, to start the records on a cache line.
            uint8_t* block = new (std::nothrow) uint8_t[static_cast<size_t>(bytes) + 64];
            ok = block != nullptr;
            deep.block = block;
            if (ok) deep.sums = reinterpret_cast<uint32_t*>(block + (64 - reinterpret_cast<uintptr_t>(block) % 64) % 64);
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
    if (deep.sums) std::memset(deep.sums, 0, SumCount() * sizeof(uint32_t));
}

void ReleaseDeepImage() { FreeDeep(); }

uint32_t* ResolveDeepCounts()
{
    if (!deep.sums) return nullptr;
    const size_t w = static_cast<size_t>(deep.width);
    const size_t h = static_cast<size_t>(deep.height);
    uint32_t* counts = new (std::nothrow) uint32_t[w * h * 3 + 1];
    if (!counts) return nullptr;
    // A neighbour's quarter sums, or none beyond the edge.
    const auto quarter = [&](size_t col, size_t row, int channel) -> uint64_t {
        return col < w && row < h ? deep.sums[(row * w + col) * kDeepRecord + kDeepQuarter + channel] : 0;
    };
    for (size_t row = 0; row < h; ++row) {
        for (size_t col = 0; col < w; ++col) {
            for (int c = 0; c < 3; ++c) {
                // In 64 bits: five sums below 2^32 cannot wrap.
                const uint64_t total = deep.sums[(row * w + col) * kDeepRecord + c] + quarter(col - 1, row, c) +
                                       quarter(col + 1, row, c) + quarter(col, row - 1, c) +
                                       quarter(col, row + 1, c);
                counts[(row * w + col) * 3 + c] = total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
            }
        }
    }
    return counts;
}
