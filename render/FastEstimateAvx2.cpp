// Distance estimates of independent points four at a time with AVX2: each
// lane follows one orbit and takes the next point as soon as its orbit ends,
// so lanes stay busy while the orbits differ in length. Built for AVX2
// (without FMA); called only on processors that have it.
#include <cmath>
#include <cstdint>

#include "app/SharedTypes.h"

void EstimateBatchAvx2(const PlanePoint* points, double* results, int32_t count, int32_t iterations);

#if defined(__AVX2__)
#include <immintrin.h>

namespace {

struct Lanes {
    alignas(32) double re[4], im[4], cRe[4], cIm[4], d[4];
    alignas(32) double savedRe[4], savedIm[4], savedD[4];
    alignas(32) int64_t step[4], power[4], length[4];
    int32_t point[4];  // index into points, -1 when idle
};

// The orbit of the lane has ended: its estimate as the plain code forms it.
double Finish(const Lanes& l, int lane)
{
    const double re = l.re[lane];
    const double im = l.im[lane];
    const double r = std::sqrt(re * re + im * im);
    return ((0.5 * r) * std::log(r)) / l.d[lane];
}

void Start(Lanes& l, int lane, const PlanePoint* points, int32_t index)
{
    l.point[lane] = index;
    const double re = index >= 0 ? points[index].re : 0.0;
    const double im = index >= 0 ? points[index].im : 0.0;
    l.re[lane] = l.cRe[lane] = l.savedRe[lane] = re;
    l.im[lane] = l.cIm[lane] = l.savedIm[lane] = im;
    l.d[lane] = l.savedD[lane] = 1.0;
    l.step[lane] = 0;
    l.power[lane] = 1;
    l.length[lane] = 0;
}

}  // namespace

void EstimateBatchAvx2(const PlanePoint* points, double* results, int32_t count, int32_t iterations)
{
    Lanes l;
    int32_t next = 0;
    int busy = 0;  // lanes following an orbit
    for (int lane = 0; lane < 4; ++lane) {
        Start(l, lane, points, next < count ? next : -1);
        if (next < count) ++next, busy |= 1 << lane;
    }
    const __m256d four = _mm256_set1_pd(4.0);
    const __m256d two = _mm256_set1_pd(2.0);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256i limit = _mm256_set1_epi64x(iterations);
    const __m256i oneStep = _mm256_set1_epi64x(1);
    while (busy) {
        __m256d re = _mm256_load_pd(l.re), im = _mm256_load_pd(l.im);
        __m256d d = _mm256_load_pd(l.d);
        const __m256d cRe = _mm256_load_pd(l.cRe), cIm = _mm256_load_pd(l.cIm);
        __m256d savedRe = _mm256_load_pd(l.savedRe), savedIm = _mm256_load_pd(l.savedIm);
        __m256d savedD = _mm256_load_pd(l.savedD);
        __m256i step = _mm256_load_si256(reinterpret_cast<const __m256i*>(l.step));
        __m256i power = _mm256_load_si256(reinterpret_cast<const __m256i*>(l.power));
        __m256i length = _mm256_load_si256(reinterpret_cast<const __m256i*>(l.length));
        int ended = 0, repeated = 0;
        for (;;) {
            const __m256d re2 = _mm256_mul_pd(re, re);
            const __m256d im2 = _mm256_mul_pd(im, im);
            const __m256d m = _mm256_add_pd(re2, im2);
            // A lane goes on while step < iterations and m < 4 (NaN ends it).
            const __m256d goesOn = _mm256_and_pd(_mm256_cmp_pd(m, four, _CMP_LT_OQ),
                                                 _mm256_castsi256_pd(_mm256_cmpgt_epi64(limit, step)));
            ended = (_mm256_movemask_pd(goesOn) ^ 15) & busy;
            if (ended) break;
            d = _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(two, d), _mm256_sqrt_pd(m)), one);
            const __m256d nextIm = _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(two, re), im), cIm);
            re = _mm256_add_pd(_mm256_sub_pd(re2, im2), cRe);
            im = nextIm;
            step = _mm256_add_epi64(step, oneStep);
            length = _mm256_add_epi64(length, oneStep);
            // The whole state bit for bit equal to the one saved: a cycle.
            const __m256i same = _mm256_and_si256(
                _mm256_and_si256(_mm256_cmpeq_epi64(_mm256_castpd_si256(re), _mm256_castpd_si256(savedRe)),
                                 _mm256_cmpeq_epi64(_mm256_castpd_si256(im), _mm256_castpd_si256(savedIm))),
                _mm256_cmpeq_epi64(_mm256_castpd_si256(d), _mm256_castpd_si256(savedD)));
            repeated = _mm256_movemask_pd(_mm256_castsi256_pd(same)) & busy;
            if (repeated) break;
            const __m256i save = _mm256_cmpeq_epi64(length, power);
            const __m256d saveD = _mm256_castsi256_pd(save);
            savedRe = _mm256_blendv_pd(savedRe, re, saveD);
            savedIm = _mm256_blendv_pd(savedIm, im, saveD);
            savedD = _mm256_blendv_pd(savedD, d, saveD);
            power = _mm256_blendv_epi8(power, _mm256_add_epi64(power, power), save);
            length = _mm256_andnot_si256(save, length);
        }
        _mm256_store_pd(l.re, re);
        _mm256_store_pd(l.im, im);
        _mm256_store_pd(l.d, d);
        _mm256_store_pd(l.savedRe, savedRe);
        _mm256_store_pd(l.savedIm, savedIm);
        _mm256_store_pd(l.savedD, savedD);
        _mm256_store_si256(reinterpret_cast<__m256i*>(l.step), step);
        _mm256_store_si256(reinterpret_cast<__m256i*>(l.power), power);
        _mm256_store_si256(reinterpret_cast<__m256i*>(l.length), length);
        if (repeated) {
            // Every later state repeats with this period and never escapes:
            // jump over the whole cycles that remain. The lane then goes on
            // as before; the save below keeps the search going.
            for (int lane = 0; lane < 4; ++lane) {
                if (!((repeated >> lane) & 1)) continue;
                const int64_t period = l.length[lane];
                l.step[lane] += (iterations - l.step[lane]) / period * period;
                if (l.length[lane] == l.power[lane]) {
                    l.savedRe[lane] = l.re[lane];
                    l.savedIm[lane] = l.im[lane];
                    l.savedD[lane] = l.d[lane];
                    l.power[lane] *= 2;
                    l.length[lane] = 0;
                }
            }
            continue;
        }
        for (int lane = 0; lane < 4; ++lane) {
            if (!((ended >> lane) & 1)) continue;
            results[l.point[lane]] = Finish(l, lane);
            if (next < count) {
                Start(l, lane, points, next++);
            } else {
                // Idle from now on; its arithmetic goes on unread.
                busy &= ~(1 << lane);
            }
        }
    }
}

#elif defined(__i386__) || defined(__x86_64__)
#error "this file must be built with -mavx2"
#else

double DistanceEstimateFast(PlanePoint p, int32_t iterations);

void EstimateBatchAvx2(const PlanePoint* points, double* results, int32_t count, int32_t iterations)
{
    for (int32_t k = 0; k < count; ++k) results[k] = DistanceEstimateFast(points[k], iterations);
}

#endif
