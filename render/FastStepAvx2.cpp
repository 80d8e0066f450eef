// The step phase four samples at a time with AVX2. This file alone is built
// for AVX2 (without FMA, which would change the roundings); the pass calls it
// only on processors that have AVX2.
#include "render/FastStep.h"
#include "render/FastStepScalar.h"

#if defined(__AVX2__)
#include <immintrin.h>

void StepBlockAvx2(const StepConstants& k, PlanePoint* z, const PlanePoint* c, int32_t begin,
                   int32_t end, StepOutput& out)
{
    out.count = 0;
    out.reseedCount = 0;
    const __m256d centerRe = _mm256_set1_pd(k.centerRe);
    const __m256d centerIm = _mm256_set1_pd(k.centerIm);
    const __m256d reciprocal = _mm256_set1_pd(k.reciprocal);
    const __m256d width = _mm256_set1_pd(k.width);
    const __m256d height = _mm256_set1_pd(k.height);
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d two = _mm256_set1_pd(2.0);
    const __m256d maxBailout = _mm256_set1_pd(k.maxBailout);
    const __m256d minBailout = _mm256_set1_pd(k.minBailout);
    const __m256i split = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    const __m128i zero = _mm_setzero_si128();
    const __m128i colLimit = _mm_set1_epi32(k.widthPixels - 1);
    const __m128i rowLimit = _mm_set1_epi32(k.heightPixels - 1);
    const __m128i rowPixels = _mm_set1_epi32(k.widthPixels);
    const int reseedLanes = k.checkBailout ? 15 : 0;
    int32_t n = 0;
    int32_t r = 0;
    int32_t i = begin;
    for (; i + 4 <= end; i += 4) {
        // re0 im0 re1 im1 ... into re0 re1 re2 re3 | im0 im1 im2 im3
        const __m256 zs = _mm256_permutevar8x32_ps(_mm256_loadu_ps(&z[i].re), split);
        const __m256 cs = _mm256_permutevar8x32_ps(_mm256_loadu_ps(&c[i].re), split);
        const __m256d re = _mm256_cvtps_pd(_mm256_castps256_ps128(zs));
        const __m256d im = _mm256_cvtps_pd(_mm256_extractf128_ps(zs, 1));
        const __m256d cRe = _mm256_cvtps_pd(_mm256_castps256_ps128(cs));
        const __m256d cIm = _mm256_cvtps_pd(_mm256_extractf128_ps(cs, 1));
        const __m256d re2 = _mm256_mul_pd(re, re);
        const __m256d im2 = _mm256_mul_pd(im, im);

        // Out-of-range values convert to INT32_MIN, as the mapping wants.
        const __m128i px = _mm256_cvttpd_epi32(_mm256_mul_pd(
            _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(re, centerRe), reciprocal), half), width));
        const __m128i py = _mm256_cvttpd_epi32(_mm256_mul_pd(
            _mm256_sub_pd(half, _mm256_mul_pd(_mm256_sub_pd(im, centerIm), reciprocal)), height));
        const __m128i inside =
            _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi32(px, zero), _mm_cmpgt_epi32(colLimit, px)),
                          _mm_and_si128(_mm_cmpgt_epi32(py, zero), _mm_cmpgt_epi32(rowLimit, py)));
        const int insideLanes = _mm_movemask_ps(_mm_castsi128_ps(inside));
        const __m128i index = _mm_add_epi32(_mm_mullo_epi32(py, rowPixels), px);
        const __m128i offset = _mm_add_epi32(_mm_add_epi32(index, index), index);

        const __m256d nextIm = _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(two, re), im), cIm);
        const __m256d nextRe = _mm256_add_pd(_mm256_sub_pd(re2, im2), cRe);
        const __m128 fRe = _mm256_cvtpd_ps(nextRe);
        const __m128 fIm = _mm256_cvtpd_ps(nextIm);
        _mm_storeu_ps(&z[i].re, _mm_unpacklo_ps(fRe, fIm));
        _mm_storeu_ps(&z[i + 2].re, _mm_unpackhi_ps(fRe, fIm));

        const __m256d dre = _mm256_sub_pd(re, _mm256_cvtps_pd(fRe));
        const __m256d dim = _mm256_sub_pd(im, _mm256_cvtps_pd(fIm));
        const __m256d escaped = _mm256_cmp_pd(_mm256_add_pd(re2, im2), maxBailout, _CMP_GT_OQ);
        const __m256d converged = _mm256_cmp_pd(
            _mm256_add_pd(_mm256_mul_pd(dre, dre), _mm256_mul_pd(dim, dim)), minBailout, _CMP_LT_OQ);
        const int reseedMask = _mm256_movemask_pd(_mm256_or_pd(escaped, converged)) & reseedLanes;

        alignas(16) uint32_t offsets[4];
        alignas(16) int32_t rows[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(offsets), offset);
        _mm_store_si128(reinterpret_cast<__m128i*>(rows), py);
        // Written always, kept only when the lane is inside: no branch.
        for (int lane = 0; lane < 4; ++lane) {
            out.offsets[n] = offsets[lane];
            out.rows[n] = rows[lane];
            out.samples[n] = i + lane;
            n += (insideLanes >> lane) & 1;
        }
        for (int lane = 0; lane < 4; ++lane) {
            out.reseeds[r] = i + lane;
            r += (reseedMask >> lane) & 1;
        }
    }
    out.count = n;
    out.reseedCount = r;
    for (; i < end; ++i) StepOneSample(k, z, c, i, out);
}

#elif defined(__i386__) || defined(__x86_64__)
#error "this file must be built with -mavx2"
#else

void StepBlockAvx2(const StepConstants& k, PlanePoint* z, const PlanePoint* c, int32_t begin,
                   int32_t end, StepOutput& out)
{
    out.count = 0;
    out.reseedCount = 0;
    for (int32_t i = begin; i < end; ++i) StepOneSample(k, z, c, i, out);
}

#endif
