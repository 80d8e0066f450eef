// The step phase four samples at a time with AVX2. This file alone is built
// for AVX2 (without FMA, which would change the roundings); the pass calls it
// only on processors that have AVX2.
#include "render/fast/FastStepLanes.h"
#include "render/fast/Kernels.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace {

struct Avx2Lanes {
    typedef __m256d D;
    static constexpr int count = 4;
    static D Set(double v) { return _mm256_set1_pd(v); }
    static D Add(D a, D b) { return _mm256_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm256_mul_pd(a, b); }
    static D Or(D a, D b) { return _mm256_or_pd(a, b); }
    static D Greater(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
    static D Less(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static int Mask(D a) { return _mm256_movemask_pd(a); }
    static void Load(const PlanePoint* p, D& re, D& im)
    {
        // re0 im0 re1 im1 ... into re0 re1 re2 re3 | im0 im1 im2 im3
        const __m256i split = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
        const __m256 ps = _mm256_permutevar8x32_ps(_mm256_loadu_ps(&p->re), split);
        re = _mm256_cvtps_pd(_mm256_castps256_ps128(ps));
        im = _mm256_cvtps_pd(_mm256_extractf128_ps(ps, 1));
    }
    static __m128i ToInt32(D a) { return _mm256_cvttpd_epi32(a); }
    static __m128 ToFloat(D a) { return _mm256_cvtpd_ps(a); }
    static D FromFloat(__m128 f) { return _mm256_cvtps_pd(f); }
    static void Store(PlanePoint* p, __m128 re, __m128 im)
    {
        _mm_storeu_ps(&p[0].re, _mm_unpacklo_ps(re, im));
        _mm_storeu_ps(&p[2].re, _mm_unpackhi_ps(re, im));
    }
    static __m128i Offsets(__m128i px, __m128i py, __m128i width)
    {
        const __m128i index = _mm_add_epi32(_mm_mullo_epi32(py, width), px);
        return _mm_add_epi32(_mm_add_epi32(index, index), index);
    }
};

}  // namespace

void StepBlockAvx2(const StepConstants& k, PlanePoint* z, const PlanePoint* c, int32_t begin,
                   int32_t end, StepOutput& out)
{
    StepBlockLanes<Avx2Lanes>(k, z, c, begin, end, out);
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
