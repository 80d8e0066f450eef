// The helper threads' layers of the output image: every reader during a
// shared run sees the whole picture, a clear empties them, and a run end
// leaves the picture in the output image alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "Fixture.h"
#include "app/AppState.h"
#include "render/Blocks.h"
#include "render/OutputLayers.h"
#include "render/RenderPath.h"
#include "render/Samples.h"
#include "render/Worker.h"
#include "render/fast/FastSeed.h"
#include "render/fast/HelperThreads.h"
#include "ui/Input.h"
#include "ui/PaneAverage.h"

namespace {

constexpr int32_t kPasses = 40;

class OutputLayersTest : public RenderEngineTest {
protected:
    void SetUp() override
    {
        RenderEngineTest::SetUp();
        Settings& s = app.settings;
        s.Width = 256;
        s.Height = 256;
        s.SamplePoints = 12000;  // shared among helper threads
        s.Iterations = kPasses;
        s.CheckBailout = true;
        s.X = -0.75f;
        s.Y = 0.1f;
        s.SampleRadius = 0.05f;
        app.regionMode = true;
        app.regionCenterRe = -0.75f;
        app.regionCenterIm = 0.1f;
        app.regionWidth = 0.5f;
        app.regionReciprocal = 2.0f;
        app.running = false;
        ASSERT_TRUE(AllocOutputImage());
        ASSERT_TRUE(AllocSamples());
        ClearImages();
    }
    void TearDown() override
    {
        SetRenderPath(BestRenderPath());
        SetRenderThreads(0);
        StopHelpers();
        RenderEngineTest::TearDown();
    }

    // A run's passes, not ended: the picture as it stands mid-run.
    static void RenderPasses(RenderPath path, int32_t threads)
    {
        SetRenderPath(path);
        SetRenderThreads(threads);
        ZeroOutputImage();
        ResetRandom();
        app.running = true;
        SeedSamplesOnPath();
        for (int32_t pass = 0; pass < kPasses; ++pass) {
            SetPassesLeft(kPasses - pass);
            std::lock_guard<std::mutex> hold(app.blocksLock);
            RegionPassOnPath();
        }
        SetPassesLeft(0);
        app.running = false;
    }

    static std::vector<uint8_t> OutputBytes()
    {
        const RgbImage& out = app.outputImage;
        return std::vector<uint8_t>(out.pixels, out.pixels + static_cast<size_t>(out.width) * out.height * 3);
    }

    static int32_t LayersHoldingSplats()
    {
        OutputLayerView view;
        const std::unique_lock<std::mutex> hold = ReadOutputLayers(view);
        return view.count;
    }

    static std::vector<uint8_t> Picture()
    {
        RgbImage copy = {};
        EXPECT_TRUE(CopyOutputPicture(copy));
        std::vector<uint8_t> bytes(copy.pixels, copy.pixels + static_cast<size_t>(copy.width) * copy.height * 3);
        std::free(copy.pixels);
        return bytes;
    }

    static std::vector<uint8_t> ReferencePicture()
    {
        RenderPasses(renderPathReference, 1);
        return OutputBytes();
    }
};

TEST_F(OutputLayersTest, ReadersDuringASharedRunSeeTheWholePicture)
{
    const std::vector<uint8_t> reference = ReferencePicture();
    size_t lit = 0;
    for (uint8_t b : reference) lit += b != 0;
    ASSERT_GT(lit, 1000u);
    const ClientRect pane = {0, 0, app.viewWidth, app.viewHeight};
    const size_t paneBytes = static_cast<size_t>(PaneRowStride(app.viewWidth)) * app.viewHeight;
    std::vector<uint8_t> expectedPane(paneBytes);
    AveragePaneArea(app.outputImage, app.viewWidth, app.viewHeight, pane, expectedPane.data());

    RenderPasses(BestRenderPath(), 3);
    ASSERT_EQ(LayersHoldingSplats(), 2) << "each helper splats into a layer of its own";
    // The output image alone misses the helpers' splats, whenever they
    // took a part (a helper the system held back may have taken none).
    bool helpersSplatted = false;
    {
        OutputLayerView layers;
        const std::unique_lock<std::mutex> hold = ReadOutputLayers(layers);
        for (int32_t i = 0; i < layers.count; ++i)
            for (size_t k = 0; k < reference.size() && !helpersSplatted; ++k) helpersSplatted = layers.pixels[i][k] != 0;
    }
    if (helpersSplatted) {
        EXPECT_NE(OutputBytes(), reference);
    }
    EXPECT_EQ(Picture(), reference);

    // The right pane, as the paint computes it.
    std::vector<uint8_t> pane1(paneBytes);
    {
        OutputLayerView layers;
        const std::unique_lock<std::mutex> hold = ReadOutputLayers(layers);
        AveragePaneArea(app.outputImage, app.viewWidth, app.viewHeight, pane, pane1.data(), &layers);
    }
    EXPECT_EQ(pane1, expectedPane);

    // Save during the run writes the whole picture.
    const std::filesystem::path previous = std::filesystem::current_path();
    const std::filesystem::path own = previous / "layers-save";
    std::filesystem::create_directories(own);
    std::filesystem::current_path(own);
    std::string message;
    EXPECT_TRUE(OnSave(message)) << message;
    FILE* file = std::fopen("output.bmp", "rb");
    std::vector<uint8_t> saved(reference.size());
    ASSERT_NE(file, nullptr);
    std::fseek(file, 54, SEEK_SET);
    EXPECT_EQ(std::fread(saved.data(), 1, saved.size(), file), saved.size());  // rows of 768 bytes: no padding
    std::fclose(file);
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(own);
    EXPECT_EQ(saved, reference);

    // A merge leaves the same picture in the output image alone.
    MergeOutputLayers(true);
    EXPECT_EQ(LayersHoldingSplats(), 0);
    EXPECT_EQ(OutputBytes(), reference);
    EXPECT_EQ(Picture(), reference);
}

TEST_F(OutputLayersTest, AClearEmptiesTheLayersToo)
{
    RenderPasses(BestRenderPath(), 2);
    ASSERT_EQ(LayersHoldingSplats(), 1);
    ClearImages();
    const std::vector<uint8_t> black(static_cast<size_t>(256) * 256 * 3, 0);
    EXPECT_EQ(Picture(), black);
    // Nothing cleared comes back with a later merge.
    MergeOutputLayers(false);
    EXPECT_EQ(OutputBytes(), black);
}

TEST_F(OutputLayersTest, ARunEndLeavesThePictureInTheOutputImage)
{
    SetRenderPath(BestRenderPath());
    SetRenderThreads(2);
    ZeroOutputImage();
    ResetRandom();
    static int32_t layersAtRunEnd;
    static std::vector<uint8_t>* atRunEnd;
    layersAtRunEnd = -1;
    std::vector<uint8_t> seen;
    atRunEnd = &seen;
    Recorded().onRunEnd = [](int) {
        layersAtRunEnd = LayersHoldingSplats();
        *atRunEnd = OutputBytes();
        app.continuous = false;
        app.quitRequested = true;
    };
    app.continuous = false;
    app.restartRequested = true;
    RenderWorker(nullptr);
    EXPECT_EQ(layersAtRunEnd, 0);
    // A whole run is the passes above and its last two.
    RenderPasses(renderPathReference, 1);
    for (int32_t pass = 0; pass < 2; ++pass) {
        std::lock_guard<std::mutex> hold(app.blocksLock);
        RegionPass();
    }
    EXPECT_EQ(seen, OutputBytes());
}

}  // namespace
