#include "render/FastSeed.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "app/AppState.h"
#include "render/RenderPath.h"
#include "render/HelperThreads.h"
#include "render/Samples.h"

// --- Distance estimate and snap ---------------------------------------------------

static bool SameBits(double a, double b)
{
    uint64_t x, y;
    std::memcpy(&x, &a, 8);
    std::memcpy(&y, &b, 8);
    return x == y;
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
        const double re2 = re * re;
        const double im2 = im * im;
        const double m = re2 + im2;
        if (!(m < 4.0)) {
            escaped = true;
            break;
        }
        d = 2.0 * d * std::sqrt(m) + 1.0;
        const double nextIm = 2.0 * re * im + cIm;
        re = re2 - im2 + cRe;
        im = nextIm;
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
    if (!escaped) {
        for (; i < iterations; ++i) {
            const double re2 = re * re;
            const double im2 = im * im;
            const double m = re2 + im2;
            if (!(m < 4.0)) break;
            d = 2.0 * d * std::sqrt(m) + 1.0;
            const double nextIm = 2.0 * re * im + cIm;
            re = re2 - im2 + cRe;
            im = nextIm;
        }
    }
    const double r = std::sqrt(re * re + im * im);
    return ((0.5 * r) * std::log(r)) / d;
}

void SnapToBorderFast(PlanePoint& p)
{
    const int32_t iterations = app.settings.Iterations;
    const double e = DistanceEstimateFast(p, iterations);
    const float a = static_cast<float>(e);
    PlanePoint probe = p;
    probe.im = static_cast<float>(p.im + e / 2.0);
    const double b = DistanceEstimateFast(probe, iterations);
    const float s = a < 0.0f ? -1.0f : 1.0f;
    const float direction = b > a ? -s : s;
    if (!(std::fabs(a) > app.settings.BorderDistance)) return;
    // The walk's first step is the estimate at the unmoved point: e.
    double estimate = e;
    for (int32_t n = 1; n <= 256; ++n) {
        const double step = estimate * direction;
        p.im = static_cast<float>(p.im + step);
        if (!(std::fabs(step) > app.settings.BorderDistance)) return;
        if (n < 256) estimate = DistanceEstimateFast(p, iterations);
    }
}

// --- Jittered positions -----------------------------------------------------------

// The angle depends on the first draw alone: cos and sin of each of the
// 32768 angles, from the same calls the plain seeding makes.
static double angleCos[32768];
static double angleSin[32768];
static std::once_flag anglesFilled;

static double UnitFromDraw(int32_t r)
{
    const double reciprocal = 3.051850947599719e-05;
    return 1.0 - 2.0 * r * reciprocal;
}

static void FillAngles()
{
    for (int32_t r = 0; r < 32768; ++r) {
        const float angle = static_cast<float>(UnitFromDraw(r) * 3.1416);
        angleCos[r] = std::cos(static_cast<double>(angle));
        angleSin[r] = std::sin(static_cast<double>(angle));
    }
}

struct Jitter {
    float x;
    float y;
    double radius;  // SampleRadius
};

static Jitter ReadJitter()
{
    std::call_once(anglesFilled, FillAngles);
    return {app.settings.X, app.settings.Y, static_cast<double>(app.settings.SampleRadius)};
}

// Two draws, angle first, as SeedPosition before its snap.
static PlanePoint DrawPosition(const Jitter& j)
{
    const int32_t r1 = NextRandom();
    const double u = UnitFromDraw(NextRandom());
    const double radius = j.radius * u * u;
    PlanePoint z;
    z.re = static_cast<float>(j.x + radius * angleCos[r1]);
    z.im = static_cast<float>(j.y + radius * angleSin[r1]);
    return z;
}

// --- Snaps in batches ---------------------------------------------------------------

void EstimateBatchAvx2(const PlanePoint* points, double* results, int32_t count, int32_t iterations);

static void EstimateBatchScalar(const PlanePoint* points, double* results, int32_t count, int32_t iterations)
{
    for (int32_t k = 0; k < count; ++k) results[k] = DistanceEstimateFast(points[k], iterations);
}

void EstimateBatch(const PlanePoint* points, double* results, int32_t count, int32_t iterations)
{
    if (CurrentRenderPath() == renderPathAvx2 && RenderPathAvailable(renderPathAvx2))
        EstimateBatchAvx2(points, results, count, iterations);
    else
        EstimateBatchScalar(points, results, count, iterations);
}

