// The deep image's cost: the S1 scene of scripts/speed.sh (100000 samples,
// Iterations 300, CheckBailout, the whole set in a 2048 x 2048 image, bound
// by the splats) rendered whole, with and without the deep counts, on the
// reference path and the best one, on one thread and on every thread.
// Alternate the variants with --benchmark_enable_random_interleaving=true
// on a busy machine.
#include <benchmark/benchmark.h>

#include <mutex>
#include <string>

#include "app/AppState.h"
#include "render/Blocks.h"
#include "render/Deep.h"
#include "render/fast/HelperThreads.h"
#include "render/RenderPath.h"
#include "render/Samples.h"
#include "render/Worker.h"
#include "settings/SettingsFile.h"
#include "ui/Input.h"

namespace {

void PrepareS1(bool deep)
{
    LoadDefaultSettings();
    Settings& s = app.settings;
    s.SamplePoints = 100000;
    s.Iterations = 300;
    s.CheckBailout = true;
    app.running = false;
    if (!app.viewImage.pixels) AllocBlocks();
    AllocSamples();
    if (deep) AllocDeepImage(app.outputImage.width, app.outputImage.height);
    else ReleaseDeepImage();
    ChooseStartPoint({-0.75f, 0.1f}, true);
    SelectRegion(-0.5, 0.0, 2.5);
}

// One run as halovane-render makes it: clear, seed, Iterations + 2 passes.
void RenderS1()
{
    ClearImages();
    ResetRandom();
    app.running = true;
    SeedSamplesOnPath();
    for (int32_t pass = 0; pass < app.settings.Iterations + 2; ++pass) {
        std::lock_guard<std::mutex> hold(app.blocksLock);
        RegionPassOnPath();
    }
    app.running = false;
}

// Arguments: deep (0 or 1), render path, threads (0: every processor).
void S1DeepBench(benchmark::State& state)
{
    const bool deep = state.range(0) != 0;
    const RenderPath path = static_cast<RenderPath>(state.range(1));
    if (!RenderPathAvailable(path)) {
        state.SkipWithError("the processor lacks this path");
        return;
    }
    SetRenderPath(path);
    SetRenderThreads(static_cast<int32_t>(state.range(2)));
    PrepareS1(deep);
    state.SetLabel(std::string(deep ? "deep, " : "8-bit, ") + RenderPathName(path) + ", " +
                   std::to_string(RenderThreads()) + " thr");
    for (auto _ : state) RenderS1();
    ReleaseDeepImage();
    SetRenderThreads(1);
    StopHelpers();
}

void S1Arguments(benchmark::internal::Benchmark* b)
{
    const int64_t best = BestRenderPath();
    for (int64_t deep : {0, 1}) {
        b->Args({deep, renderPathReference, 1});
        b->Args({deep, best, 1});
        b->Args({deep, best, 0});
    }
}
BENCHMARK(S1DeepBench)->Apply(S1Arguments)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
