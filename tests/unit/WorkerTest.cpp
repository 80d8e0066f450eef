// The render worker: run lengths, the two passes, reseeding, continuous runs,
// restarts, stops and shutdown.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cmath>
#include <complex>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Fixture.h"
#include "app/AppState.h"
#include "platform/Platform.h"
#include "render/Image.h"
#include "render/Blocks.h"
#include "render/Outline.h"
#include "render/Samples.h"
#include "render/Worker.h"
#include "ui/Input.h"

namespace {

// A test's reply to run ends and titles, on the worker's thread.
int quitAfterRunEnds = 1;
void (*titleHook)(const char*) = nullptr;
void (*runEndHook)(int) = nullptr;

class WorkerTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        app.settings.X = 0.25f;
        app.settings.Y = 0.25f;
        app.regionWidth = 4.0f;
        app.regionReciprocal = 0.25f;
        quitAfterRunEnds = 1;
        titleHook = nullptr;
        runEndHook = nullptr;
        Recorded().onTitle = [](const char* text) {
            if (titleHook) titleHook(text);
        };
        Recorded().onRunEnd = [](int count) {
            if (runEndHook) runEndHook(count);
            if (count >= quitAfterRunEnds) {
                app.continuous = false;
                app.quitRequested = true;
            }
        };
    }

    static const std::vector<std::string>& titles() { return Titles(); }
    static int repaints() { return static_cast<int>(Repaints().size()); }

    // Every sample at z = c = p.
    static void PlaceAll(PlanePoint p)
    {
        for (int32_t i = 0; i < app.samples.count; ++i) {
            app.samples.z[i] = p;
            app.samples.c[i] = p;
        }
    }

    // One run requested from idle, worked on this thread until runs have
    // ended this many times (the last one ends the chain); gives the passes
    // performed.
    static uint32_t RunWorkerUntilRunEnds(int count)
    {
        quitAfterRunEnds = count;
        app.restartRequested = true;
        const uint32_t before = WorkerPassCount();
        RenderWorker(nullptr);
        return WorkerPassCount() - before;
    }

    static bool Near(PlanePoint p, float re, float im, double radius)
    {
        const double dre = p.re - static_cast<double>(re);
        const double dim = p.im - static_cast<double>(im);
        return dre * dre + dim * dim <= radius * radius;
    }
};

TEST_F(WorkerTest, ARunPerformsIterationsPlusTwoPassesInEitherMode)
{
    struct Case {
        int32_t iterations;
        int32_t samplePoints;
        bool regionMode;
        uint32_t passes;
    };
    const Case cases[] = {
        {0, 320, false, 2},  {0, 320, true, 2}, {5, 320, false, 7},
        {-1, 320, false, 1},  // the first pass already exceeds the count
        {3, 5, false, 5},     // fewer samples than the view step: no sample moves
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.iterations);
        app.settings.Iterations = c.iterations;
        app.settings.SamplePoints = c.samplePoints;
        ASSERT_TRUE(AllocSamples());
        app.regionMode = c.regionMode;
        app.quitRequested = false;
        Recorded().titles.clear();
        EXPECT_EQ(RunWorkerUntilRunEnds(1), c.passes);
        const std::vector<std::string> expected = {"stopped", "initializing", "plotting...", "done!"};
        EXPECT_EQ(titles(), expected);
        EXPECT_FALSE(app.running);
    }
}

TEST_F(WorkerTest, SamplesBelowTheViewStepStayWhereTheyWere)
{
    app.settings.SamplePoints = 5;
    ASSERT_TRUE(AllocSamples());
    PlaceAll({0.1f, 0.2f});
    ViewPass();
    for (int32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(app.samples.z[i].re, 0.1f);
        EXPECT_EQ(app.samples.z[i].im, 0.2f);
    }
}