// Snaps points[0 .. count - 1] as SnapToBorderFast snaps each one, the walks
// side by side: each round estimates every walk still going at once.
static void SnapBatch(PlanePoint* p, int32_t count)
{
    const int32_t iterations = app.settings.Iterations;
    const float borderDistance = app.settings.BorderDistance;
    std::vector<double> e(count), b(count), current(count), values(count);
    std::vector<PlanePoint> probes(count);
    std::vector<float> direction(count);
    std::vector<int32_t> walking, still;
    EstimateBatch(p, e.data(), count, iterations);
    for (int32_t k = 0; k < count; ++k) {
        probes[k] = p[k];
        probes[k].im = static_cast<float>(p[k].im + e[k] / 2.0);
    }
    EstimateBatch(probes.data(), b.data(), count, iterations);
    for (int32_t k = 0; k < count; ++k) {
        const float a = static_cast<float>(e[k]);
        const float s = a < 0.0f ? -1.0f : 1.0f;
        direction[k] = b[k] > a ? -s : s;
        // The walk's first step is the estimate at the unmoved point.
        current[k] = e[k];
        if (std::fabs(a) > borderDistance) walking.push_back(k);
    }
    for (int32_t n = 1; n <= 256 && !walking.empty(); ++n) {
        still.clear();
        for (int32_t k : walking) {
            const double step = current[k] * direction[k];
            p[k].im = static_cast<float>(p[k].im + step);
            if (std::fabs(step) > borderDistance) still.push_back(k);
        }
        walking.swap(still);
        if (n == 256 || walking.empty()) break;
        const int32_t m = static_cast<int32_t>(walking.size());
        for (int32_t j = 0; j < m; ++j) probes[j] = p[walking[j]];
        EstimateBatch(probes.data(), values.data(), m, iterations);
        for (int32_t j = 0; j < m; ++j) current[walking[j]] = values[j];
    }
}

// Walks per part: enough to keep the vector lanes busy.
constexpr int32_t kSnapGroup = 16;

struct SnapJob {
    PlanePoint* points;
    int32_t count;
    uint8_t* done;  // null: snap regardless of a stop
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
    SnapBatch(job.points + begin, n);
    if (job.done) std::fill(job.done + begin, job.done + begin + n, 1);
}

static void SnapAll(PlanePoint* points, uint8_t* done, int32_t count, int32_t threads)
{
    SnapJob job = {points, count, done};
    const int32_t parts = (count + kSnapGroup - 1) / kSnapGroup;
    RunParts(SnapPart, &job, parts, std::min(threads, parts) - 1);
}

// --- Reseeding and seeding --------------------------------------------------------

static std::vector<PlanePoint> drawn;
static std::vector<uint32_t> stateBefore;
static std::vector<uint8_t> snapped;

void ReseedSamples(SampleSet& s, const int32_t* indices, int32_t count, bool borderOnly, int32_t threads)
{
    const Jitter j = ReadJitter();
    const bool julia = app.settings.Julia;
    if (!borderOnly) {
        for (int32_t k = 0; k < count; ++k) {
            const int32_t i = indices[k];
            s.z[i] = DrawPosition(j);
            s.c[i] = julia ? s.c[0] : s.z[i];
        }
        return;
    }
    drawn.resize(static_cast<size_t>(count));
    for (int32_t k = 0; k < count; ++k) drawn[k] = DrawPosition(j);
    SnapAll(drawn.data(), nullptr, count, threads);
    for (int32_t k = 0; k < count; ++k) {
        const int32_t i = indices[k];
        s.z[i] = drawn[k];
        s.c[i] = julia ? s.c[0] : s.z[i];
    }
}

// Samples drawn and snapped together; a stop is seen between snaps.
constexpr int32_t kSeedChunk = 4096;

bool SeedPositionsFast()
{
    const int32_t threads = RenderThreads();
    for (int32_t start = 0;; start += kSeedChunk) {
        int32_t total;
        {
            std::lock_guard<std::mutex> hold(app.blocksLock);
            total = app.samples.count;
        }
        if (start >= total) return true;
        const int32_t n = std::min(kSeedChunk, total - start);
        const Jitter j = ReadJitter();
        drawn.resize(static_cast<size_t>(n));
        stateBefore.resize(static_cast<size_t>(n));
        snapped.assign(static_cast<size_t>(n), 1);
        const bool borderOnly = app.settings.BorderOnly;
        int32_t kept = n;
        for (int32_t k = 0; k < n; ++k) {
            stateBefore[k] = RandomState();
            drawn[k] = DrawPosition(j);
            // Without snaps a stop is seen after each sample, as the plain
            // seeding sees it.
            if (!borderOnly && !app.running) {
                kept = k + 1;
                break;
            }
        }
        if (borderOnly) {
            std::fill(snapped.begin(), snapped.end(), 0);
            SnapAll(drawn.data(), snapped.data(), n, threads);
            kept = static_cast<int32_t>(std::find(snapped.begin(), snapped.end(), 0) - snapped.begin());
        }
        {
            std::lock_guard<std::mutex> hold(app.blocksLock);
            SampleSet& s = app.samples;
            const bool julia = app.settings.Julia;
            for (int32_t k = 0; k < kept && start + k < s.count; ++k) {
                const int32_t i = start + k;
                s.z[i] = drawn[k];
                s.c[i] = julia ? s.z[0] : s.z[i];
            }
        }
        if (kept < n) {
            // As if the stop had come right after the last sample kept.
            if (borderOnly) SetRandomState(stateBefore[kept]);
            return false;
        }
        if (!app.running) return false;
    }
}
