#pragma once
// The step phase of a block, written once over a lane type L: L::count
// samples per vector of doubles. FastStepSse2.cpp, the one step kernel,
// includes this with its lane type (a four-lane AVX2 one measured slower and
// went). A wider lane type would be a file of its own, built for its own
// target: everything here has internal linkage, so no function built for
// one target can stand in for another's.
#include "render/fast/FastStep.h"
#include "render/fast/FastStepScalar.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace {

// A lane type gives: D (count doubles); Set, Add, Sub, Mul, Or; Greater and
// Less (all-ones lanes where true, false for NaN); Mask (a bit per lane);
// Load (count points as real and imaginary parts); ToInt32 (truncation into
// the low int32 lanes, INT32_MIN when out of range); ToFloat and FromFloat
// (float32 in the low lanes); Store (count points from float32 parts);
// Offsets (the byte offsets (row x width + column) x 3 of the pixels, in
// 32-bit lanes that wrap as unsigned arithmetic does).
template <class L>
void StepBlockLanes(const StepConstants& k, PlanePoint* z, const PlanePoint* c, int32_t begin,
                    int32_t end, StepOutput& out)
{
    typedef typename L::D D;
    constexpr int lanes = L::count;
    out.count = 0;
    out.reseedCount = 0;
    const D centerRe = L::Set(k.centerRe);
    const D centerIm = L::Set(k.centerIm);
    const D reciprocal = L::Set(k.reciprocal);
    const D width = L::Set(k.width);
    const D height = L::Set(k.height);
    const D half = L::Set(0.5);
    const D two = L::Set(2.0);
    const D maxBailout = L::Set(k.maxBailout);
    const D minBailout = L::Set(k.minBailout);
    const __m128i zero = _mm_setzero_si128();
    const __m128i colLimit = _mm_set1_epi32(k.widthPixels - 1);
    const __m128i rowLimit = _mm_set1_epi32(k.heightPixels - 1);
    const __m128i rowPixels = _mm_set1_epi32(k.widthPixels);
    const int allLanes = (1 << lanes) - 1;
    const int reseedLanes = k.checkBailout ? allLanes : 0;
    int32_t n = 0;
    int32_t r = 0;
    int32_t i = begin;
    for (; i + lanes <= end; i += lanes) {
        D re, im, cRe, cIm;
        L::Load(z + i, re, im);
        L::Load(c + i, cRe, cIm);
        const D re2 = L::Mul(re, re);
        const D im2 = L::Mul(im, im);

        // Out-of-range values convert to INT32_MIN, as the mapping wants.
        const __m128i px = L::ToInt32(L::Mul(L::Add(L::Mul(L::Sub(re, centerRe), reciprocal), half), width));
        const __m128i py = L::ToInt32(L::Mul(L::Sub(half, L::Mul(L::Sub(im, centerIm), reciprocal)), height));
        const __m128i inside =
            _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi32(px, zero), _mm_cmpgt_epi32(colLimit, px)),
                          _mm_and_si128(_mm_cmpgt_epi32(py, zero), _mm_cmpgt_epi32(rowLimit, py)));
        const int insideLanes = _mm_movemask_ps(_mm_castsi128_ps(inside)) & allLanes;

        const D nextIm = L::Add(L::Mul(L::Mul(two, re), im), cIm);
        const D nextRe = L::Add(L::Sub(re2, im2), cRe);
        const __m128 fRe = L::ToFloat(nextRe);
        const __m128 fIm = L::ToFloat(nextIm);
        L::Store(z + i, fRe, fIm);

        const D dre = L::Sub(re, L::FromFloat(fRe));
        const D dim = L::Sub(im, L::FromFloat(fIm));
        const D escaped = L::Greater(L::Add(re2, im2), maxBailout);
        const D converged = L::Less(L::Add(L::Mul(dre, dre), L::Mul(dim, dim)), minBailout);
        const int reseedMask = L::Mask(L::Or(escaped, converged)) & reseedLanes;

        // Unaligned stores: a 32-bit Windows stack may be 4-byte aligned.
        uint32_t offsets[4];
        int32_t rows[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(offsets), L::Offsets(px, py, rowPixels));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(rows), py);
        // Written always, kept only when the lane is inside: no branch.
        for (int lane = 0; lane < lanes; ++lane) {
            out.offsets[n] = offsets[lane];
            out.rows[n] = rows[lane];
            out.samples[n] = i + lane;
            n += (insideLanes >> lane) & 1;
        }
        for (int lane = 0; lane < lanes; ++lane) {
            out.reseeds[r] = i + lane;
            r += (reseedMask >> lane) & 1;
        }
    }
    out.count = n;
    out.reseedCount = r;
    for (; i < end; ++i) StepOneSample(k, z, c, i, out);
}

}  // namespace

#endif
