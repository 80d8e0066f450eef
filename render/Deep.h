#pragma once
// The deep image: beside the 8-bit output image, every splat's colour added
// into 32-bit counts per channel, without the 8-bit saturation. It is held
// only when asked for (AllocDeepImage).
//
// A splat touches five pixels over three rows; its counts would cost five
// scattered adds into a block four times the 8-bit image. Instead every
// pixel keeps two sums of the splats centred on it: of their colours and of
// their quarter colours, six counts side by side in a record of eight (32
// bytes, so a record never straddles two cache lines). A splat then adds
// into one place, and a pixel's count is
// its colour sum plus the quarter sums of its four neighbours
// (ResolveDeepCounts), the same as the five-pixel adds give.
//
// Sums that would pass UINT32_MAX stay there, and so does a count. Adds are
// never negative, so every order of the adds gives min(UINT32_MAX, total):
// the counts do not depend on the path or the thread count.
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/SharedTypes.h"

struct DeepImage {
    int32_t width;
    int32_t height;
    uint32_t* sums;  // width x height records of kDeepRecord; null while none is held
    void* block;     // the allocation sums lies in, aligned to 64 bytes
};

// Counts in a pixel's record: colour sums blue, green, red, one unused,
// quarter sums blue, green, red, one unused (each half one vector).
constexpr size_t kDeepRecord = 8;
constexpr size_t kDeepQuarter = 4;

// The deep image held. Replaced only as the output image is (while no pass
// runs); written by the splats under the blocks lock like the output image.
const DeepImage& HeldDeepImage();

// The sums the splats add into: those of the deep image when it is held and
// has the output image's size, otherwise null (no deep adds).
uint32_t* DeepSumsFor(const RgbImage& output);

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

inline void AddCount(uint32_t* count, uint32_t add)
{
    const uint32_t sum = *count + add;  // unsigned: wraps, never undefined
    *count = sum < add ? UINT32_MAX : sum;
}

// Three counts, blue first, get the packed colour.
inline void AddDeep(uint32_t* counts, uint32_t colour)
{
    AddCount(counts + 0, colour & 0xFFu);
    AddCount(counts + 1, colour >> 8 & 0xFFu);
    AddCount(counts + 2, colour >> 16 & 0xFFu);
}

// The deep part of one splat. pixelByte is the byte offset of the splat's
// centre in the 8-bit image (3 a pixel).
inline uint32_t* DeepRecord(uint32_t* sums, uint32_t pixelByte)
{
    return sums + static_cast<size_t>(pixelByte / 3u) * kDeepRecord;
}

#if defined(__SSE2__)
// Four saturating 32-bit adds: a lane whose sum came out below what was
// added has wrapped and becomes all ones.
inline void AddDeepVector(uint32_t* at, __m128i add)
{
    const __m128i bias = _mm_set1_epi32(INT32_MIN);
    const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i sum = _mm_add_epi32(v, add);
    const __m128i wrapped = _mm_cmpgt_epi32(_mm_xor_si128(add, bias), _mm_xor_si128(sum, bias));
    _mm_store_si128(reinterpret_cast<__m128i*>(at), _mm_or_si128(sum, wrapped));
}

// The packed colour's three bytes as three 32-bit lanes and a zero.
inline __m128i DeepLanes(uint32_t colour)
{
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int32_t>(colour)), zero), zero);
}

inline void AddDeepSplat(uint32_t* sums, uint32_t pixelByte, uint32_t colour, uint32_t quarter)
{
    uint32_t* at = DeepRecord(sums, pixelByte);
    AddDeepVector(at, DeepLanes(colour));
    AddDeepVector(at + kDeepQuarter, DeepLanes(quarter));
}
#else
inline void AddDeepSplat(uint32_t* sums, uint32_t pixelByte, uint32_t colour, uint32_t quarter)
{
    uint32_t* at = DeepRecord(sums, pixelByte);
    AddDeep(at, colour);
    AddDeep(at + kDeepQuarter, quarter);
}
#endif

// Asks for a splat's sums ahead of its adds: the sums are eight times the
// bytes of the pixels and mostly miss the caches.
inline void PrefetchDeep(uint32_t* sums, uint32_t pixelByte) { __builtin_prefetch(DeepRecord(sums, pixelByte), 1); }
