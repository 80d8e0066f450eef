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

#include "TestSupport.h"
#include "app/AppState.h"
#include "platform/Platform.h"
#include "render/Image.h"
#include "render/Outline.h"
#include "render/Samples.h"
#include "render/Worker.h"
#include "ui/Input.h"

namespace {

// What the worker asked of the platform, and what a test does in reply.
std::mutex seenLock;
std::vector<std::string> titles;
int repaints = 0;
int quitAfterRepaints = 1;
void (*titleHook)(const char*) = nullptr;
void (*repaintHook)(int) = nullptr;

void OnTitle(const char* text)
{
    {
        std::lock_guard<std::mutex> hold(seenLock);
        titles.push_back(text);
    }
    if (titleHook) titleHook(text);
}

void OnRepaint(const ClientRect&)
{
    int count;
    {
        std::lock_guard<std::mutex> hold(seenLock);
        count = ++repaints;
    }
    if (repaintHook) repaintHook(count);
    if (count >= quitAfterRepaints) app.quitRequested = true;
}

const PlatformObserver observer = {OnTitle, OnRepaint, nullptr};

class WorkerTest : public ::testing::Test {
protected:
    SettingsValues saved = {};

    void SetUp() override
    {
        saved = CaptureSettings();
        RestoreSettings(kDefaultSettings);
        app.settings.X = 0.25f;
        app.settings.Y = 0.25f;
        app.regionCenterRe = 0.0f;
        app.regionCenterIm = 0.0f;
        app.regionWidth = 4.0f;
        app.regionReciprocal = 0.25f;
        ResetFlags();
        InitBitmapHeaders();
        ASSERT_TRUE(AllocViewImage());
        ASSERT_TRUE(AllocOutputImage());
        ASSERT_TRUE(AllocSamples());
        titles.clear();
        repaints = 0;
        quitAfterRepaints = 1;
        titleHook = nullptr;
        repaintHook = nullptr;
        SetPlatformObserver(&observer);
    }

    void TearDown() override
    {
        SetPlatformObserver(nullptr);
        ResetFlags();
        ReleaseImages();
        ReleaseSamples();
        RestoreSettings(saved);
    }

    static void ResetFlags()
    {
        app.running = false;
        app.quitRequested = false;
        app.restartRequested = false;
        app.regionMode = false;
        app.continuous = false;
        app.workerHandle.store(nullptr);
    }

    // Every sample at z = c = p.
    static void PlaceAll(PlanePoint p)
    {
        for (int32_t i = 0; i < app.samples.count; ++i) {
            app.samples.z[i] = p;
            app.samples.c[i] = p;
        }
    }

