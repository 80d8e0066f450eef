// The step phase two samples at a time with SSE2, which both builds have.
#include "render/fast/FastStepLanes.h"
#include "render/fast/Kernels.h"

#if defined(__SSE2__)

namespace {

struct Sse2Lanes {
    typedef __m128d D;
    static constexpr int count = 2;
    static D Set(double v) { return _mm_set1_pd(v); }
    static D Add(D a, D b) { return _mm_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm_mul_pd(a, b); }
    static D Or(D a, D b) { return _mm_or_pd(a, b); }
    static D Greater(D a, D b) { return _mm_cmpgt_pd(a, b); }
    static D Less(D a, D b) { return _mm_cmplt_pd(a, b); }
    static int Mask(D a) { return _mm_movemask_pd(a); }
    static void Load(const PlanePoint* p, D& re, D& im)
    {
        const __m128 pp = _mm_loadu_ps(&p->re);                              // re0 im0 re1 im1
        const __m128 ps = _mm_shuffle_ps(pp, pp, _MM_SHUFFLE(3, 1, 2, 0));  // re0 re1 im0 im1
        re = _mm_cvtps_pd(ps);
        im = _mm_cvtps_pd(_mm_movehl_ps(ps, ps));
    }
    static __m128i ToInt32(D a) { return _mm_cvttpd_epi32(a); }
    static __m128 ToFloat(D a) { return _mm_cvtpd_ps(a); }
    static D FromFloat(__m128 f) { return _mm_cvtps_pd(f); }
    static void Store(PlanePoint* p, __m128 re, __m128 im) { _mm_storeu_ps(&p->re, _mm_unpacklo_ps(re, im)); }
    // SSE2 multiplies unsigned 32-bit lanes 0 and 2 into 64 bits: spread the
    // two rows there and gather the low halves back.
    static __m128i Offsets(__m128i px, __m128i py, __m128i width)
    {
        const __m128i spread = _mm_shuffle_epi32(py, _MM_SHUFFLE(3, 1, 2, 0));
        const __m128i product = _mm_shuffle_epi32(_mm_mul_epu32(spread, width), _MM_SHUFFLE(3, 1, 2, 0));
        const __m128i index = _mm_add_epi32(product, px);
        return _mm_add_epi32(_mm_add_epi32(index, index), index);
    }
};

}  // namespace

void StepBlockSse2(const StepConstants& k, PlanePoint* z, const PlanePoint* c, int32_t begin,
                   int32_t end, StepOutput& out)
{
    StepBlockLanes<Sse2Lanes>(k, z, c, begin, end, out);
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
