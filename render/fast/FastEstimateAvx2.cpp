// Distance estimates of independent points four or eight at a time with
// AVX2. One orbit's step is a chain of dependent operations that leaves
// the processor mostly idle: a second vector of four lanes, its steps
// interleaved, comes almost free when there are more than four points. Each
// lane follows one orbit and takes the next point from the feed as soon as
// its orbit ends, so lanes stay busy while the orbits differ in length.
// Built for AVX2 (without FMA); called only on processors that have it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/SharedTypes.h"
#include "render/Draws.h"
#include "render/EstimateSteps.h"
#include "render/fast/Kernels.h"

#if defined(__AVX2__)
#include <immintrin.h>

namespace {

constexpr int kLanes = 8;

struct Lanes {
    alignas(32) double re[kLanes], im[kLanes], cRe[kLanes], cIm[kLanes], d[kLanes];
    alignas(32) double savedRe[kLanes], savedIm[kLanes], savedD[kLanes];
    int64_t step[kLanes], power[kLanes], length[kLanes];
    int32_t ticket[kLanes];  // the feed's ticket of the lane's point
};

// The orbit of the lane has ended: its estimate as the plain code forms it.
double Finish(const Lanes& l, int lane) { return EstimateFromOrbit(l.re[lane], l.im[lane], l.d[lane]); }

void Start(Lanes& l, int lane, PlanePoint p, int32_t ticket)
{
    l.ticket[lane] = ticket;
    const double re = p.re;
    const double im = p.im;
    l.re[lane] = l.cRe[lane] = l.savedRe[lane] = re;
    l.im[lane] = l.cIm[lane] = l.savedIm[lane] = im;
    l.d[lane] = l.savedD[lane] = 1.0;
    l.step[lane] = 0;
    l.power[lane] = 1;
    l.length[lane] = 0;
}

// One step of four orbits, in the operation order of the plain estimate.
inline void Step(__m256d& re, __m256d& im, __m256d& d, __m256d re2, __m256d im2, __m256d m, __m256d cRe,
                 __m256d cIm)
{
    const __m256d two = _mm256_set1_pd(2.0);
    d = _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(two, d), _mm256_sqrt_pd(m)), _mm256_set1_pd(1.0));
    const __m256d nextIm = _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(two, re), im), cIm);
    re = _mm256_add_pd(_mm256_sub_pd(re2, im2), cRe);
    im = nextIm;
}

// Lanes whose real part and d equal the saved ones bit for bit.
inline int SameAsSaved(__m256d re, __m256d d, __m256d savedRe, __m256d savedD)
{
    const __m256i same = _mm256_and_si256(
        _mm256_cmpeq_epi64(_mm256_castpd_si256(re), _mm256_castpd_si256(savedRe)),
        _mm256_cmpeq_epi64(_mm256_castpd_si256(d), _mm256_castpd_si256(savedD)));
    return _mm256_movemask_pd(_mm256_castsi256_pd(same));
}

// Lanes whose orbit has escaped: m < 4 goes on, NaN ends.
inline int Escaped(__m256d m) { return _mm256_movemask_pd(_mm256_cmp_pd(m, _mm256_set1_pd(4.0), _CMP_LT_OQ)) ^ 15; }

// Gives idle lanes below lanes new points while the feed has them. False
// when the feed had none for some idle lane.
bool Refill(Lanes& l, int& busy, int lanes, const EstimateFeed& feed)
{
    for (int lane = 0; lane < lanes; ++lane) {
        if ((busy >> lane) & 1) continue;
        PlanePoint p;
        int32_t ticket;
        if (!feed.take(feed.context, p, ticket)) return false;
        Start(l, lane, p, ticket);
        busy |= 1 << lane;
    }
    return true;
}

