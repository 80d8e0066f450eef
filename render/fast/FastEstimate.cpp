#include "render/fast/FastEstimate.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/AppState.h"
#include "render/Draws.h"
#include "render/fast/HelperThreads.h"

SnapConstants ReadSnapConstants()
{
    return {app.settings.Iterations, app.settings.BorderDistance, CurrentKernels().estimateBatch};
}

// One step of the estimate's orbit and bound, in the plain estimate's
// operation order. False, with nothing changed, when the orbit has escaped
// (NaN counts as escaped).
static inline bool EstimateStep(double& re, double& im, double& d, double cRe, double cIm)
{
    const double re2 = re * re;
    const double im2 = im * im;
    const double m = re2 + im2;
    if (!(m < 4.0)) return false;
    d = 2.0 * d * std::sqrt(m) + 1.0;
    const double nextIm = 2.0 * re * im + cIm;
    re = re2 - im2 + cRe;
    im = nextIm;
    return true;
}

double DistanceEstimateFast(PlanePoint p, int32_t iterations)
{
    const double cRe = p.re;
    const double cIm = p.im;
    double re = cRe;
    double im = cIm;
    double d = 1.0;
    // Brent's cycle search on the whole state: once it repeats, every later
    // state repeats with the same period and the escape test never fails.
    double savedRe = re, savedIm = im, savedD = d;
    int64_t power = 1, length = 0;
    int32_t i = 0;
    bool escaped = false;
    while (i < iterations) {
        if (!EstimateStep(re, im, d, cRe, cIm)) {
            escaped = true;
            break;
        }
        ++i;
        ++length;
        if (SameBits(re, savedRe) && SameBits(im, savedIm) && SameBits(d, savedD)) {
            i += static_cast<int32_t>((iterations - i) / length * length);
            break;
        }
        if (length == power) {
            savedRe = re;
            savedIm = im;
            savedD = d;
            power *= 2;
            length = 0;
        }
    }
    if (!escaped)
        for (; i < iterations && EstimateStep(re, im, d, cRe, cIm); ++i) {}
    const double r = std::sqrt(re * re + im * im);
    return ((0.5 * r) * std::log(r)) / d;
}

void EstimateBatchScalar(const PlanePoint* points, double* results, int32_t count, int32_t iterations)
{
    for (int32_t k = 0; k < count; ++k) results[k] = DistanceEstimateFast(points[k], iterations);
}

void SnapToBorderFast(PlanePoint& p, const SnapConstants& k)
{
    const double e = DistanceEstimateFast(p, k.iterations);
    const float a = static_cast<float>(e);
    PlanePoint probe = p;
    probe.im = static_cast<float>(p.im + e / 2.0);
    const double b = DistanceEstimateFast(probe, k.iterations);
    const float s = a < 0.0f ? -1.0f : 1.0f;
    const float direction = b > a ? -s : s;
    if (!(std::fabs(a) > k.borderDistance)) return;
    // The walk's first step is the estimate at the unmoved point: e.
    double estimate = e;
    for (int32_t n = 1; n <= 256; ++n) {
        const double step = estimate * direction;
        p.im = static_cast<float>(p.im + step);
        if (!(std::fabs(step) > k.borderDistance)) return;
        if (n < 256) estimate = DistanceEstimateFast(p, k.iterations);
    }
}

// Snaps p[0 .. count - 1] as SnapToBorderFast snaps each one, the walks side
// by side: each round estimates every walk still going at once.
static void SnapBatch(PlanePoint* p, int32_t count, const SnapConstants& k)
{
    std::vector<double> e(count), b(count), current(count), values(count);
    std::vector<PlanePoint> probes(count);
    std::vector<float> direction(count);
    std::vector<int32_t> walking, still;
    k.estimateBatch(p, e.data(), count, k.iterations);
    for (int32_t j = 0; j < count; ++j) {
        probes[j] = p[j];
        probes[j].im = static_cast<float>(p[j].im + e[j] / 2.0);
    }
    k.estimateBatch(probes.data(), b.data(), count, k.iterations);
    for (int32_t j = 0; j < count; ++j) {
        const float a = static_cast<float>(e[j]);
        const float s = a < 0.0f ? -1.0f : 1.0f;
        direction[j] = b[j] > a ? -s : s;
        // The walk's first step is the estimate at the unmoved point.
        current[j] = e[j];
        if (std::fabs(a) > k.borderDistance) walking.push_back(j);
    }
    for (int32_t n = 1; n <= 256 && !walking.empty(); ++n) {
        still.clear();
        for (int32_t j : walking) {
            const double step = current[j] * direction[j];
            p[j].im = static_cast<float>(p[j].im + step);
            if (std::fabs(step) > k.borderDistance) still.push_back(j);
        }
        walking.swap(still);
        if (n == 256 || walking.empty()) break;
        const int32_t m = static_cast<int32_t>(walking.size());
        for (int32_t j = 0; j < m; ++j) probes[j] = p[walking[j]];
        k.estimateBatch(probes.data(), values.data(), m, k.iterations);
        for (int32_t j = 0; j < m; ++j) current[walking[j]] = values[j];
    }
}

// Walks per part: enough to keep the vector lanes busy.
constexpr int32_t kSnapGroup = 16;

struct SnapJob {
    PlanePoint* points;
    int32_t count;
    uint8_t* done;  // null: snap regardless of a stop
    SnapConstants k;
};

static void SnapPart(void* context, int32_t part)
{
    const SnapJob& job = *static_cast<const SnapJob*>(context);
    const int32_t begin = part * kSnapGroup;
    int32_t n = std::min(kSnapGroup, job.count - begin);
    if (job.done && !app.running) {
        // A stop skips every snap not yet begun but the first: a seeding
        // always seeds the sample it is at when the stop comes.
        if (part > 0) return;
        n = 1;
    }
    SnapBatch(job.points + begin, n, job.k);
    if (job.done) std::fill(job.done + begin, job.done + begin + n, 1);
}

void SnapAll(PlanePoint* points, uint8_t* done, int32_t count, const SnapConstants& k, int32_t threads)
{
    if (count <= 0) return;
    SnapJob job = {points, count, done, k};
    const int32_t parts = (count + kSnapGroup - 1) / kSnapGroup;
    RunParts(SnapPart, &job, parts, std::min(threads, parts) - 1);
}
