// The step phase two samples at a time with SSE2, which both builds have.
#include "render/FastStep.h"
#include "render/FastStepScalar.h"

#if defined(__SSE2__)
#include <emmintrin.h>

void StepBlockSse2(const StepConstants& k, PlanePoint* z, const PlanePoint* c, int32_t begin,
                   int32_t end, StepOutput& out)
{
    out.count = 0;
    out.reseedCount = 0;
    const __m128d centerRe = _mm_set1_pd(k.centerRe);
    const __m128d centerIm = _mm_set1_pd(k.centerIm);
    const __m128d reciprocal = _mm_set1_pd(k.reciprocal);
    const __m128d width = _mm_set1_pd(k.width);
    const __m128d height = _mm_set1_pd(k.height);
    const __m128d half = _mm_set1_pd(0.5);
    const __m128d two = _mm_set1_pd(2.0);
    const __m128d maxBailout = _mm_set1_pd(k.maxBailout);
    const __m128d minBailout = _mm_set1_pd(k.minBailout);
    const __m128i zero = _mm_setzero_si128();
    const __m128i colLimit = _mm_set1_epi32(k.widthPixels - 1);
    const __m128i rowLimit = _mm_set1_epi32(k.heightPixels - 1);
    const int reseedLanes = k.checkBailout ? 3 : 0;
    const uint32_t w = static_cast<uint32_t>(k.widthPixels);
    int32_t n = 0;
    int32_t r = 0;
    int32_t i = begin;
    for (; i + 2 <= end; i += 2) {
        const __m128 zz = _mm_loadu_ps(&z[i].re);  // re0 im0 re1 im1
        const __m128 cc = _mm_loadu_ps(&c[i].re);
        const __m128 zs = _mm_shuffle_ps(zz, zz, _MM_SHUFFLE(3, 1, 2, 0));  // re0 re1 im0 im1
        const __m128 cs = _mm_shuffle_ps(cc, cc, _MM_SHUFFLE(3, 1, 2, 0));
        const __m128d re = _mm_cvtps_pd(zs);
        const __m128d im = _mm_cvtps_pd(_mm_movehl_ps(zs, zs));
        const __m128d cRe = _mm_cvtps_pd(cs);
        const __m128d cIm = _mm_cvtps_pd(_mm_movehl_ps(cs, cs));
        const __m128d re2 = _mm_mul_pd(re, re);
        const __m128d im2 = _mm_mul_pd(im, im);

        // Out-of-range values convert to INT32_MIN, as the mapping wants.
        const __m128i px = _mm_cvttpd_epi32(
            _mm_mul_pd(_mm_add_pd(_mm_mul_pd(_mm_sub_pd(re, centerRe), reciprocal), half), width));
        const __m128i py = _mm_cvttpd_epi32(
            _mm_mul_pd(_mm_sub_pd(half, _mm_mul_pd(_mm_sub_pd(im, centerIm), reciprocal)), height));
        const __m128i inside =
            _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi32(px, zero), _mm_cmpgt_epi32(colLimit, px)),
                          _mm_and_si128(_mm_cmpgt_epi32(py, zero), _mm_cmpgt_epi32(rowLimit, py)));
        const int insideLanes = _mm_movemask_ps(_mm_castsi128_ps(inside)) & 3;

        const __m128d nextIm = _mm_add_pd(_mm_mul_pd(_mm_mul_pd(two, re), im), cIm);
        const __m128d nextRe = _mm_add_pd(_mm_sub_pd(re2, im2), cRe);
        const __m128 fRe = _mm_cvtpd_ps(nextRe);
        const __m128 fIm = _mm_cvtpd_ps(nextIm);
        _mm_storeu_ps(&z[i].re, _mm_unpacklo_ps(fRe, fIm));

        const __m128d dre = _mm_sub_pd(re, _mm_cvtps_pd(fRe));
        const __m128d dim = _mm_sub_pd(im, _mm_cvtps_pd(fIm));
        const __m128d escaped = _mm_cmpgt_pd(_mm_add_pd(re2, im2), maxBailout);
        const __m128d converged =
            _mm_cmplt_pd(_mm_add_pd(_mm_mul_pd(dre, dre), _mm_mul_pd(dim, dim)), minBailout);
        const int reseedMask = _mm_movemask_pd(_mm_or_pd(escaped, converged)) & reseedLanes;

        const int32_t px0 = _mm_cvtsi128_si32(px);
        const int32_t px1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(px, 1));
        const int32_t py0 = _mm_cvtsi128_si32(py);
        const int32_t py1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(py, 1));
        // Written always, kept only when the lane is inside: no branch.
        out.offsets[n] = (static_cast<uint32_t>(py0) * w + static_cast<uint32_t>(px0)) * 3u;
        out.rows[n] = py0;
        out.samples[n] = i;
        n += insideLanes & 1;
        out.offsets[n] = (static_cast<uint32_t>(py1) * w + static_cast<uint32_t>(px1)) * 3u;
        out.rows[n] = py1;
        out.samples[n] = i + 1;
        n += insideLanes >> 1;
        out.reseeds[r] = i;
        r += reseedMask & 1;
        out.reseeds[r] = i + 1;
        r += reseedMask >> 1;
    }
    out.count = n;
    out.reseedCount = r;
    for (; i < end; ++i) StepOneSample(k, z, c, i, out);
}

#else

void StepBlockSse2(const StepConstants& k, PlanePoint* z, const PlanePoint* c, int32_t begin,
                   int32_t end, StepOutput& out)
{
    out.count = 0;
    out.reseedCount = 0;
    for (int32_t i = begin; i < end; ++i) StepOneSample(k, z, c, i, out);
}

#endif
