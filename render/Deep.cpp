#include "render/Deep.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "app/AppState.h"
#include "platform/Platform.h"

static DeepImage deep = {0, 0, nullptr, nullptr, nullptr};
// Whether splats may have added since the block was allocated or zeroed: a
// fresh block is all zeros already, from pages the system has not yet given,
// and zeroing it would take them all (1 GiB of high halves of an 8192 x 8192
// picture that only its brightest pixels touch).
static std::atomic<bool> deepTouched{false};

const DeepImage& HeldDeepImage() { return deep; }

uint16_t* DeepSumsFor(const RgbImage& output)
{
    // After a refused reallocation of the output image the sizes differ:
    // no deep adds then rather than adds outside the block.
    if (!deep.lows || !output.pixels || deep.width != output.width || deep.height != output.height) return nullptr;
    deepTouched.store(true, std::memory_order_relaxed);
    return deep.lows;
}

bool DeepByteSize(int32_t width, int32_t height, uint64_t& bytes)
{
    if (width < 0 || height < 0) return false;
    const uint64_t b = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 2u * kDeepRecord * sizeof(uint16_t);
    // Half the address space at most: 2^31 - 1 bytes on a 32-bit build.
    if (b > static_cast<uint64_t>(SIZE_MAX / 2)) return false;
    bytes = b;
    return true;
}

static size_t RecordHalves() { return static_cast<size_t>(deep.width) * static_cast<size_t>(deep.height) * kDeepRecord; }

static void FreeDeep()
{
    std::free(deep.block);
    deep = {0, 0, nullptr, nullptr, nullptr};
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
            uint8_t* block = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes) + 64, 1));
            ok = block != nullptr;
            deep.block = block;
            if (ok) {
                deep.width = width;
                deep.height = height;
                deep.lows = reinterpret_cast<uint16_t*>(block + (64 - reinterpret_cast<uintptr_t>(block) % 64) % 64);
                deep.highs = deep.lows + RecordHalves();
                deepTouched.store(false, std::memory_order_relaxed);
            }
        }
    }
    if (!ok) ShowMemoryError("Out of memory. Choose a smaller output size.");
    return ok;
}

void ZeroDeepImage()
{
    if (!deep.lows || !deepTouched.load(std::memory_order_relaxed)) return;
    std::memset(deep.lows, 0, 2 * RecordHalves() * sizeof(uint16_t));
    deepTouched.store(false, std::memory_order_relaxed);
}

void ReleaseDeepImage() { FreeDeep(); }

void CarryDeep(uint16_t* record, const uint16_t* add, const uint16_t* before)
{
    uint16_t* high = deep.highs + (record - deep.lows);
    for (size_t k = 0; k < kDeepRecord; ++k) {
        if (static_cast<uint32_t>(before[k]) + add[k] <= 0xFFFFu) continue;
        if (high[k] == 0xFFFFu)
            record[k] = 0xFFFFu;  // at UINT32_MAX already: stays there
        else
            ++high[k];
    }
}

// A sum from its two halves.
static uint64_t Sum(size_t record, size_t lane)
{
    const size_t k = record * kDeepRecord + lane;
    return static_cast<uint64_t>(deep.highs[k]) << 16 | deep.lows[k];
}

uint32_t* ResolveDeepCounts()
{
    if (!deep.lows) return nullptr;
    const size_t w = static_cast<size_t>(deep.width);
    const size_t h = static_cast<size_t>(deep.height);
    uint32_t* counts = new (std::nothrow) uint32_t[w * h * 3 + 1];
    if (!counts) return nullptr;
    // A neighbour's quarter sums, or none beyond the edge.
    const auto quarter = [&](size_t col, size_t row, size_t channel) -> uint64_t {
        return col < w && row < h ? Sum(row * w + col, kDeepQuarter + channel) : 0;
    };
    for (size_t row = 0; row < h; ++row) {
        for (size_t col = 0; col < w; ++col) {
            for (size_t c = 0; c < 3; ++c) {
                // In 64 bits: five sums below 2^32 cannot wrap.
                const uint64_t total = Sum(row * w + col, c) + quarter(col - 1, row, c) + quarter(col + 1, row, c) +
                                       quarter(col, row - 1, c) + quarter(col, row + 1, c);
                counts[(row * w + col) * 3 + c] = total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
            }
        }
    }
    return counts;
}
