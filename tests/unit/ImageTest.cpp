// Images, the plane <-> pixel mappings and colour accumulation.
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <limits>
#include <mutex>

#include "Fixture.h"

namespace {

class ImageTest : public RenderEngineTest {};

const double inf = std::numeric_limits<double>::infinity();
const double notANumber = std::numeric_limits<double>::quiet_NaN();

Colour3 PixelOf(const RgbImage& image, int32_t col, int32_t row)
{
    const uint8_t* p = PixelAt(image, col, row);
    return {p[0], p[1], p[2]};
}

bool SameColour(Colour3 a, Colour3 b)
{
    return a.blue == b.blue && a.green == b.green && a.red == b.red;
}

size_t NonZeroBytes(const RgbImage& image)
{
    size_t n = 0;
    for (size_t i = 0; i < static_cast<size_t>(image.width) * image.height * 3; ++i)
        n += image.pixels[i] != 0;
    return n;
}

}  // namespace

TEST(FloatToInt, TruncatesTowardZeroAndSendsTheUnrepresentableToInt32Min)
{
    const struct {
        double value;
        int32_t expected;
    } cases[] = {
        {3.7, 3},
        {-3.7, -3},
        {-0.999, 0},
        {2147483647.9, 2147483647},
        {2147483648.0, INT32_MIN},
        {-2147483648.9, INT32_MIN},
        {-2147483649.0, INT32_MIN},
        {1e300, INT32_MIN},
        {inf, INT32_MIN},
        {-inf, INT32_MIN},
        {notANumber, INT32_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(FloatToInt(c.value), c.expected) << c.value;
}

TEST_F(ImageTest, AllocationFillsTheHeadersAndTheClientRectangle)
{
    const BitmapInfo& view = app.viewImage.info;
    EXPECT_EQ(view.headerSize, 40u);
    EXPECT_EQ(view.width, 512);
    EXPECT_EQ(view.height, 512);
    EXPECT_EQ(view.planes, 1);
    EXPECT_EQ(view.bitCount, 24);
    EXPECT_EQ(view.compression, 0u);
    EXPECT_EQ(view.imageSize, 512u * 512u * 3u);
    EXPECT_EQ(view.xPelsPerMeter | view.yPelsPerMeter, 0);
    EXPECT_EQ(view.coloursUsed | view.coloursImportant, 0u);
    const BitmapInfo& out = app.outputImage.info;
    EXPECT_EQ(out.headerSize, 40u);
    EXPECT_EQ(out.width, 2048);
    EXPECT_EQ(out.height, 2048);
    EXPECT_EQ(out.planes, 1);
    EXPECT_EQ(out.bitCount, 24);
    EXPECT_EQ(out.imageSize, 12582912u);
    EXPECT_EQ(app.outputImage.width, 2048);
    EXPECT_EQ(app.outputImage.height, 2048);
    EXPECT_EQ(app.clientRect.left, 0);
    EXPECT_EQ(app.clientRect.top, 0);
    EXPECT_EQ(app.clientRect.right, 1024);
    EXPECT_EQ(app.clientRect.bottom, 512);
}

TEST(ImageByteSize, RefusesNegativeSizesAndAnythingAboveInt32Max)
{
    const struct {
        int32_t width, height;
        bool fits;
        uint32_t bytes;
    } cases[] = {
        {0, 0, true, 0},
        {2048, 2048, true, 12582912},
        {5, 3, true, 45},
        {26754, 26754, true, 2147329548},
        {26755, 26755, false, 0},
        {715827882, 1, true, 2147483646},
        {715827883, 1, false, 0},
        {INT32_MAX, INT32_MAX, false, 0},
        {-1, 10, false, 0},
        {-1, -1, false, 0},
        {INT32_MIN, INT32_MIN, false, 0},
    };
    for (const auto& c : cases) {
        uint32_t bytes = 0;
        EXPECT_EQ(ImageByteSize(c.width, c.height, bytes), c.fits) << c.width << "x" << c.height;
        if (c.fits) {
            EXPECT_EQ(bytes, c.bytes);
        }
    }
}

TEST_F(ImageTest, AnOutputSizeThatCannotBeHadLeavesTheImageAbsentWithTheMessage)
{
    const int32_t sizes[][2] = {{100000, 100000}, {-4, 4}, {INT32_MAX, 2}};
    for (const auto& size : sizes) {
        ASSERT_TRUE(AllocOutputImage());
        Recorded().memoryErrors.clear();
        app.settings.Width = size[0];
        app.settings.Height = size[1];
        EXPECT_FALSE(AllocOutputImage());
        ASSERT_EQ(MemoryErrors().size(), 1u);
        EXPECT_EQ(MemoryErrors()[0], "Out of memory. Choose a smaller output size.");
        EXPECT_EQ(app.outputImage.pixels, nullptr);
        // The size stays that of the block last held; the header has the one asked for.
        EXPECT_EQ(app.outputImage.width, 2048);
        EXPECT_EQ(app.outputImage.height, 2048);
        EXPECT_EQ(app.outputImage.info.width, size[0]);
        EXPECT_EQ(app.outputImage.info.height, size[1]);
        // Writers stay off the absent image.
        SplatOutput({0.0f, 0.0f}, {200, 200, 200});
        app.settings.Width = 2048;
        app.settings.Height = 2048;
    }
}

TEST_F(ImageTest, AllocOutputImageDuringARunChangesNothing)
{
    uint8_t* before = app.outputImage.pixels;
    const BitmapInfo header = app.outputImage.info;
    app.settings.Width = 64;
    app.settings.Height = 32;
    app.running = true;
    {
        // The worker holds the lock for a whole pass; the refusal must not wait for it.
        std::unique_lock<std::mutex> pass(app.blocksLock);
        std::future<bool> refused = std::async(std::launch::async, AllocOutputImage);
        const bool answered = refused.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        EXPECT_TRUE(answered) << "AllocOutputImage waited for the worker's pass";
        pass.unlock();
        EXPECT_FALSE(refused.get());
    }
    app.running = false;
    EXPECT_TRUE(MemoryErrors().empty());
    EXPECT_EQ(app.outputImage.pixels, before);
    EXPECT_EQ(app.outputImage.width, 2048);
    EXPECT_EQ(app.outputImage.height, 2048);
    EXPECT_EQ(std::memcmp(&app.outputImage.info, &header, sizeof header), 0);
}

TEST_F(ImageTest, AReplacedOutputImageIsBlackAndSizedFromTheSettings)
{
    std::memset(app.outputImage.pixels, 0xAB, app.outputImage.info.imageSize);
    app.settings.Width = 6;
    app.settings.Height = 3;
    ASSERT_TRUE(AllocOutputImage());
    EXPECT_EQ(app.outputImage.width, 6);
    EXPECT_EQ(app.outputImage.height, 3);
    EXPECT_EQ(app.outputImage.info.width, 6);
    EXPECT_EQ(app.outputImage.info.height, 3);
    EXPECT_EQ(app.outputImage.info.imageSize, 54u);
    EXPECT_EQ(NonZeroBytes(app.outputImage), 0u);
}

TEST_F(ImageTest, PlaneToViewPixelClampsAndWrapsLikeThe32BitProgram)
{
    // Centre (-0.5, 0): the pane spans re -1.5 .. 0.5 and im -1 .. 1.
    const struct {
        float re, im;
        int32_t col, row;
    } cases[] = {
        {-0.5f, 0.0f, 256, 256},
        {-1.5f, -1.0f, 0, 511},
        {0.5f, 1.0f, 511, 0},
        {0.0f, 0.5f, 384, 128},
        {-0.5f, -0.001f, 256, 256},  // truncation toward zero
        {1e10f, 0.0f, 0, 256},       // out of range: INT32_MIN, so index 0
        {-1e10f, 0.0f, 0, 256},
        {-0.5f, 1e10f, 256, 0},
        {-0.5f, -1e10f, 256, 0},
        {std::numeric_limits<float>::infinity(), 0.0f, 0, 256},
        {-0.5f, -std::numeric_limits<float>::infinity(), 256, 0},
        {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::quiet_NaN(), 0, 0},
        // 256 + 2147483520 wraps negative before the clamp.
        {8388607.0f, 0.0f, 0, 256},
        {8388000.0f, 0.0f, 511, 256},
        // 512 - (256 - 2147483392) wraps to INT32_MIN before the clamp.
        {-0.5f, -8388607.0f, 256, 0},
        {-0.5f, -8388000.0f, 256, 511},
    };
    for (const auto& c : cases) {
        const PixelPoint at = PlaneToViewPixel({c.re, c.im});
        EXPECT_EQ(at.col, c.col) << c.re << ", " << c.im;
        EXPECT_EQ(at.row, c.row) << c.re << ", " << c.im;
    }
}

TEST_F(ImageTest, PixelToPlaneMappingsOfBothPanes)
{
    app.settings.CenterX = 0.25f;
    app.settings.CenterY = -0.5f;
    PlanePoint p = ViewPixelToPlane(256, 256);
    EXPECT_EQ(p.re, 0.25f);
    EXPECT_EQ(p.im, -0.5f);
    p = ViewPixelToPlane(0, 0);
    EXPECT_EQ(p.re, -0.75f);
    EXPECT_EQ(p.im, 0.5f);

    app.regionWidth = 0.5f;
    app.regionCenterRe = 0.25f;
    app.regionCenterIm = -0.5f;
    p = RegionPixelToPlane(256, 256);
    EXPECT_EQ(p.re, 0.25f);
    EXPECT_EQ(p.im, -0.5f);
    p = RegionPixelToPlane(0, 512);
    EXPECT_EQ(p.re, 0.0f);
    EXPECT_EQ(p.im, -0.75f);
}

TEST_F(ImageTest, TheRegionCentreMapsToTheMiddleOfTheOutputImage)
{
    app.regionCenterRe = 0.3f;
    app.regionCenterIm = -0.2f;
    app.regionReciprocal = 4.0f;
    const PixelPoint centre = PlaneToOutputPixel({0.3f, -0.2f});
    EXPECT_EQ(centre.col, 1024);
    EXPECT_EQ(centre.row, 1024);
    // Not clamped: a point far outside the region maps far outside the image.
    const PixelPoint outside = PlaneToOutputPixel({1.3f, -1.2f});
    EXPECT_GT(outside.col, 2048 * 4);
    EXPECT_GT(outside.row, 2048 * 4);
}

TEST(ColourOperations, SaturateEachChannelOnItsOwnAndQuarterRoundsDown)
{
    const struct {
        Colour3 pixel, add, sum;
    } sums[] = {
        {{100, 250, 0}, {100, 10, 7}, {200, 255, 7}},
        {{255, 255, 255}, {1, 0, 255}, {255, 255, 255}},
        {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
        {{128, 127, 1}, {127, 128, 254}, {255, 255, 255}},
    };
    for (const auto& c : sums) {
        uint8_t pixel[3] = {c.pixel.blue, c.pixel.green, c.pixel.red};
        AddSaturated(pixel, c.add);
        EXPECT_EQ(pixel[0], c.sum.blue);
        EXPECT_EQ(pixel[1], c.sum.green);
        EXPECT_EQ(pixel[2], c.sum.red);
    }
    const struct {
        Colour3 in, out;
    } quarters[] = {
        {{255, 3, 4}, {63, 0, 1}},
        {{12, 18, 9}, {3, 4, 2}},
        {{0, 1, 2}, {0, 0, 0}},
    };
    for (const auto& c : quarters) EXPECT_TRUE(SameColour(QuarterColour(c.in), c.out));
}

TEST_F(ImageTest, SetViewPixelReplacesAndIgnoresPositionsOutside)
{
    SetViewPixel(3, 2, {1, 2, 3});
    SetViewPixel(3, 2, {9, 8, 7});
    EXPECT_TRUE(SameColour(PixelOf(app.viewImage, 3, 2), {9, 8, 7}));
    const size_t before = NonZeroBytes(app.viewImage);
    const int32_t outside[][2] = {{-1, 0}, {0, -1}, {512, 0}, {0, 512}, {INT32_MIN, INT32_MAX}};
    for (const auto& at : outside) SetViewPixel(at[0], at[1], {255, 255, 255});
    EXPECT_EQ(NonZeroBytes(app.viewImage), before);
}

TEST_F(ImageTest, PlotViewAddsAtTheClampedPixel)
{
    // Allocation leaves the view's pixels as the heap had them.
    std::memset(app.viewImage.pixels, 0, app.viewImage.info.imageSize);
    PlotView({-0.5f, 0.0f}, {200, 100, 10});
    PlotView({-0.5f, 0.0f}, {100, 100, 10});
    EXPECT_TRUE(SameColour(PixelOf(app.viewImage, 256, 256), {255, 200, 20}));
    PlotView({100.0f, -100.0f}, {5, 6, 7});
    EXPECT_TRUE(SameColour(PixelOf(app.viewImage, 511, 511), {5, 6, 7}));
}

TEST_F(ImageTest, TheSplatDrawsFivePixelsAndNothingOnTheOutermostRowsAndColumns)
{
    // An 8 x 8 image over the region of side 2 around 0: pixel column px is
    // hit by re = (px + 0.5) / 4 - 1, row py by im = 1 - (py + 0.5) / 4.
    app.settings.Width = 8;
    app.settings.Height = 8;
    ASSERT_TRUE(AllocOutputImage());
    auto re = [](int px) { return static_cast<float>((px + 0.5) / 4 - 1); };
    auto im = [](int py) { return static_cast<float>(1 - (py + 0.5) / 4); };
    const int32_t edges[][2] = {{0, 3}, {7, 3}, {3, 0}, {3, 7}, {9, 3}, {3, 8}};
    for (const auto& e : edges) {
        const PixelPoint at = PlaneToOutputPixel({re(e[0]), im(e[1])});
        ASSERT_EQ(at.col, e[0]);
        ASSERT_EQ(at.row, e[1]);
        SplatOutput({re(e[0]), im(e[1])}, {255, 255, 255});
    }
    EXPECT_EQ(NonZeroBytes(app.outputImage), 0u);

    SplatOutput({re(1), im(6)}, {40, 8, 255});
    const Colour3 quarter = {10, 2, 63};
    EXPECT_TRUE(SameColour(PixelOf(app.outputImage, 1, 6), {40, 8, 255}));
    EXPECT_TRUE(SameColour(PixelOf(app.outputImage, 0, 6), quarter));
    EXPECT_TRUE(SameColour(PixelOf(app.outputImage, 2, 6), quarter));
    EXPECT_TRUE(SameColour(PixelOf(app.outputImage, 1, 5), quarter));
    EXPECT_TRUE(SameColour(PixelOf(app.outputImage, 1, 7), quarter));
    EXPECT_EQ(NonZeroBytes(app.outputImage), 15u);
}