TEST_F(WorkerTest, AViewPassAdvancesTheFirstFortySamplesAndARegionPassAll)
{
    const PlanePoint start = {0.1f, 0.2f};
    // z^2 + c from (0.1f, 0.2f), worked out exactly and rounded to float32:
    // 0.0700000003 and 0.2400000095.
    const float nextRe = 0x1.1eb852p-4f;
    const float nextIm = 0x1.eb852p-3f;
    PlaceAll(start);
    ViewPass();
    for (int32_t i = 0; i < 320; ++i) {
        const bool moved = i < 40;
        EXPECT_EQ(app.samples.z[i].re, moved ? nextRe : start.re) << i;
        EXPECT_EQ(app.samples.z[i].im, moved ? nextIm : start.im) << i;
    }
    PlaceAll(start);
    RegionPass();
    for (int32_t i = 0; i < 320; ++i) {
        EXPECT_EQ(app.samples.z[i].re, nextRe) << i;
        EXPECT_EQ(app.samples.z[i].im, nextIm) << i;
    }

    // An output size that could not be had leaves the image absent; the
    // view step still follows the size last held.
    app.settings.Width = -4;
    app.settings.Height = -4;
    ASSERT_FALSE(AllocOutputImage());
    app.settings.Width = 2048;
    app.settings.Height = 2048;
    PlaceAll(start);
    ViewPass();
    EXPECT_EQ(app.samples.z[39].re, nextRe);
    EXPECT_EQ(app.samples.z[40].re, start.re);
}

TEST_F(WorkerTest, ARegionPassSplatsThePointBeforeTheStep)
{
    // The region centre maps to the image centre.
    app.settings.SamplePoints = 1;
    ASSERT_TRUE(AllocSamples());
    const int32_t w = app.outputImage.width;
    std::memset(app.outputImage.pixels, 0, static_cast<size_t>(w) * app.outputImage.height * 3);
    app.samples.z[0] = {0.0f, 0.0f};
    app.samples.c[0] = {1.0f, 0.0f};
    const Colour3 colour = app.samples.colour[0];
    const uint8_t* centre = app.outputImage.pixels + (static_cast<size_t>(1024) * w + 1024) * 3;
    RegionPass();
    EXPECT_EQ(centre[0], colour.blue);
    EXPECT_EQ(centre[1], colour.green);
    EXPECT_EQ(centre[2], colour.red);
    EXPECT_EQ(app.samples.z[0].re, 1.0f);
}

TEST_F(WorkerTest, BailoutTestsAreStrict)
{
    struct Case {
        const char* what;
        PlanePoint z;
        PlanePoint c;
        float maxBailout;
        float minBailout;
        bool reseeded;
        float steppedRe;  // z.re after the step, where the sample stays
    };
    const float justOverTwo = static_cast<float>(std::sqrt(4.0001));
    const Case cases[] = {
        {"modulus exactly at the limit", {2.0f, 0.0f}, {0.0f, 0.0f}, 4.0f, 0.0f, false, 4.0f},
        {"modulus just over the limit", {justOverTwo, 0.0f}, {0.0f, 0.0f}, 4.0f, 0.0f, true, 0.0f},
        {"step exactly at the limit", {0.0f, 0.0f}, {0.5f, 0.0f}, 4.0f, 0.25f, false, 0.5f},
        {"step just under the limit", {0.0f, 0.0f}, {0.5f, 0.0f}, 4.0f, 0.2500001f, true, 0.0f},
    };
    app.settings.CheckBailout = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        app.settings.MaxBailout = c.maxBailout;
        app.settings.MinBailout = c.minBailout;
        PlaceAll(c.z);
        for (int32_t i = 0; i < app.samples.count; ++i) app.samples.c[i] = c.c;
        RegionPass();
        const PlanePoint z = app.samples.z[5];
        if (c.reseeded) {
            EXPECT_TRUE(Near(z, 0.25f, 0.25f, 0.005)) << z.re << ", " << z.im;
            EXPECT_EQ(app.samples.c[5].re, z.re);
            EXPECT_EQ(app.samples.c[5].im, z.im);
        } else {
            EXPECT_EQ(z.re, c.steppedRe);
        }
    }
}

TEST_F(WorkerTest, JuliaReseedsKeepTheSharedConstant)
{
    app.settings.CheckBailout = true;
    app.settings.Julia = true;
    PlaceAll({3.0f, 0.0f});  // far outside: every sample escapes
    app.samples.z[0] = {0.0f, 0.0f};
    app.samples.c[0] = {0.3f, 0.1f};
    RegionPass();
    for (int32_t i = 1; i < app.samples.count; ++i) {
        EXPECT_TRUE(Near(app.samples.z[i], 0.25f, 0.25f, 0.005)) << i;
        EXPECT_EQ(app.samples.c[i].re, 0.3f) << i;
        EXPECT_EQ(app.samples.c[i].im, 0.1f) << i;
    }
}

