#include "render/Worker.h"

#include <atomic>
#include <cstdint>
#include <mutex>

#include "app/AppState.h"
#include "platform/Platform.h"
#include "render/Image.h"
#include "render/OutputLayers.h"
#include "render/RenderPath.h"
#include "render/Samples.h"
#include "render/fast/FastPass.h"
#include "render/fast/FastSeed.h"
#include "render/fast/HelperThreads.h"

// Stop requests, counted (window thread writes, worker reads): a run start
// lowers and raises running itself, and a stop that arrives meanwhile would
// otherwise be overwritten and lost.
static Relaxed<uint32_t> stopRequests;

void StopRender()
{
    stopRequests = stopRequests + 1u;
    app.running = false;
    PostWindowTitle("stopped");
}

static std::atomic<void (*)()> runEndListener{nullptr};

void SetRunEndListener(void (*listener)()) { runEndListener.store(listener, std::memory_order_relaxed); }

// One step of z <- z^2 + c from the point read: carried in double, each part
// stored as float32.
static PlanePoint NextPoint(double re, double im, double re2, double im2, PlanePoint c)
{
    PlanePoint next;
    next.im = static_cast<float>(2.0 * re * im + c.im);
    next.re = static_cast<float>(re2 - im2 + c.re);
    return next;
}

void RegionPass()
{
    SampleSet& s = app.samples;
    const bool checkBailout = app.settings.CheckBailout;
    const bool julia = app.settings.Julia;
    const double maxBailout = app.settings.MaxBailout;
    const double minBailout = app.settings.MinBailout;
    for (int32_t i = 0; i < s.count; ++i) {
        const PlanePoint z = s.z[i];
        const double re = z.re;
        const double im = z.im;
        const double re2 = re * re;
        const double im2 = im * im;
        SplatOutput(z, s.colour[i]);
        const PlanePoint next = NextPoint(re, im, re2, im2, s.c[i]);
        s.z[i] = next;
        if (!checkBailout) continue;
        bool reseed = re2 + im2 > maxBailout;
        if (!reseed) {
            // Converged: the step moved the point less than the tolerance.
            const double dre = re - static_cast<double>(next.re);
            const double dim = im - static_cast<double>(next.im);
            reseed = dre * dre + dim * dim < minBailout;
        }
        if (reseed) {
            SeedPosition(s, i);
            // A Julia reseed takes c[0], where seeding takes z[0]: the same
            // value until sample 0 itself moves, and pinned by the golden images.
            s.c[i] = julia ? s.c[0] : s.z[i];
        }
    }
}

void ViewPass()
{
    SampleSet& s = app.samples;
    // The preview follows a fraction of the samples so quick runs stay quick.
    // The fraction comes from the output width, not the view's, on purpose.
    int64_t step = (2 * static_cast<int64_t>(app.outputImage.width)) / app.viewWidth;
    if (step < 1) step = 1;
    const int64_t n = s.count / step;
    for (int64_t i = 0; i < n; ++i) {
        const PlanePoint z = s.z[i];
        const double re = z.re;
        const double im = z.im;
        PlotView(z, s.colour[i]);
        s.z[i] = NextPoint(re, im, re * re, im * im, s.c[i]);
    }
}

void RegionPassOnPath()
{
    if (CurrentRenderPath() == renderPathReference)
        RegionPass();
    else
        FastRegionPass();
}

bool SeedSamplesOnPath()
{
    return CurrentRenderPath() == renderPathReference ? SeedSamples() : SeedPositionsFast();
}

static Relaxed<uint32_t> passCount;

uint32_t WorkerPassCount() { return passCount; }

// passesLeft counts this pass and the run's later ones; at most this many
// passes' reseeds are walked ahead, so little is walked for nothing.
static void RunOnePass(int64_t passesLeft)
{
    SetPassesLeft(passesLeft);
    std::lock_guard<std::mutex> hold(app.blocksLock);
    if (app.regionMode)
        RegionPassOnPath();
    else
        ViewPass();
    passCount = passCount + 1u;
}

// Seeds a new run. The title passes through "stopped" before "initializing"
// at every start, chained runs included: running is cleared and raised again
// on purpose, so a start always reads as stop-then-start.
// stopsSeen is the stop count read before the worker decided to start.
static void BeginRun(uint32_t stopsSeen)
{
    DiscardWalkedAhead();
    app.running = false;
    PostWindowTitle("stopped");
    app.running = true;
    if (stopRequests != stopsSeen) {
        app.running = false;
        return;
    }
    PostWindowTitle("initializing");
    if (SeedSamplesOnPath() && app.running) PostWindowTitle("plotting...");
}

// A run has done its Iterations + 2 passes: chain the next continuous run,
// or stop with "done!". Either way both panes are repainted.
static void EndRun()
{
    const uint32_t stopsSeen = stopRequests;
    MergeOutputLayers(app.continuous);
    void (*listener)() = runEndListener.load(std::memory_order_relaxed);
    if (listener) listener();
    if (app.continuous && app.running) {
        DriftStartPoint();
        BeginRun(stopsSeen);
    } else {
        app.running = false;
        PostWindowTitle("done!");
    }
    RequestRepaint(app.clientRect);
}

uint32_t RenderWorker(void*)
{
    // 64 bits so a huge Iterations value never overflows the count.
    int64_t passes = 0;
    while (!app.quitRequested) {
        if (!app.running) {
            const uint32_t stopsSeen = stopRequests;
            if (app.restartRequested) {
                app.restartRequested = false;
                BeginRun(stopsSeen);
                passes = 0;
            } else {
                // A stopped or ended run's reseeds walked ahead are of no use;
                // its picture is the output image alone from now on.
                DiscardWalkedAhead();
                MergeOutputLayers(false);
                SleepMilliseconds(100);
            }
            continue;
        }
        RunOnePass(static_cast<int64_t>(app.settings.Iterations) + 2 - passes);
        const int64_t old = passes++;
        if (old > app.settings.Iterations) {
            EndRun();
            passes = 0;
        }
    }
    // Shutdown waits for the cleared handle before it releases the blocks,
    // so the helpers end first and taking the handle is the last access to
    // AppState. Whichever side takes the handle closes it: a handle the
    // window thread took has been terminated.
    DiscardWalkedAhead();
    MergeOutputLayers(false);
    StopHelpers();
    CloseThreadHandle(app.workerHandle.exchange(nullptr, std::memory_order_acq_rel));
    return 0;
}
