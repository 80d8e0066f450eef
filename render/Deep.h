#pragma once
// The deep image: beside the 8-bit output image, every splat's colour added
// into 32-bit counts per channel, without the 8-bit saturation. It is held
// only when asked for (AllocDeepImage).
//
// A byte of the 8-bit image is min(255, the sum of its adds), so its count
// is that byte until the byte first clips at 255, and from then on 255 plus
// whatever the adds could not fit. The deep image therefore keeps only that
// excess, per byte of the 8-bit image: the adds that do not clip (all of
// them in the faint parts of a picture) touch nothing more than the 8-bit
// splats do, and those that do clip land on the bright pixels that are hit
// most, whose excess stays in the caches. A pixel's count is its byte plus
// its excess (ResolveDeepCounts). The excess stops at UINT32_MAX, and so
// does a count. Adds are never negative, so every order of the adds gives
// min(UINT32_MAX, total): the counts do not depend on the path or the thread
// count, as long as every add into the 8-bit image keeps its excess.
#include <cstddef>
#include <cstdint>

#include "base/SharedTypes.h"

struct DeepImage {
    int32_t width;
    int32_t height;
    uint32_t* excess;  // width x height x 3, as the 8-bit bytes; null while none is held
};

// The deep image held. Replaced only as the output image is (while no pass
// runs); written by the splats under the blocks lock like the output image.
const DeepImage& HeldDeepImage();

// The excess the splats keep: that of the deep image when it is held and has
// the output image's size, otherwise null (no deep adds).
uint32_t* DeepSumsFor(const RgbImage& output);

// Allocates a zeroed excess for width x height pixels, replacing any held.
// False, with the output size's "Memory Error." text shown and no deep image
// held, when the size is refused (DeepByteSize) or the memory is not there.
bool AllocDeepImage(int32_t width, int32_t height);
void ZeroDeepImage();
void ReleaseDeepImage();
// Bytes the excess of width x height pixels takes (12 a pixel); false when
// it cannot be addressed: above 2^31 - 1 bytes on a 32-bit build.
bool DeepByteSize(int32_t width, int32_t height, uint64_t& bytes);

// The counts of the held deep image, from it and the output image: width x
// height x 3, blue first, rows bottom-up as the 8-bit pixels. Null when none
// is held or no memory is left for them; the caller deletes them with
// delete[].
uint32_t* ResolveDeepCounts();

// min(UINT32_MAX, e + x).
inline void AddExcess(uint32_t& e, uint32_t x) { e = e + x < e ? UINT32_MAX : e + x; }

// One byte's saturating add in a deep render: what does not fit goes to
// its excess.
inline void AddByteKeeping(uint8_t& pixel, uint32_t& excess, uint32_t add)
{
    const uint32_t sum = pixel + add;
    if (sum > 255u) AddExcess(excess, sum - 255u);
    pixel = static_cast<uint8_t>(sum > 255u ? 255u : sum);
}
