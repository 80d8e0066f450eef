// The set outline and the pane divider drawn at every clear.
#include <cmath>
#include <cstring>
#include <limits>

#include "Fixture.h"
#include "render/Blocks.h"
#include "render/Outline.h"

namespace {

class OutlineTest : public RenderEngineTest {};

bool IsGrey(const RgbImage& image, int32_t col, int32_t row)
{
    const uint8_t* p = PixelAt(image, col, row);
    return p[0] == 128 && p[1] == 128 && p[2] == 128;
}

bool IsBlack(const RgbImage& image, int32_t col, int32_t row)
{
    const uint8_t* p = PixelAt(image, col, row);
    return p[0] == 0 && p[1] == 0 && p[2] == 0;
}

}  // namespace

TEST(QuickInside, CountsThirtyTwoOrbitPointsWithinRadiusTwo)
{
    const struct {
        float re, im;
        bool inside;
    } cases[] = {
        {-2.0f, 0.0f, false},  // |z0|^2 = 4 fails the strict test
        {0.5f, 0.0f, false},
        {0.25f, 0.0f, true},
        {0.0f, 0.0f, true},
        {-1.0f, 0.0f, true},
        {0.3f, -0.01f, false},
        {0.28f, -0.01f, true},
        {std::numeric_limits<float>::quiet_NaN(), 0.0f, false},
        {std::numeric_limits<float>::infinity(), 0.0f, false},
    };
    for (const auto& c : cases) EXPECT_EQ(QuickInside(c.re, c.im), c.inside) << c.re << ", " << c.im;
}

TEST(WalkOutline, StartsRightOfTheCuspAndEndsOnTheAxisAfter1659Steps)
{
    OutlineWalk walk;
    ASSERT_TRUE(WalkOutline(walk));
    // 0.3, 0.295, 0.29 and 0.285 are rejected.
    EXPECT_EQ(walk.searchDecrements, 4);
    EXPECT_NEAR(walk.start.re, 0.28f, 1e-6f);
    EXPECT_EQ(walk.start.im, -0.01f);
    EXPECT_NEAR(walk.startOutside.re, 0.285f, 1e-6f);
    EXPECT_EQ(walk.startOutside.im, -0.01f);
    // The first step accepts the diagonal next to Q.
    EXPECT_NEAR(walk.firstDrawn.re, 0.285f, 1e-6f);
    EXPECT_NEAR(walk.firstDrawn.im, -0.015f, 1e-6f);
    EXPECT_EQ(walk.steps, 1659);
    EXPECT_NEAR(walk.lastDrawn.re, -1.39999f, 1e-5f);
    EXPECT_NEAR(walk.lastDrawn.im, 0.00499f, 1e-5f);
    EXPECT_GE(walk.lastDrawn.im, 0.0f);
    // Out through the band the 32-step test accepts, round the bottom of the
    // set, and along the antenna on the grid row just below the axis.
    EXPECT_NEAR(walk.greatestRe, 0.44f, 1e-5f);
    EXPECT_NEAR(walk.lowest.im, -0.905f, 1e-5f);
    EXPECT_NEAR(walk.leastRe, -1.53499f, 1e-5f);
}

TEST_F(OutlineTest, TheOutlineIsGreySymmetricAndFollowsTheAntennaOntoColumnZero)
{
    ClearImages();
    const RgbImage& view = app.viewImage;
    int32_t grey = 0;
    for (int32_t row = 0; row < view.height; ++row) {
        for (int32_t col = 0; col < view.width; ++col) {
            ASSERT_TRUE(IsGrey(view, col, row) || IsBlack(view, col, row)) << col << ", " << row;
            grey += IsGrey(view, col, row);
            // A point and its mirror in the real axis: rows r and 512 - r.
            if (col < view.width - 1 && row > 0) {
                EXPECT_EQ(IsGrey(view, col, row), IsGrey(view, col, 512 - row)) << col << ", " << row;
            }
        }
    }
    EXPECT_GT(grey, 1000);
    const PixelPoint first = PlaneToViewPixel({0.285f, -0.015f});
    EXPECT_TRUE(IsGrey(view, first.col, first.row));
    const PixelPoint mirror = PlaneToViewPixel({0.285f, 0.015f});
    EXPECT_TRUE(IsGrey(view, mirror.col, mirror.row));
    // The antenna runs left of re = -1.5 on the row just below the axis.
    EXPECT_TRUE(IsGrey(view, 0, 256));
}

TEST_F(OutlineTest, EveryClearDrawsTheDividerWhateverTheCentre)
{
    const float centres[][2] = {{-0.5f, 0.0f}, {3.0f, 3.0f}, {-40.0f, 0.25f}};
    for (const auto& centre : centres) {
        app.settings.CenterX = centre[0];
        app.settings.CenterY = centre[1];
        ClearImages();
        for (int32_t row = 0; row < app.viewHeight; ++row)
            ASSERT_TRUE(IsGrey(app.viewImage, 511, row)) << centre[0] << ": row " << row;
    }
}

TEST_F(OutlineTest, ClearingBlacksOutTheOutputAndReplacesWhatTheViewHeld)
{
    std::memset(app.viewImage.pixels, 0xFF, app.viewImage.info.imageSize);
    std::memset(app.outputImage.pixels, 0x55, app.outputImage.info.imageSize);
    ClearImages();
    const uint8_t* out = app.outputImage.pixels;
    for (uint32_t i = 0; i < app.outputImage.info.imageSize; ++i) ASSERT_EQ(out[i], 0) << i;
    for (int32_t row = 0; row < app.viewHeight; ++row)
        for (int32_t col = 0; col < app.viewWidth; ++col)
            ASSERT_TRUE(IsGrey(app.viewImage, col, row) || IsBlack(app.viewImage, col, row));
}

TEST_F(OutlineTest, ClearingWithoutAnOutputImageStillDrawsTheOutline)
{
    app.settings.Width = -1;
    ASSERT_FALSE(AllocOutputImage());
    ASSERT_EQ(app.outputImage.pixels, nullptr);
    ClearImages();
    EXPECT_TRUE(IsGrey(app.viewImage, 511, 0));
    EXPECT_TRUE(IsGrey(app.viewImage, 0, 256));
}
