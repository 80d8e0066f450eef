#include "render/fast/FastEstimate.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "app/AppState.h"
#include "render/Draws.h"
#include "render/EstimateSteps.h"
#include "render/fast/HelperThreads.h"

SnapConstants ReadSnapConstants()
{
    return {app.settings.Iterations, app.settings.BorderDistance, CurrentKernels().estimateFeed};
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
    return EstimateFromOrbit(re, im, d);
}

void EstimateFeedScalar(const EstimateFeed& feed, int32_t iterations)
{
    PlanePoint p;
    int32_t ticket;
    while (feed.take(feed.context, p, ticket)) feed.give(feed.context, ticket, DistanceEstimateFast(p, iterations));
}

// --- Estimates of an array of points ----------------------------------------------

struct ArrayFeed {
    const PlanePoint* points;
    double* results;
    int32_t count;
    int32_t next;
};

static bool TakeFromArray(void* context, PlanePoint& point, int32_t& ticket)
{
    ArrayFeed& a = *static_cast<ArrayFeed*>(context);
    if (a.next >= a.count) return false;
    ticket = a.next++;
    point = a.points[ticket];
    return true;
}

static void GiveToArray(void* context, int32_t ticket, double estimate)
{
    static_cast<ArrayFeed*>(context)->results[ticket] = estimate;
}