    // One run requested from idle, worked on this thread until the run
    // ends this many times; gives the passes performed.
    static uint32_t RunWorkerUntilRepaints(int count)
    {
        quitAfterRepaints = count;
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
        titles.clear();
        repaints = 0;
        EXPECT_EQ(RunWorkerUntilRepaints(1), c.passes);
        const std::vector<std::string> expected = {"stopped", "initializing", "plotting...", "done!"};
        EXPECT_EQ(titles, expected);
        EXPECT_FALSE(app.running);
        EXPECT_STREQ(static_cast<const char*>(app.statusTitle), "done!");
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
    // z^2 + c from (0.1, 0.2): stored as float32 after double arithmetic.
    const float nextRe = static_cast<float>(0.1f * 0.1 - 0.2f * 0.2 + 0.1f);
    const float nextIm = static_cast<float>(2.0 * 0.1f * 0.2f + 0.2f);
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
    };
    const float justOverTwo = static_cast<float>(std::sqrt(4.0001));
    const Case cases[] = {
        {"modulus exactly at the limit", {2.0f, 0.0f}, {0.0f, 0.0f}, 4.0f, 0.0f, false},
        {"modulus just over the limit", {justOverTwo, 0.0f}, {0.0f, 0.0f}, 4.0f, 0.0f, true},
        {"step exactly at the limit", {0.0f, 0.0f}, {0.5f, 0.0f}, 4.0f, 0.25f, false},
        {"step just under the limit", {0.0f, 0.0f}, {0.5f, 0.0f}, 4.0f, 0.2500001f, true},
    };
    app.settings.CheckBailout = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        app.settings.MaxBailout = c.maxBailout;
        app.settings.MinBailout = c.minBailout;
        PlaceAll(c.z);
        for (int32_t i = 0; i < app.samples.count; ++i) app.samples.c[i] = c.c;
        RegionPass();
        const double re = c.z.re, im = c.z.im;
        const float steppedRe = static_cast<float>(re * re - im * im + c.c.re);
        const PlanePoint z = app.samples.z[5];
        if (c.reseeded) {
            EXPECT_TRUE(Near(z, 0.25f, 0.25f, 0.005)) << z.re << ", " << z.im;
            EXPECT_EQ(app.samples.c[5].re, z.re);
            EXPECT_EQ(app.samples.c[5].im, z.im);
        } else {
            EXPECT_EQ(z.re, steppedRe);
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
    static std::vector<PlanePoint> startPoints;
    startPoints.clear();
    repaintHook = [](int) { startPoints.push_back({app.settings.X, app.settings.Y}); };
    app.settings.Iterations = 0;
    app.settings.DriftX = 0.01f;
    app.settings.DriftY = -0.02f;
    app.continuous = true;
    EXPECT_EQ(RunWorkerUntilRepaints(3), 6u);
    ASSERT_EQ(startPoints.size(), 3u);
    float x = 0.25f, y = 0.25f;
    for (const PlanePoint& p : startPoints) {
        x = static_cast<float>(static_cast<double>(x) + 0.01f);
        y = static_cast<float>(static_cast<double>(y) + -0.02f);
        EXPECT_EQ(p.re, x);
        EXPECT_EQ(p.im, y);
    }
    for (const std::string& t : titles) EXPECT_NE(t, "done!");
}

TEST_F(WorkerTest, ARestartRequestedDuringARunStartsAfterDone)
{
    titleHook = [](const char* text) {
        if (std::string(text) == "plotting..." && titles.size() == 3) app.restartRequested = true;
    };
    app.settings.Iterations = 3;
    EXPECT_EQ(RunWorkerUntilRepaints(2), 10u);
    const std::vector<std::string> expected = {"stopped", "initializing", "plotting...", "done!",
                                               "stopped", "initializing", "plotting...", "done!"};
    EXPECT_EQ(titles, expected);
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
    EXPECT_EQ(RunWorkerUntilRepaints(1), 0u);
    const std::vector<std::string> expected = {"stopped", "initializing"};
    EXPECT_EQ(titles, expected);
    EXPECT_EQ(repaints, 0);
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
    EXPECT_TRUE(titles.empty());
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
    EXPECT_TRUE(titles.empty());
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
    quitAfterRepaints = 1000000;
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
    quitAfterRepaints = 1000000;
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
    EXPECT_TRUE(titles.size() >= 3 && titles[2] == "plotting...");
}

uint64_t Fnv1a(const uint8_t* bytes, size_t count)
{
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < count; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
    return h;
}

// The same scene gives the same pixels on every build: the hashes were taken
// from the first build and must never change without a reason.
TEST_F(WorkerTest, AFixedSceneGivesTheSameImageOnEveryBuild)
{
    app.settings.Width = 256;
    app.settings.Height = 256;
    ReleaseImages();
    ASSERT_TRUE(AllocViewImage());
    ASSERT_TRUE(AllocOutputImage());
    app.settings.Iterations = 400;
    app.settings.BorderOnly = true;
    app.settings.CheckBailout = true;
    app.settings.SampleRadius = 0.3f;
    app.settings.X = -0.75f;
    app.settings.Y = 0.1f;
    app.regionCenterRe = -0.5f;
    app.regionCenterIm = 0.0f;
    app.regionWidth = 3.0f;
    app.regionReciprocal = static_cast<float>(1.0 / 3.0);
    ClearImages();
    ResetRandom();
    app.continuous = true;  // two runs: the second continues the random sequence
    app.settings.DriftX = 0.01f;
    repaintHook = [](int count) {
        if (count == 1) app.continuous = false;
        if (count == 1) app.regionMode = true;  // first run in the view, second in the region
    };
    RunWorkerUntilRepaints(2);
    const RgbImage& out = app.outputImage;
    const RgbImage& view = app.viewImage;
    const uint64_t outHash = Fnv1a(out.pixels, static_cast<size_t>(out.width) * out.height * 3);
    const uint64_t viewHash = Fnv1a(view.pixels, static_cast<size_t>(view.width) * view.height * 3);
    size_t lit = 0;
    for (size_t i = 0; i < static_cast<size_t>(out.width) * out.height * 3; ++i) lit += out.pixels[i] != 0;
    EXPECT_GT(lit, 1000u) << "the region run drew orbits";
    EXPECT_EQ(outHash, 356549579019340483ull);
    EXPECT_EQ(viewHash, 8934547644165661763ull);
}

}  // namespace
