#pragma once
// The deep image: beside the 8-bit output image, every splat's colour added
// into 32-bit counts per channel, without the 8-bit saturation. It is held
// only when asked for (AllocDeepImage).
//
// A splat touches five pixels over three rows; its counts would cost five
// scattered adds into a block four times the 8-bit image. Instead every
// pixel keeps two sums of the splats centred on it: of their colours and of
// their quarter colours. A splat then adds into one place, and a pixel's
// count is its colour sum plus the quarter sums of its four neighbours
// (ResolveDeepCounts), the same as the five-pixel adds give.
//
// Each sum is 32 bits in two halves: the low 16 bits of every pixel in one
// record of 16 bytes (the part every splat touches, a sixteenth of a cache
// line), the high 16 bits in a second block touched only when a low half
// carries. A sum that would pass UINT32_MAX stays there, and so does a
// count. Adds are never negative, so every order of the adds gives
// min(UINT32_MAX, total): the counts do not depend on the path or the thread
// count.
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/SharedTypes.h"

struct DeepImage {
    int32_t width;
    int32_t height;
    uint16_t* lows;   // width x height records of kDeepRecord; null while none is held
    uint16_t* highs;  // the same layout: the high halves
    void* block;      // the allocation both lie in
};

// Halves in a pixel's record: colour sums blue, green, red, one unused,
// quarter sums blue, green, red, one unused (one vector).
constexpr size_t kDeepRecord = 8;
constexpr size_t kDeepQuarter = 4;

// The deep image held. Replaced only as the output image is (while no pass
// runs); written by the splats under the blocks lock like the output image.
const DeepImage& HeldDeepImage();

// The low halves the splats add into: those of the deep image when it is
// held and has the output image's size, otherwise null (no deep adds).
uint16_t* DeepSumsFor(const RgbImage& output);

// Allocates zeroed sums for width x height pixels, replacing any held.
// False, with the output size's "Memory Error." text shown and no deep image
// held, when the size is refused (DeepByteSize) or the memory is not there.
bool AllocDeepImage(int32_t width, int32_t height);
void ZeroDeepImage();
void ReleaseDeepImage();
// Bytes the sums of width x height pixels take (32 a pixel); false when they
// cannot be addressed: above 2^31 - 1 bytes on a 32-bit build.
bool DeepByteSize(int32_t width, int32_t height, uint64_t& bytes);

// The counts of the held deep image: width x height x 3, blue first, rows
// bottom-up as the 8-bit pixels. Null when none is held or no memory is
// left for them; the caller deletes them with delete[].
uint32_t* ResolveDeepCounts();

// A colour packed as the fast splats hold it: blue, green, red from the low byte.
inline uint32_t DeepColour(Colour3 c)
{
    return static_cast<uint32_t>(c.blue) | static_cast<uint32_t>(c.green) << 8 |
           static_cast<uint32_t>(c.red) << 16;
}

// The lanes of a record whose low halves wrapped on adding add: the high
// halves count the carry, or at the top the sum stays UINT32_MAX. Rare, so
// out of line.
void CarryDeep(uint16_t* record, const uint16_t* add, const uint16_t* before);

// The low halves of a record at pixelByte, the byte offset of the splat's
// centre in the 8-bit image (3 a pixel).
inline uint16_t* DeepRecord(uint16_t* lows, uint32_t pixelByte)
{
    return lows + static_cast<size_t>(pixelByte / 3u) * kDeepRecord;
}

#if defined(__SSE2__)
// The deep part of one splat: eight 16-bit adds at once; a lane whose
// wrapping sum differs from its saturating sum has carried.
inline void AddDeepSplat(uint16_t* lows, uint32_t pixelByte, uint32_t colour, uint32_t quarter)
{
    uint16_t* at = DeepRecord(lows, pixelByte);
    const __m128i bytes = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int32_t>(colour)),
                                             _mm_cvtsi32_si128(static_cast<int32_t>(quarter)));
    const __m128i add = _mm_unpacklo_epi8(bytes, _mm_setzero_si128());
    const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i sum = _mm_add_epi16(v, add);
    _mm_store_si128(reinterpret_cast<__m128i*>(at), sum);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(sum, _mm_adds_epu16(v, add))) != 0xFFFF) {
        uint16_t lanes[2 * kDeepRecord];  // unaligned stores: 32-bit Windows stacks keep 4 bytes
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), add);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes + kDeepRecord), v);
        CarryDeep(at, lanes, lanes + kDeepRecord);
    }
}
#else
inline void AddDeepSplat(uint16_t* lows, uint32_t pixelByte, uint32_t colour, uint32_t quarter)
{
    uint16_t* at = DeepRecord(lows, pixelByte);
    uint16_t add[kDeepRecord] = {};
    uint16_t before[kDeepRecord];
    bool carried = false;
    for (int c = 0; c < 3; ++c) {
        add[c] = static_cast<uint16_t>(colour >> (8 * c) & 0xFFu);
        add[kDeepQuarter + c] = static_cast<uint16_t>(quarter >> (8 * c) & 0xFFu);
    }
    for (size_t k = 0; k < kDeepRecord; ++k) {
        before[k] = at[k];
        at[k] = static_cast<uint16_t>(at[k] + add[k]);
        carried = carried || at[k] < add[k];
    }
    if (carried) CarryDeep(at, add, before);
}
#endif

// Asks for a splat's record ahead of its adds: the sums are far larger than
// the caches.
inline void PrefetchDeep(uint16_t* lows, uint32_t pixelByte) { __builtin_prefetch(DeepRecord(lows, pixelByte), 1); }
