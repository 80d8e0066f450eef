// Speed of the engine's hot paths: passes and seeding on each render path
// and thread count, distance estimate, snap, outline, clears, the bitmap
// writer and the right pane's area average.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "output/Bitmap.h"
#include "render/Blocks.h"
#include "render/Distance.h"
#include "render/Image.h"
#include "render/Outline.h"
#include "render/RenderPath.h"
#include "render/Samples.h"
#include "render/Worker.h"
#include "render/fast/HelperThreads.h"
#include "settings/SettingsFile.h"
#include "ui/PaneAverage.h"

namespace {

// Default settings, a 2048 x 2048 output image over a region around the
// start point, samples seeded there.
void Prepare(int32_t samplePoints, bool borderOnly = false)
{
    LoadDefaultSettings();
    Settings& s = app.settings;
    s.SamplePoints = samplePoints;
    s.BorderOnly = borderOnly;
    s.CheckBailout = true;
    s.X = -0.75f;
    s.Y = 0.1f;
    app.regionCenterRe = -0.75f;
    app.regionCenterIm = 0.1f;
    app.regionWidth = 0.5f;
    app.regionReciprocal = 2.0f;
    app.running = false;
    if (!app.viewImage.pixels) AllocBlocks();
    AllocSamples();
    ResetRandom();
    for (int32_t i = 0; i < app.samples.count; ++i) {
        SeedPosition(app.samples, i);
        app.samples.c[i] = app.samples.z[i];
    }
}

void RegionPassBench(benchmark::State& state)
{
    Prepare(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        std::lock_guard<std::mutex> hold(app.blocksLock);
        RegionPass();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(RegionPassBench)->Arg(320)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Arguments: render path, threads (0: every processor). False, with the
// benchmark skipped, when the processor lacks the path.
bool ChoosePath(benchmark::State& state)
{
    const RenderPath path = static_cast<RenderPath>(state.range(0));
    if (!RenderPathAvailable(path)) {
        state.SkipWithError("the processor lacks this path");
        return false;
    }
    SetRenderPath(path);
    SetRenderThreads(static_cast<int32_t>(state.range(1)));
    state.SetLabel(std::string(RenderPathName(path)) + ", " + std::to_string(RenderThreads()) + " thr");
    return true;
}

void PathArguments(benchmark::internal::Benchmark* b)
{
    b->Args({renderPathReference, 1});
    for (int64_t path : {renderPathSse2, renderPathAvx2})
        for (int64_t threads : {1, 0}) b->Args({path, threads});
}

// A whole region pass, splats into the 2048 x 2048 image and reseeds
// included, 100000 samples.
void RegionPassPathBench(benchmark::State& state)
{
    Prepare(100000);
    if (!ChoosePath(state)) return;
    for (auto _ : state) {
        std::lock_guard<std::mutex> hold(app.blocksLock);
        RegionPassOnPath();
    }
    state.SetItemsProcessed(state.iterations() * 100000);
    SetRenderThreads(1);
    StopHelpers();
}
BENCHMARK(RegionPassPathBench)->Apply(PathArguments)->Unit(benchmark::kMillisecond)->UseRealTime();

// A BorderOnly seeding of 320 samples from the same draws each time.
void SeedingPathBench(benchmark::State& state)
{
    Prepare(320, true);
    if (!ChoosePath(state)) return;
    app.running = true;
    for (auto _ : state) {
        ResetRandom();
        benchmark::DoNotOptimize(SeedSamplesOnPath());
    }
    app.running = false;
    state.SetItemsProcessed(state.iterations() * 320);
    SetRenderThreads(1);
    StopHelpers();
}
BENCHMARK(SeedingPathBench)->Apply(PathArguments)->Unit(benchmark::kMillisecond)->UseRealTime();

void ViewPassBench(benchmark::State& state)
{
    Prepare(320);
    for (auto _ : state) {
        std::lock_guard<std::mutex> hold(app.blocksLock);
        ViewPass();
    }
    state.SetItemsProcessed(state.iterations() * 40);  // 320 samples / view step 8
}
BENCHMARK(ViewPassBench);

void DistanceEstimateBench(benchmark::State& state)
{
    Prepare(1);
    const PlanePoint inside = {-0.1f, 0.1f};  // bounded: all Iterations steps
    for (auto _ : state) benchmark::DoNotOptimize(DistanceEstimate(inside));
}
BENCHMARK(DistanceEstimateBench)->Unit(benchmark::kMicrosecond);

void SnapToBorderBench(benchmark::State& state)
{
    Prepare(1);
    for (auto _ : state) {
        PlanePoint p = {-0.75f, 0.3f};
        SnapToBorder(p);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(SnapToBorderBench)->Unit(benchmark::kMillisecond);

void SeedSamplesBorderOnlyBench(benchmark::State& state)
{
    Prepare(320, true);
    // Seeding stops as soon as running is cleared.
    app.running = true;
    for (auto _ : state) SeedSamples();
    app.running = false;
    state.SetItemsProcessed(state.iterations() * 320);
}
BENCHMARK(SeedSamplesBorderOnlyBench)->Unit(benchmark::kMillisecond);

void TraceOutlineBench(benchmark::State& state)
{
    Prepare(1);
    for (auto _ : state) TraceOutline();
}
BENCHMARK(TraceOutlineBench)->Unit(benchmark::kMicrosecond);

void ClearImagesBench(benchmark::State& state)
{
    Prepare(1);
    for (auto _ : state) ClearImages();
    state.SetBytesProcessed(state.iterations() * (2048LL * 2048 * 3 + 512LL * 512 * 3));
}
BENCHMARK(ClearImagesBench)->Unit(benchmark::kMillisecond);

void WriteBitmapBench(benchmark::State& state)
{
    Prepare(1);
    std::string error;
    for (auto _ : state)
        if (!WriteOutputBitmap("bench-output.bmp", error)) state.SkipWithError(error.c_str());
    state.SetBytesProcessed(state.iterations() * (2048LL * 2048 * 3 + 54));
    std::remove("bench-output.bmp");
}
BENCHMARK(WriteBitmapBench)->Unit(benchmark::kMillisecond);

// The right pane painted whole: its 512 x 512 pixels averaged from the
// 2048 x 2048 output image.
void PaneAverageBench(benchmark::State& state)
{
    Prepare(1);
    RgbImage& image = app.outputImage;
    const size_t bytes = static_cast<size_t>(image.width) * 3u * static_cast<size_t>(image.height);
    for (size_t i = 0; i < bytes; ++i) image.pixels[i] = static_cast<uint8_t>(i * 131u >> 3);
    const ClientRect whole = {0, 0, app.viewWidth, app.viewHeight};
    std::vector<uint8_t> out(static_cast<size_t>(PaneRowStride(app.viewWidth)) * app.viewHeight);
    for (auto _ : state) {
        AveragePaneArea(image, app.viewWidth, app.viewHeight, whole, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}
BENCHMARK(PaneAverageBench)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
