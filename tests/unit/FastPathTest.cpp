// The fast passes and seedings against the plain ones: every scene run
// through the reference path and through every vector path and thread count
// must give the same image, sample arrays and generator state, byte for byte,
// and the same deep counts.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "Fixture.h"
#include "render/Deep.h"
#include "render/Distance.h"
#include "render/Outline.h"
#include "render/OutputLayers.h"
#include "render/RenderPath.h"
#include "render/Samples.h"
#include "render/Worker.h"
#include "render/fast/FastEstimate.h"
#include "render/fast/FastSeed.h"
#include "render/fast/HelperThreads.h"

namespace {

// A setting changed before a pass of a run, as the Properties dialog may.
struct Change {
    int32_t run, pass;
    int32_t iterations;    // Iterations; 0 keeps it
    float borderDistance;  // BorderDistance; 0 keeps it
    float radius;          // SampleRadius; 0 keeps it
};

const Change changedBetweenPasses[] = {
    {0, 6, 25, 0.0f, 0.0f},     {0, 10, 0, 0.001f, 0.0f}, {0, 14, 0, 0.0f, 0.05f},
    {0, 18, 40, 0.00001f, 0.0f}, {1, 3, 0, 0.0f, 0.3f},    {1, 5, 30, 0.0f, 0.0f},
};

struct Scene {
    const char* name;
    int32_t width, height;  // output image
    int32_t samplePoints, iterations;
    bool julia, borderOnly, checkBailout;
    float x, y, radius;
    float maxBailout, minBailout;
    float regionRe, regionIm, regionWidth;
    int32_t runs;  // chained as continuous runs, drifting by (0.01, -0.005)
    int32_t passes;
    int32_t stopAtPass = -1;  // in the first run: a stop, then a new run from the same point
    const Change* changes = nullptr;
    int32_t changeCount = 0;
};

// Sample counts from 9000 up are shared among helper threads.
const Scene scenes[] = {
    {"region", 256, 256, 9000, 60, false, false, true, -0.75f, 0.1f, 0.05f, 4.0f, 0.00001f,
     -0.75f, 0.1f, 0.5f, 1, 62},
    {"julia", 300, 200, 9001, 40, true, false, true, -0.75f, 0.1f, 0.3f, 4.0f, 0.00001f, 0.0f,
     0.0f, 3.0f, 1, 42},
    {"border only", 256, 256, 2000, 30, false, true, true, -0.75f, 0.1f, 0.3f, 4.0f, 0.00001f,
     -0.4f, 0.0f, 2.4f, 1, 12},
    {"border only julia", 128, 128, 700, 80, true, true, true, -0.75f, 0.1f, 0.3f, 4.0f,
     0.00001f, -0.4f, 0.0f, 2.4f, 1, 30},
    // Low MaxBailout and high MinBailout: many escapes and convergences.
    {"bailout hits", 256, 256, 9002, 50, false, false, true, -0.1f, 0.6f, 0.2f, 0.5f, 0.001f,
     -0.1f, 0.6f, 1.0f, 1, 52},
    // Fewer samples than are shared, but the snaps of a pass's reseeds are.
    {"bailout hits border", 200, 300, 600, 30, false, true, true, -0.1f, 0.6f, 0.2f, 0.5f,
     0.001f, -0.1f, 0.6f, 1.0f, 1, 8},
    // Odd sizes and rows that are not whole words; the region partly off the orbits.
    {"odd size", 1023, 777, 9007, 30, false, false, true, 0.3f, 0.5f, 0.4f, 4.0f, 0.00001f,
     0.9f, 0.9f, 2.0f, 1, 32},
    // Escaping orbits run to infinity and NaN: the mapping rejects them.
    {"no bailout", 257, 255, 9009, 200, false, false, false, 0.2f, 0.6f, 0.3f, 4.0f, 0.00001f,
     0.2f, 0.6f, 0.5f, 1, 202},
    {"continuous drift", 256, 256, 9004, 30, false, false, true, -0.75f, 0.1f, 0.1f, 4.0f,
     0.00001f, -0.75f, 0.1f, 0.6f, 3, 32},
    {"tiny image", 3, 3, 9000, 20, false, false, true, 0.0f, 0.0f, 0.01f, 4.0f, 0.00001f, 0.0f,
     0.0f, 0.01f, 1, 22},
    {"image too small to splat", 2, 5, 101, 20, false, false, true, 0.0f, 0.0f, 0.5f, 4.0f,
     0.00001f, 0.0f, 0.0f, 2.0f, 1, 22},
    {"few samples", 64, 64, 5, 50, false, false, true, -0.75f, 0.1f, 0.05f, 4.0f, 0.00001f,
     -0.75f, 0.1f, 0.5f, 1, 52},
    {"no samples", 64, 64, 0, 5, false, false, true, -0.75f, 0.1f, 0.05f, 4.0f, 0.00001f,
     -0.75f, 0.1f, 0.5f, 1, 7},
    // BorderOnly with many reseeds a pass: the snapped reseeds are walked
    // ahead of the passes that take them.
    {"border reseeds", 128, 128, 300, 40, false, true, true, -0.1f, 0.6f, 0.2f, 0.5f, 0.001f,
     -0.1f, 0.6f, 1.0f, 1, 42},
    {"border reseeds julia", 128, 128, 300, 40, true, true, true, -0.1f, 0.6f, 0.2f, 0.5f,
     0.001f, -0.1f, 0.6f, 1.0f, 1, 42},
    {"border reseeds drifting", 96, 96, 200, 30, false, true, true, -0.1f, 0.6f, 0.2f, 0.5f,
     0.001f, -0.1f, 0.6f, 1.0f, 3, 32},
    {"border reseeds stopped", 96, 96, 200, 30, true, true, true, -0.1f, 0.6f, 0.2f, 0.5f,
     0.001f, -0.1f, 0.6f, 1.0f, 2, 32, 9},
    {"border reseeds, settings changed", 96, 96, 200, 40, false, true, true, -0.1f, 0.6f, 0.2f,
     0.5f, 0.001f, -0.1f, 0.6f, 1.0f, 2, 22, -1, changedBetweenPasses,
     static_cast<int32_t>(std::size(changedBetweenPasses))},
};

struct Result {
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> merged;
    bool layered;  // whether helper layers held splats at the end
    std::vector<uint32_t> counts;  // the deep image's, when asked for
    std::vector<PlanePoint> z, c;
    uint32_t randomState;
};

class FastPathTest : public RenderEngineTest {
protected:
    void TearDown() override
    {
        SetRenderPath(BestRenderPath());
        SetRenderThreads(0);
        StopHelpers();
        RenderEngineTest::TearDown();
    }