// The lanes' orbits on H vectors of four lanes, until every lane is idle or,
// with two vectors, until the feed runs dry and four lanes are enough: each
// result makes at most one more point ready, so the work left never grows
// back beyond the lanes still busy.
template <int H>
void RunLanes(Lanes& l, int& busy, const EstimateFeed& feed, int32_t iterations)
{
    constexpr int lanes = 4 * H;
    while (busy) {
        // The steps every lane takes before one of them reaches its limit or
        // the length at which it saves its state: the loop counts them once
        // for all lanes.
        int64_t run = INT64_MAX;
        for (int lane = 0; lane < lanes; ++lane)
            if ((busy >> lane) & 1)
                run = std::min(run, std::min<int64_t>(iterations - l.step[lane], l.power[lane] - l.length[lane]));
        __m256d re[H], im[H], d[H], cRe[H], cIm[H], savedRe[H], savedD[H];
        for (int h = 0; h < H; ++h) {
            re[h] = _mm256_load_pd(l.re + 4 * h);
            im[h] = _mm256_load_pd(l.im + 4 * h);
            d[h] = _mm256_load_pd(l.d + 4 * h);
            cRe[h] = _mm256_load_pd(l.cRe + 4 * h);
            cIm[h] = _mm256_load_pd(l.cIm + 4 * h);
            savedRe[h] = _mm256_load_pd(l.savedRe + 4 * h);
            savedD[h] = _mm256_load_pd(l.savedD + 4 * h);
        }
        int escaped = 0, perhaps = 0;
        int64_t k = 0;
        for (;;) {
            __m256d re2[H], im2[H], m[H];
            escaped = 0;
            for (int h = 0; h < H; ++h) {
                re2[h] = _mm256_mul_pd(re[h], re[h]);
                im2[h] = _mm256_mul_pd(im[h], im[h]);
                m[h] = _mm256_add_pd(re2[h], im2[h]);
                escaped |= Escaped(m[h]) << 4 * h;
            }
            escaped &= busy;
            if (escaped || k == run) break;
            for (int h = 0; h < H; ++h) Step(re[h], im[h], d[h], re2[h], im2[h], m[h], cRe[h], cIm[h]);
            ++k;
            // The imaginary part is compared below.
            perhaps = 0;
            for (int h = 0; h < H; ++h) perhaps |= SameAsSaved(re[h], d[h], savedRe[h], savedD[h]) << 4 * h;
            perhaps &= busy;
            if (perhaps) break;
        }
        for (int h = 0; h < H; ++h) {
            _mm256_store_pd(l.re + 4 * h, re[h]);
            _mm256_store_pd(l.im + 4 * h, im[h]);
            _mm256_store_pd(l.d + 4 * h, d[h]);
        }
        int ended = escaped;
        for (int lane = 0; lane < lanes; ++lane) {
            if (!((busy >> lane) & 1)) continue;
            l.step[lane] += k;
            l.length[lane] += k;
            if (((perhaps >> lane) & 1) && SameBits(l.im[lane], l.savedIm[lane])) {
                // The whole state repeats, so every later one does with this
                // period and never escapes: jump over the whole cycles left.
                const int64_t period = l.length[lane];
                l.step[lane] += (iterations - l.step[lane]) / period * period;
            }
            if (l.length[lane] == l.power[lane]) {
                l.savedRe[lane] = l.re[lane];
                l.savedIm[lane] = l.im[lane];
                l.savedD[lane] = l.d[lane];
                l.power[lane] *= 2;
                l.length[lane] = 0;
            }
            // Stopped before a step, not after one: a lane at its limit ends.
            if (!perhaps && l.step[lane] >= iterations) ended |= 1 << lane;
        }
        if (!ended) continue;
        for (int lane = 0; lane < lanes; ++lane) {
            if (!((ended >> lane) & 1)) continue;
            // Idle until refilled; its arithmetic goes on unread.
            busy &= ~(1 << lane);
            feed.give(feed.context, l.ticket[lane], Finish(l, lane));
        }
        const bool full = Refill(l, busy, lanes, feed);
        if (H > 1 && !full && __builtin_popcount(busy) <= 4) return;
    }
}

void MoveLane(Lanes& l, int from, int to)
{
    l.re[to] = l.re[from];
    l.im[to] = l.im[from];
    l.cRe[to] = l.cRe[from];
    l.cIm[to] = l.cIm[from];
    l.d[to] = l.d[from];
    l.savedRe[to] = l.savedRe[from];
    l.savedIm[to] = l.savedIm[from];
    l.savedD[to] = l.savedD[from];
    l.step[to] = l.step[from];
    l.power[to] = l.power[from];
    l.length[to] = l.length[from];
    l.ticket[to] = l.ticket[from];
}

}  // namespace

void EstimateFeedAvx2(const EstimateFeed& feed, int32_t iterations)
{
    Lanes l;
    // Idle lanes hold a harmless orbit: their arithmetic goes on unread.
    for (int lane = 0; lane < kLanes; ++lane) Start(l, lane, PlanePoint{0.0f, 0.0f}, -1);
    int busy = 0;  // lanes following an orbit
    Refill(l, busy, kLanes, feed);
    if (__builtin_popcount(busy) > 4) {
        RunLanes<2>(l, busy, feed, iterations);
        // The last orbits go on in the first four lanes.
        int moved = 0;
        for (int lane = 0; lane < 8; ++lane)
            if ((busy >> lane) & 1) MoveLane(l, lane, moved++);
        busy = (1 << moved) - 1;
    }
    RunLanes<1>(l, busy, feed, iterations);
}

#elif defined(__i386__) || defined(__x86_64__)
#error "this file must be built with -mavx2"
#else

void EstimateFeedAvx2(const EstimateFeed& feed, int32_t iterations) { EstimateFeedScalar(feed, iterations); }

#endif
