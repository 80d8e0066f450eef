#pragma once
// The deep image: beside the 8-bit output image, every splat's colour added
// into 32-bit counts per channel, without the 8-bit saturation. It is held
// only when asked for (AllocDeepImage) and has the output image's layout:
// three counts per pixel, blue first, rows bottom-up, so the counts of the
// pixel at byte offset k of the output image start at counts + k.
//
// A count that would pass UINT32_MAX stays there. Adds are never negative,
// so every order of the adds gives min(UINT32_MAX, sum): the counts do not
// depend on the path or the thread count.
#include <cstdint>

#include "app/SharedTypes.h"

struct DeepImage {
    int32_t width;
    int32_t height;
    uint32_t* counts;  // width x height x 3; null while none is held
};

// The deep image held (absent: null counts). Replaced only where the output
// image is (window thread or the renderer, while no pass runs); written by
// the splats under the blocks lock like the output image.
const DeepImage& HeldDeepImage();

// The counts the splats add into: those of the deep image when it is held
// and has the output image's size, otherwise null (no deep adds).
uint32_t* DeepCountsFor(const RgbImage& output);

// Allocates zeroed counts for width x height pixels, replacing any held.
// False, with the output size's "Memory Error." text shown and no deep image
// held, when the size cannot be represented in 2^31 - 1 bytes or the memory
// is not there. Only while no pass runs.
bool AllocDeepImage(int32_t width, int32_t height);
void ZeroDeepImage();
void ReleaseDeepImage();
// Bytes the counts of width x height pixels take; false when refused.
bool DeepByteSize(int32_t width, int32_t height, uint64_t& bytes);

// A colour packed as the fast splats hold it: blue, green, red from the low byte.
inline uint32_t DeepColour(Colour3 c)
{
    return static_cast<uint32_t>(c.blue) | static_cast<uint32_t>(c.green) << 8 |
           static_cast<uint32_t>(c.red) << 16;
}

inline void AddCount(uint32_t* count, uint32_t add)
{
    const uint32_t sum = *count + add;  // unsigned: wraps, never undefined
    *count = sum < add ? UINT32_MAX : sum;
}

// One pixel's three counts (at counts + byte offset) get the packed colour.
inline void AddDeep(uint32_t* pixel, uint32_t colour)
{
    AddCount(pixel + 0, colour & 0xFFu);
    AddCount(pixel + 1, colour >> 8 & 0xFFu);
    AddCount(pixel + 2, colour >> 16 & 0xFFu);
}

// The centre row of a splat: quarter left, colour at the centre, quarter right.
inline void AddDeepRow(uint32_t* centre, uint32_t colour, uint32_t quarter)
{
    AddDeep(centre - 3, quarter);
    AddDeep(centre, colour);
    AddDeep(centre + 3, quarter);
}

// A whole five-pixel splat; rowCounts is the width x 3.
inline void AddDeepSplat(uint32_t* centre, uint32_t rowCounts, uint32_t colour, uint32_t quarter)
{
    AddDeepRow(centre, colour, quarter);
    AddDeep(centre - rowCounts, quarter);
    AddDeep(centre + rowCounts, quarter);
}