    static void Apply(const Scene& scene)
    {
        Settings& s = app.settings;
        s.Width = scene.width;
        s.Height = scene.height;
        s.SamplePoints = scene.samplePoints;
        s.Iterations = scene.iterations;
        s.Julia = scene.julia;
        s.BorderOnly = scene.borderOnly;
        s.CheckBailout = scene.checkBailout;
        s.X = scene.x;
        s.Y = scene.y;
        s.SampleRadius = scene.radius;
        s.MaxBailout = scene.maxBailout;
        s.MinBailout = scene.minBailout;
        s.BorderDistance = 0.00001f;
        app.regionCenterRe = scene.regionRe;
        app.regionCenterIm = scene.regionIm;
        app.regionWidth = scene.regionWidth;
        app.regionReciprocal = static_cast<float>(1.0 / scene.regionWidth);
    }

    static Result Render(const Scene& scene, RenderPath path, int32_t threads, bool deep = true)
    {
        SetRenderPath(path);
        SetRenderThreads(threads);
        Apply(scene);
        app.running = false;
        EXPECT_TRUE(AllocOutputImage());
        if (deep) EXPECT_TRUE(AllocDeepImage(scene.width, scene.height));
        else ReleaseDeepImage();
        // Seeding goes on while a run is in progress.
        app.running = true;
        EXPECT_TRUE(AllocSamples());
        ClearImages();
        ResetRandom();
        for (int32_t run = 0; run < scene.runs; ++run) {
            if (run > 0 && !(run == 1 && scene.stopAtPass >= 0)) {
                app.settings.X = app.settings.X + 0.01f;
                app.settings.Y = app.settings.Y - 0.005f;
            }
            app.running = true;
            SeedSamplesOnPath();
            for (int32_t pass = 0; pass < scene.passes; ++pass) {
                if (run == 0 && pass == scene.stopAtPass) break;
                for (int32_t k = 0; k < scene.changeCount; ++k) {
                    const Change& change = scene.changes[k];
                    if (change.run != run || change.pass != pass) continue;
                    if (change.iterations) app.settings.Iterations = change.iterations;
                    if (change.borderDistance != 0.0f) app.settings.BorderDistance = change.borderDistance;
                    if (change.radius != 0.0f) app.settings.SampleRadius = change.radius;
                }
                // As the worker tells it: how far ahead reseeds may be walked.
                SetPassesLeft(scene.passes - pass);
                std::lock_guard<std::mutex> hold(app.blocksLock);
                RegionPassOnPath();
            }
        }
        SetPassesLeft(0);
        app.running = false;
        Result r;
        // The picture as a reader sees it during a run (the helpers' layers
        // summed in), then the output image once the layers are merged.
        {
            OutputLayerView view;
            const std::unique_lock<std::mutex> hold = ReadOutputLayers(view);
            r.layered = view.count > 0;
        }
        RgbImage picture = {};
        EXPECT_TRUE(CopyOutputPicture(picture));
        const size_t bytes = static_cast<size_t>(picture.width) * picture.height * 3;
        r.pixels.assign(picture.pixels, picture.pixels + bytes);
        std::free(picture.pixels);
        MergeOutputLayers(false);
        const RgbImage& out = app.outputImage;
        r.merged.assign(out.pixels, out.pixels + bytes);
        if (deep) {
            const uint32_t* counts = ResolveDeepCounts();
            r.counts.assign(counts, counts + r.pixels.size());
            delete[] counts;
        }
        ReleaseDeepImage();
        r.z.assign(app.samples.z, app.samples.z + app.samples.count);
        r.c.assign(app.samples.c, app.samples.c + app.samples.count);
        r.randomState = RandomState();
        return r;
    }
};

bool SameBytes(const std::vector<PlanePoint>& a, const std::vector<PlanePoint>& b)
{
    // memcmp wants real pointers even for no bytes; empty vectors have none.
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(PlanePoint)) == 0);
}

}  // namespace

