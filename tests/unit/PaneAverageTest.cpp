// The right pane's area average: which image pixels each pane pixel covers,
// the exact mean, and partial areas equal to the whole pane's pixels.
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

// The whole pane, as the buffer the pane is painted from (rows bottom-up).
std::vector<uint8_t> WholePane(const RgbImage& image, int32_t paneW, int32_t paneH)
{
    std::vector<uint8_t> out(size_t(PaneRowStride(paneW)) * paneH, 0xAB);
    AveragePaneArea(image, paneW, paneH, {0, 0, paneW, paneH}, out.data());
    return out;
}

// Averages area and checks every pixel of it against the same pixel of the
// whole pane, and the zero row padding.
void ExpectArea(const RgbImage& image, int32_t paneW, int32_t paneH, ClientRect area)
{
    const std::vector<uint8_t> whole = WholePane(image, paneW, paneH);
    const uint32_t wholeStride = PaneRowStride(paneW);
    const int32_t w = area.right - area.left;
    const int32_t h = area.bottom - area.top;
    const uint32_t stride = PaneRowStride(w);
    std::vector<uint8_t> out(size_t(stride) * h, 0xAB);
    AveragePaneArea(image, paneW, paneH, area, out.data());
    for (int32_t r = 0; r < h; ++r) {
        const int32_t y = area.bottom - 1 - r;  // buffer rows are bottom-up
        const size_t wholeRow = size_t(paneH - 1 - y) * wholeStride;
        for (int32_t i = 0; i < w; ++i)
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(out[size_t(r) * stride + 3 * i + k], whole[wholeRow + 3 * (area.left + i) + k])
                    << "pane pixel " << area.left + i << "," << y << " channel " << k;
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

TEST(PaneAverage, EachPanePixelCoversItsOwnSpanOfTheImage)
{
    // Pane column x of P covers image columns x*W/P to (x+1)*W/P - 1 (at
    // least one); worked out by hand for a 512-pixel pane. An image lit in
    // exactly one span lights its pane pixel fully and leaves the
    // neighbours dark; rows are the same rule counted from the bottom.
    struct Case {
        int32_t size;            // image width (and height)
        int32_t pane;            // pane column x, and pane row x from the bottom
        int32_t first, last;     // the span it covers
        int32_t litLeft, litRight;  // whether pane x-1 and x+1 see the span too
    };
    const Case cases[] = {
        {1030, 85, 170, 172, 0, 0},   // 85*1030/512 = 170.99, 86*1030/512 = 173.01: three columns
        {1030, 84, 168, 169, 0, 0},   // two columns
        {1030, 511, 1027, 1029, 0, 0},
        {2048, 10, 40, 43, 0, 0},     // four columns, everywhere
        {512, 200, 200, 200, 0, 0},   // one to one
        {7, 74, 1, 1, 0, 1},          // 74*7/512 = 1.01; pane 73 still shows column 0
        {300, 2, 1, 1, 0, 1},         // 2*300/512 = 1.17; pane 3 shows column 1 too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " pixels, pane " << c.pane);
        TestImage t;
        MakeImage(t, c.size, c.size);
        for (int32_t r = 0; r < c.size; ++r)
            for (int32_t col = 0; col < c.size; ++col) {
                uint8_t* p = &t.bytes[(size_t(r) * c.size + col) * 3];
                p[0] = 0;
                p[1] = (col >= c.first && col <= c.last) ? 255 : 0;  // green: the column band
                p[2] = (r >= c.first && r <= c.last) ? 255 : 0;      // red: the row band
            }
        const std::vector<uint8_t> pane = WholePane(t.image, 512, 512);
        const uint32_t stride = PaneRowStride(512);
        auto at = [&](int32_t x, int32_t rowFromBottom, int k) { return pane[size_t(rowFromBottom) * stride + 3 * x + k]; };
        EXPECT_EQ(at(c.pane, 0, 1), 255);
        EXPECT_EQ(at(0, c.pane, 2), 255);
        if (c.pane > 0) {
            EXPECT_EQ(at(c.pane - 1, 0, 1), c.litLeft ? 255 : 0);
            EXPECT_EQ(at(0, c.pane - 1, 2), c.litLeft ? 255 : 0);
        }
        if (c.pane < 511) {
            EXPECT_EQ(at(c.pane + 1, 0, 1), c.litRight ? 255 : 0);
            EXPECT_EQ(at(0, c.pane + 1, 2), c.litRight ? 255 : 0);
        }
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
