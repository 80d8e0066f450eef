// The right pane's area average against a direct per-pixel mean.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ui/PaneAverage.h"

namespace {

struct TestImage {
    std::vector<uint8_t> bytes;
    RgbImage image;
};

// A picture with detail at every pixel, so a wrong span shows.
void MakeImage(TestImage& t, int32_t width, int32_t height)
{
    t.bytes.resize(static_cast<size_t>(width) * height * 3);
    uint32_t state = 12345;
    for (uint8_t& b : t.bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 23);
    }
    t.image = {};
    t.image.width = width;
    t.image.height = height;
    t.image.pixels = t.bytes.data();
}

// Pane pixel (x, y downward) computed straight from the rule.
void DirectMean(const RgbImage& image, int32_t paneW, int32_t paneH, int32_t x, int32_t y,
                uint8_t out[3])
{
    const int32_t rowFromBottom = paneH - 1 - y;
    int64_t c0 = int64_t(x) * image.width / paneW;
    int64_t c1 = (int64_t(x) + 1) * image.width / paneW - 1;
    if (c1 < c0) c1 = c0;
    int64_t r0 = int64_t(rowFromBottom) * image.height / paneH;
    int64_t r1 = (int64_t(rowFromBottom) + 1) * image.height / paneH - 1;
    if (r1 < r0) r1 = r0;
    uint64_t sum[3] = {0, 0, 0};
    for (int64_t r = r0; r <= r1; ++r)
        for (int64_t c = c0; c <= c1; ++c)
            for (int k = 0; k < 3; ++k) sum[k] += image.pixels[(r * image.width + c) * 3 + k];
    const uint64_t n = uint64_t(r1 - r0 + 1) * uint64_t(c1 - c0 + 1);
    for (int k = 0; k < 3; ++k) out[k] = uint8_t((sum[k] + n / 2) / n);
}

// Averages area and checks every pixel of it, and the zero row padding.
void ExpectArea(const RgbImage& image, int32_t paneW, int32_t paneH, ClientRect area)
{
    const int32_t w = area.right - area.left;
    const int32_t h = area.bottom - area.top;
    const uint32_t stride = PaneRowStride(w);
    std::vector<uint8_t> out(size_t(stride) * h, 0xAB);
    AveragePaneArea(image, paneW, paneH, area, out.data());
    for (int32_t r = 0; r < h; ++r) {
        const int32_t y = area.bottom - 1 - r;  // buffer rows are bottom-up
        for (int32_t i = 0; i < w; ++i) {
            uint8_t expected[3];
            DirectMean(image, paneW, paneH, area.left + i, y, expected);
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(out[size_t(r) * stride + 3 * i + k], expected[k])
                    << "pane pixel " << area.left + i << "," << y << " channel " << k;
        }
        for (uint32_t pad = 3u * w; pad < stride; ++pad) ASSERT_EQ(out[size_t(r) * stride + pad], 0);
    }
}

}  // namespace

TEST(PaneAverage, RowStrideIsPaddedToFourBytes)
{
    EXPECT_EQ(PaneRowStride(512), 1536u);
    EXPECT_EQ(PaneRowStride(1), 4u);
    EXPECT_EQ(PaneRowStride(5), 16u);
    EXPECT_EQ(PaneRowStride(3), 12u);
}

TEST(PaneAverage, WholePaneMatchesDirectMean)
{
    struct Case {
        int32_t width, height;
    };
    const Case cases[] = {{2048, 2048}, {512, 512}, {1024, 256}, {1030, 1030}, {300, 700}, {7, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        TestImage t;
        MakeImage(t, c.width, c.height);
        ExpectArea(t.image, 512, 512, {0, 0, 512, 512});
    }
}

TEST(PaneAverage, DefaultSizeIsExactFourByFourMean)
{
    TestImage t;
    MakeImage(t, 2048, 2048);
    std::vector<uint8_t> out(size_t(PaneRowStride(1)) * 1);
    // Pane pixel (10, 511) is the bottom row: source columns 40..43, rows 0..3.
    AveragePaneArea(t.image, 512, 512, {10, 511, 11, 512}, out.data());
    uint32_t sum = 0;
    for (int r = 0; r < 4; ++r)
        for (int c = 40; c < 44; ++c) sum += t.bytes[(size_t(r) * 2048 + c) * 3 + 1];
    EXPECT_EQ(out[1], (sum + 8) / 16);
}

TEST(PaneAverage, PartialAreaGivesTheWholePanePixels)
{
    TestImage t;
    MakeImage(t, 1030, 1030);
    const ClientRect areas[] = {{0, 0, 1, 1}, {17, 33, 130, 64}, {511, 0, 512, 512}, {3, 500, 250, 512}};
    for (const ClientRect& a : areas) {
        SCOPED_TRACE(testing::Message() << a.left << "," << a.top << "," << a.right << "," << a.bottom);
        ExpectArea(t.image, 512, 512, a);
    }
}

TEST(PaneAverage, AbsentImageWritesNothing)
{
    RgbImage absent = {};
    std::vector<uint8_t> out(PaneRowStride(4) * 4, 0x5A);
    AveragePaneArea(absent, 512, 512, {0, 0, 4, 4}, out.data());
    for (uint8_t b : out) EXPECT_EQ(b, 0x5A);
}