TEST_F(FastPathTest, EveryPathAndThreadCountGivesTheReferenceBytes)
{
    std::string tested;
    for (int32_t p = renderPathSse2; p < renderPathCount; ++p)
        if (RenderPathAvailable(static_cast<RenderPath>(p))) tested += std::string(" ") + RenderPathName(static_cast<RenderPath>(p));
    std::printf("vector paths compared with the reference:%s\n", tested.c_str());
    uint32_t deepest = 0;
    for (const Scene& scene : scenes) {
        const Result reference = Render(scene, renderPathReference, 1);
        size_t lit = 0;
        for (uint8_t b : reference.pixels) lit += b != 0;
        // The deep image changes nothing of the 8-bit one; and since every
        // add is of a non-negative colour, each saturated byte is its
        // channel's count capped at 255.
        EXPECT_TRUE(Render(scene, renderPathReference, 1, false).pixels == reference.pixels) << scene.name;
        size_t capped = 0;
        for (size_t k = 0; k < reference.pixels.size(); ++k)
            capped += reference.pixels[k] == std::min<uint32_t>(reference.counts[k], 255u);
        EXPECT_EQ(capped, reference.pixels.size()) << scene.name << ": counts against bytes";
        for (uint32_t count : reference.counts) deepest = std::max(deepest, count);
        for (int32_t p = renderPathSse2; p < renderPathCount; ++p) {
            const RenderPath path = static_cast<RenderPath>(p);
            if (!RenderPathAvailable(path)) continue;
            // With the deep sums the helpers sort their splats into row
            // bands; without, each splats into an image of its own.
            for (int32_t threads : {1, 2, 3, 5}) {
                for (bool deep : {true, false}) {
                    const Result fast = Render(scene, path, threads, deep);
                    const std::string what = std::string(scene.name) + ", " + RenderPathName(path) + ", " +
                                             std::to_string(threads) + " threads" + (deep ? ", deep" : "");
                    EXPECT_TRUE(fast.pixels == reference.pixels) << what << ": image";
                    EXPECT_TRUE(fast.merged == reference.pixels) << what << ": merged image";
                    if (deep) {
                        EXPECT_TRUE(fast.counts == reference.counts) << what << ": deep counts";
                    }
                    EXPECT_TRUE(SameBytes(fast.z, reference.z)) << what << ": positions";
                    EXPECT_TRUE(SameBytes(fast.c, reference.c)) << what << ": constants";
                    EXPECT_EQ(fast.randomState, reference.randomState) << what << ": generator";
                    // The shared scenes whose runs splat more points than
                    // the image has pixels really ran on layers.
                    const int64_t splats = static_cast<int64_t>(scene.iterations + 2) * scene.samplePoints;
                    if (!deep && threads > 1 && scene.samplePoints >= 9000 && scene.width >= 3 &&
                        splats >= static_cast<int64_t>(scene.width) * scene.height) {
                        EXPECT_TRUE(fast.layered) << what << ": layers used";
                    }
                }
            }
        }
        if (scene.width >= 64 && scene.samplePoints >= 700) {
            EXPECT_GT(lit, 100u) << scene.name << " drew orbits";
        }
    }
    // Some pixel went far past what a byte holds.
    EXPECT_GT(deepest, 4u * 255u);
}