TEST_F(WorkerTest, ContinuousRunsDriftTheStartPointOncePerRun)
{
    // The start point each run ended with; the next run drifts from it.
    static std::vector<PlanePoint> startPoints;
    startPoints.clear();
    runEndHook = [](int) { startPoints.push_back({app.settings.X, app.settings.Y}); };
    app.settings.Iterations = 0;
    app.settings.DriftX = 0.01f;
    app.settings.DriftY = -0.02f;
    app.continuous = true;
    EXPECT_EQ(RunWorkerUntilRunEnds(3), 6u);
    ASSERT_EQ(startPoints.size(), 3u);
    // Each drift is a double sum rounded to float.
    float x = 0.25f, y = 0.25f;
    for (const PlanePoint& p : startPoints) {
        EXPECT_EQ(p.re, x);
        EXPECT_EQ(p.im, y);
        x = static_cast<float>(static_cast<double>(x) + 0.01f);
        y = static_cast<float>(static_cast<double>(y) + -0.02f);
    }
    // Chained runs never say "done!"; the run that ends the chain does.
    const std::vector<std::string> seen = titles();
    for (size_t k = 0; k + 1 < seen.size(); ++k) EXPECT_NE(seen[k], "done!");
    EXPECT_EQ(seen.back(), "done!");
}

TEST_F(WorkerTest, ARestartRequestedDuringARunStartsAfterDone)
{
    titleHook = [](const char* text) {
        if (std::string(text) == "plotting..." && Recorded().titles.size() == 3) app.restartRequested = true;
    };
    app.settings.Iterations = 3;
    EXPECT_EQ(RunWorkerUntilRunEnds(2), 10u);
    const std::vector<std::string> expected = {"stopped", "initializing", "plotting...", "done!",
                                               "stopped", "initializing", "plotting...", "done!"};
    EXPECT_EQ(titles(), expected);
}

// The window's Stop arriving just as a continuous run chains the next one,
// while the worker has lowered running and is about to raise it again.
TEST_F(WorkerTest, AStopAsAContinuousRunChainsIsNotLost)
{
    static int stoppedTitles = 0;
    stoppedTitles = 0;
    titleHook = [](const char* text) {
        if (std::string(text) != "stopped" || ++stoppedTitles != 2) return;
        StopRender();  // posts the third "stopped"
        app.quitRequested = true;
    };
    app.settings.Iterations = 0;
    app.continuous = true;
    quitAfterRunEnds = 1000;
    app.restartRequested = true;
    RenderWorker(nullptr);
    EXPECT_FALSE(app.running);
    const std::vector<std::string> expected = {"stopped", "initializing", "plotting...", "stopped", "stopped"};
    EXPECT_EQ(titles(), expected);
}

TEST_F(WorkerTest, AStopDuringSeedingLeavesTheWorkerIdle)
{
    titleHook = [](const char* text) {
        if (std::string(text) == "initializing") {
            app.running = false;
            app.quitRequested = true;  // ends the worker once it is idle again
        }
    };
    PlaceAll({9.0f, 9.0f});
    EXPECT_EQ(RunWorkerUntilRunEnds(1), 0u);
    const std::vector<std::string> expected = {"stopped", "initializing"};
    EXPECT_EQ(titles(), expected);
    EXPECT_EQ(repaints(), 0);
    EXPECT_TRUE(Near(app.samples.z[0], 0.25f, 0.25f, 0.005));
    EXPECT_EQ(app.samples.z[1].re, 9.0f) << "later samples keep their old contents";
}

TEST_F(WorkerTest, QuitEndsTheWorkerAndClearsItsHandle)
{
    static int marker;
    // Quit before the start: nothing is seeded even with a restart pending.
    app.workerHandle.store(&marker);
    app.restartRequested = true;
    app.quitRequested = true;
    EXPECT_EQ(RenderWorker(nullptr), 0u);
    EXPECT_TRUE(titles().empty());
    EXPECT_EQ(app.workerHandle.load(std::memory_order_acquire), nullptr);

    // Quit while idle, from another thread.
    app.restartRequested = false;
    app.quitRequested = false;
    app.workerHandle.store(&marker);
    std::thread worker(RenderWorker, nullptr);
    SleepMilliseconds(150);
    app.quitRequested = true;
    worker.join();
    EXPECT_EQ(app.workerHandle.load(std::memory_order_acquire), nullptr);
    EXPECT_TRUE(titles().empty());
}

#ifdef _WIN32
static DWORD WINAPI WorkerThreadForTest(LPVOID) { return RenderWorker(nullptr); }