void EstimateBatch(const PlanePoint* points, double* results, int32_t count, int32_t iterations)
{
    ArrayFeed a = {points, results, count, 0};
    CurrentKernels().estimateFeed({TakeFromArray, GiveToArray, &a}, iterations);
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

// --- Snaps shared among lanes and threads ----------------------------------------

// One walk of SnapToBorderFast, taken apart at its estimates: each result
// moves the walk on to its next estimate or ends it. The walks of a job are
// taken in order by whichever thread is free, and each thread's estimate
// kernel takes the next estimate of any of its walks as a lane comes free.
enum WalkPhase : uint8_t { walkFirst, walkProbe, walkStep };

struct Walk {
    PlanePoint p;
    double e;        // the first estimate
    double current;  // the estimate the next step moves by
    float direction;
    int32_t n;       // steps taken
    WalkPhase phase;  // which estimate is asked for
};

struct SnapJob {
    PlanePoint* points;
    int32_t count;
    uint8_t* done;  // null: snap regardless of a stop
    SnapConstants k;
    Walk* walks;
    std::atomic<int32_t> nextWalk{0};
    std::atomic<int32_t> walksEnded{0};
};

// The walks one thread follows: their estimates asked for and not yet in a
// lane. A thread starts a walk only when it has none of these and a lane is
// free, so it follows at most a lane count of walks; the stack never fills.
struct WalkFeed {
    SnapJob* job;
    int32_t asked[64];
    int32_t askedCount;
};

static PlanePoint AskedPoint(const Walk& w)
{
    if (w.phase != walkProbe) return w.p;
    PlanePoint probe = w.p;
    probe.im = static_cast<float>(w.p.im + w.e / 2.0);
    return probe;
}

static bool TakeEstimate(void* context, PlanePoint& point, int32_t& ticket)
{
    WalkFeed& f = *static_cast<WalkFeed*>(context);
    SnapJob& job = *f.job;
    if (f.askedCount > 0) {
        ticket = f.asked[--f.askedCount];
        point = AskedPoint(job.walks[ticket]);
        return true;
    }
    const int32_t w = job.nextWalk.fetch_add(1, std::memory_order_relaxed);
    if (w >= job.count) return false;
    // A stop starts no walk but the first: a seeding always seeds the
    // sample it is at when the stop comes.
    if (job.done && w > 0 && !app.running) {
        job.nextWalk.store(job.count, std::memory_order_relaxed);
        return false;
    }
    job.walks[w] = {job.points[w], 0.0, 0.0, 1.0f, 0, walkFirst};
    ticket = w;
    point = job.points[w];
    return true;
}

static void EndWalk(SnapJob& job, int32_t w)
{
    job.points[w] = job.walks[w].p;
    if (job.done) job.done[w] = 1;
    job.walksEnded.fetch_add(1, std::memory_order_relaxed);
}

// One step of the walk; then its next estimate is asked for, or it ends.
static void StepWalk(WalkFeed& f, int32_t w)
{
    SnapJob& job = *f.job;
    Walk& walk = job.walks[w];
    const double step = walk.current * walk.direction;
    walk.p.im = static_cast<float>(walk.p.im + step);
    if (!(std::fabs(step) > job.k.borderDistance) || walk.n == 256) {
        EndWalk(job, w);
        return;
    }
    walk.phase = walkStep;
    f.asked[f.askedCount++] = w;
}

static void GiveEstimate(void* context, int32_t w, double estimate)
{
    WalkFeed& f = *static_cast<WalkFeed*>(context);
    SnapJob& job = *f.job;
    Walk& walk = job.walks[w];
    switch (walk.phase) {
    case walkFirst:
        walk.e = estimate;
        walk.phase = walkProbe;
        f.asked[f.askedCount++] = w;
        return;
    case walkProbe: {
        const float a = static_cast<float>(walk.e);
        const float s = a < 0.0f ? -1.0f : 1.0f;
        walk.direction = estimate > a ? -s : s;
        if (!(std::fabs(a) > job.k.borderDistance)) {
            EndWalk(job, w);
            return;
        }
        // The walk's first step is the estimate at the unmoved point.
        walk.current = walk.e;
        walk.n = 1;
        StepWalk(f, w);
        return;
    }
    case walkStep:
        walk.current = estimate;
        ++walk.n;
        StepWalk(f, w);
        return;
    }
}

static void SnapPart(void* context, int32_t)
{
    SnapJob& job = *static_cast<SnapJob*>(context);
    WalkFeed f = {&job, {}, 0};
    job.k.estimateFeed({TakeEstimate, GiveEstimate, &f}, job.k.iterations);
}

// Walks a thread should have at least, so helpers are worth waking.
constexpr int32_t kWalksPerThread = 8;

static void PrepareJob(SnapJob& job, std::vector<Walk>& walks, PlanePoint* points, uint8_t* done,
                       int32_t count, const SnapConstants& k)
{
    walks.resize(static_cast<size_t>(count));
    job.points = points;
    job.count = count;
    job.done = done;
    job.k = k;
    job.walks = walks.data();
    job.nextWalk.store(0, std::memory_order_relaxed);
    job.walksEnded.store(0, std::memory_order_relaxed);
}

// Fewer parts than threads leave the extra helpers idle; asking for the
// same helpers as the passes do keeps them from being restarted.
static int32_t SnapParts(int32_t count, int32_t threads)
{
    return std::max(1, std::min(threads, count / kWalksPerThread));
}

// Only the worker snaps: one job waited for, one walked in the background.
static SnapJob nowJob, backgroundJob;
static std::vector<Walk> nowWalks, backgroundWalks;
static bool background = false;

void SnapAll(PlanePoint* points, uint8_t* done, int32_t count, const SnapConstants& k, int32_t threads)
{
    if (count <= 0) return;
    PrepareJob(nowJob, nowWalks, points, done, count, k);
    const int32_t parts = SnapParts(count, threads);
    RunParts(SnapPart, &nowJob, parts, parts > 1 ? threads - 1 : 0);
}

void StartBackgroundSnaps(PlanePoint* points, int32_t count, const SnapConstants& k, int32_t threads)
{
    FinishBackgroundSnaps();
    PrepareJob(backgroundJob, backgroundWalks, points, nullptr, count, k);
    // A part per thread: the helpers walk now, the caller joins at the finish.
    StartParts(SnapPart, &backgroundJob, threads, threads - 1);
    background = true;
}

bool BackgroundSnapsBusy()
{
    return background && PartsStarted(&backgroundJob) &&
           backgroundJob.walksEnded.load(std::memory_order_relaxed) < backgroundJob.count;
}

void FinishBackgroundSnaps()
{
    if (!background) return;
    // Another job may have finished it already; then this returns at once.
    if (PartsStarted(&backgroundJob)) FinishParts();
    background = false;
}

void CancelBackgroundSnaps()
{
    if (!background) return;
    backgroundJob.nextWalk.store(backgroundJob.count, std::memory_order_relaxed);
    FinishBackgroundSnaps();
}