TEST_F(FastPathTest, TheFastEstimateAndSnapMatchThePlainOnes)
{
    const PlanePoint points[] = {
        {2.0f, 0.0f},    {1.0f, 0.0f},      {0.0f, 0.0f},   {-0.1f, 0.0f},  {-0.1f, 0.3f},
        {-1.0f, 0.0f},   {-0.75f, 0.2f},    {-0.75f, 0.1f}, {0.25f, 0.0f},  {-1.3f, 0.05f},
        {0.3f, 0.5f},    {-0.12f, 0.75f},   {0.5f, 0.0f},   {-2.0f, 0.0f},  {-0.5f, 0.55f},
        {std::numeric_limits<float>::infinity(), 0.0f},
    };
    for (int32_t iterations : {0, 1, 50, 5000, 10000}) {
        app.settings.Iterations = iterations;
        for (const PlanePoint& p : points) {
            const double plain = DistanceEstimate(p);
            const double fast = DistanceEstimateFast(p, iterations);
            EXPECT_EQ(std::memcmp(&plain, &fast, sizeof plain), 0)
                << p.re << "," << p.im << " at " << iterations << ": " << plain << " vs " << fast;
            PlanePoint a = p, b = p;
            SnapToBorder(a);
            SnapToBorderFast(b, ReadSnapConstants());
            EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << p.re << "," << p.im << " at " << iterations;
        }
        // Side by side: fewer points than one vector's lanes, then more than
        // two vectors' lanes, so lanes take new points and go idle.
        const int32_t count = static_cast<int32_t>(std::size(points));
        for (int32_t p = renderPathSse2; p < renderPathCount; ++p) {
            if (!RenderPathAvailable(static_cast<RenderPath>(p))) continue;
            SetRenderPath(static_cast<RenderPath>(p));
            for (int32_t n : {1, 3, 5, count}) {
                double batch[std::size(points)];
                EstimateBatch(points + count - n, batch, n, iterations);
                for (int32_t k = 0; k < n; ++k) {
                    const double plain = DistanceEstimate(points[count - n + k]);
                    EXPECT_EQ(std::memcmp(&plain, &batch[k], sizeof plain), 0)
                        << RenderPathName(static_cast<RenderPath>(p)) << ", " << n << " points, point " << k
                        << " at " << iterations;
                }
            }
        }
    }
}

TEST_F(FastPathTest, AStoppedFastSeedingKeepsAPrefixAndItsDraws)
{
    app.settings.SamplePoints = 5000;
    app.settings.BorderOnly = true;
    app.settings.Iterations = 200;
    app.settings.SampleRadius = 0.3f;
    app.settings.X = -0.75f;
    app.settings.Y = 0.1f;
    ASSERT_TRUE(AllocSamples());
    SetRenderThreads(2);
    // A stop before the seeding began: the first sample alone is seeded,
    // snapped, and only its two draws are made.
    for (int32_t i = 0; i < app.samples.count; ++i) app.samples.z[i] = {7.0f, 7.0f};
    app.running = false;
    EXPECT_FALSE(SeedPositionsFast());
    PlanePoint first = {7.0f, 7.0f};
    {
        const uint32_t after = RandomState();
        ResetRandom();
        SeedPosition(app.samples, 1);  // the plain seeding of one sample, into slot 1
        first = app.samples.z[1];
        EXPECT_EQ(RandomState(), after);
        app.samples.z[1] = {7.0f, 7.0f};
    }
    EXPECT_EQ(std::memcmp(&app.samples.z[0], &first, sizeof first), 0);
    for (int32_t i = 1; i < app.samples.count; ++i)
        ASSERT_TRUE(app.samples.z[i].re == 7.0f && app.samples.z[i].im == 7.0f) << i;
    // Without a stop every sample is seeded, as the plain seeding does.
    ResetRandom();
    app.running = true;
    EXPECT_TRUE(SeedPositionsFast());
    const std::vector<PlanePoint> fast(app.samples.z, app.samples.z + app.samples.count);
    const uint32_t fastState = RandomState();
    ResetRandom();
    SetRenderPath(renderPathReference);
    SeedSamplesOnPath();
    EXPECT_TRUE(SameBytes(fast, std::vector<PlanePoint>(app.samples.z, app.samples.z + app.samples.count)));
    EXPECT_EQ(fastState, RandomState());
}