// A real worker thread whose handle is in AppState; its own copy lets the
// test wait for it.
static HANDLE StartWorkerWithHandle(HANDLE& waiter)
{
    HANDLE thread = CreateThread(nullptr, 0, WorkerThreadForTest, nullptr, CREATE_SUSPENDED, nullptr);
    DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &waiter, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    app.workerHandle.store(thread);
    ResumeThread(thread);
    return thread;
}

static bool HandleIsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}
#endif

// Whichever side takes the worker's handle first owns it: the worker closes
// a handle it took, and leaves alone one that shutdown took.
TEST_F(WorkerTest, TheWorkerHandleIsTakenByOneSideOnly)
{
#ifdef _WIN32
    HANDLE waiter = nullptr;
    HANDLE thread = StartWorkerWithHandle(waiter);
    app.quitRequested = true;
    WaitForSingleObject(waiter, INFINITE);
    CloseHandle(waiter);
    EXPECT_EQ(app.workerHandle.load(), nullptr);
    EXPECT_FALSE(HandleIsOpen(thread)) << "the worker closed its own handle";

    app.quitRequested = false;
    thread = StartWorkerWithHandle(waiter);
    void* taken = app.workerHandle.exchange(nullptr);  // as shutdown does
    app.quitRequested = true;
    WaitForSingleObject(waiter, INFINITE);
    CloseHandle(waiter);
    EXPECT_EQ(taken, static_cast<void*>(thread));
    EXPECT_TRUE(HandleIsOpen(thread)) << "a handle shutdown took is not closed by the worker";
    CloseHandle(thread);
#else
    static int marker;
    app.workerHandle.store(&marker);
    std::thread worker(RenderWorker, nullptr);
    void* taken = app.workerHandle.exchange(nullptr);
    app.quitRequested = true;
    worker.join();
    EXPECT_EQ(taken, static_cast<void*>(&marker));
    EXPECT_EQ(app.workerHandle.load(), nullptr);
#endif
}

TEST_F(WorkerTest, ReplacingTheSampleArraysDuringARunIsSafe)
{
    app.settings.Iterations = 1000000000;
    app.regionMode = true;
    app.settings.CheckBailout = true;
    quitAfterRunEnds = 1000000;
    app.restartRequested = true;
    std::thread worker(RenderWorker, nullptr);
    const int32_t sizes[] = {1000, 7, 0, 5000, 320};
    for (int32_t size : sizes) {
        SleepMilliseconds(20);
        app.settings.SamplePoints = size;
        ASSERT_TRUE(AllocSamples());
    }
    SleepMilliseconds(20);
    StopRender();
    app.quitRequested = true;
    worker.join();
    EXPECT_EQ(app.samples.count, 320);
    EXPECT_EQ(app.workerHandle.load(), nullptr);
}

TEST_F(WorkerTest, ClearsAndMarkersDuringARunLeaveItRunning)
{
    // The orbits from around (0.25, 0.25) settle on the fixed point of
    // z^2 + c; markers go where the view plots pile up.
    const std::complex<double> c(0.25, 0.25);
    const std::complex<double> fixed = (1.0 - std::sqrt(1.0 - 4.0 * c)) / 2.0;
    const PixelPoint settled =
        PlaneToViewPixel({static_cast<float>(fixed.real()), static_cast<float>(fixed.imag())});
    app.settings.Iterations = 1000000000;
    app.settings.Clear = true;
    quitAfterRunEnds = 1000000;
    app.restartRequested = true;
    std::thread worker(RenderWorker, nullptr);
    // View mode: a right press clears both images, the release marks.
    SleepMilliseconds(30);
    ClearImages();
    SleepMilliseconds(30);
    for (int32_t d = -1; d <= 1; ++d)
        for (int32_t e = -1; e <= 1; ++e)
            SetViewPixel(settled.col + d, settled.row + e, Colour3{0, 0, 255});
    // Region mode: a left press zeroes the output image, then a Clear.
    app.regionMode = true;
    SleepMilliseconds(30);
    OnLeftPress(app.viewWidth + 10, 10);
    app.dragging = false;
    SleepMilliseconds(30);
    ClearImages();
    SleepMilliseconds(30);
    EXPECT_TRUE(app.running);
    StopRender();
    app.quitRequested = true;
    worker.join();
    EXPECT_TRUE(titles().size() >= 3 && titles()[2] == "plotting...");
}

}  // namespace
