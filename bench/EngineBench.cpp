// Speed of the engine's hot paths: passes, distance estimate, snap, seeding,
// outline, clears and the bitmap writer.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "app/AppState.h"
#include "output/Bitmap.h"
#include "render/Blocks.h"
#include "render/Distance.h"
#include "render/Image.h"
#include "render/Outline.h"
#include "render/Samples.h"
#include "render/Worker.h"
#include "settings/SettingsFile.h"

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

}  // namespace

BENCHMARK_MAIN();
