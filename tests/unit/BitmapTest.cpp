// The bitmap file: header fields, row order, filled-out rows, and saves that
// fail without harming the file already there.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/AppState.h"
#include "output/Bitmap.h"
#include "render/Image.h"

namespace {

uint32_t Get32(const std::string& bytes, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[at + i]);
    return v;
}

uint32_t Get16(const std::string& bytes, size_t at)
{
    return static_cast<uint8_t>(bytes[at]) | (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8);
}

// An image whose every byte tells where it is: value = offset mod 251.
struct TestImage {
    std::vector<uint8_t> block;
    RgbImage image = {};
};

void MakeImage(TestImage& t, int32_t width, int32_t height)
{
    // One spare byte, so that an image of size 0 still has a block, as a
    // zero-byte allocation does.
    t.block.resize(static_cast<size_t>(width) * height * 3 + 1);
    for (size_t i = 0; i < t.block.size(); ++i) t.block[i] = static_cast<uint8_t>(i % 251);
    t.image.width = width;
    t.image.height = height;
    t.image.pixels = t.block.data();
}

TEST(Bitmap, HeaderFieldsFollowTheImageSize)
{
    struct Case {
        int32_t width, height;
        uint32_t fileSize, imageSize;
    };
    const Case cases[] = {
        {2048, 2048, 12582966, 12582912},
        {4, 4, 102, 48},
        {5, 3, 102, 48},  // 15-byte rows filled out to 16
        {1, 2, 62, 8},
        {0, 0, 54, 0},  // an empty image: the headers alone
        {7, 0, 54, 0},
    };
    const char* path = "bitmap-header-test.bmp";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        TestImage t;
        MakeImage(t, c.width, c.height);
        std::string error;
        ASSERT_TRUE(WriteImageBitmap(t.image, path, error)) << error;
        const std::string file = ReadBytes(path);
        ASSERT_EQ(file.size(), c.fileSize);
        EXPECT_EQ(file.substr(0, 2), "BM");
        EXPECT_EQ(Get32(file, 2), c.fileSize);
        EXPECT_EQ(Get32(file, 6), 0u) << "reserved";
        EXPECT_EQ(Get32(file, 10), 54u);
        EXPECT_EQ(Get32(file, 14), 40u);
        EXPECT_EQ(Get32(file, 18), static_cast<uint32_t>(c.width));
        EXPECT_EQ(Get32(file, 22), static_cast<uint32_t>(c.height));
        EXPECT_EQ(Get16(file, 26), 1u);
        EXPECT_EQ(Get16(file, 28), 24u);
        EXPECT_EQ(Get32(file, 30), 0u);
        EXPECT_EQ(Get32(file, 34), c.imageSize);
        for (size_t at = 38; at < 54; at += 4) EXPECT_EQ(Get32(file, at), 0u) << at;
    }
    std::remove(path);
}

TEST(Bitmap, RowsGoBottomFirstAndAreFilledOutToFourBytes)
{
    const char* path = "bitmap-rows-test.bmp";
    for (int32_t width : {4, 5, 6, 7}) {
        SCOPED_TRACE(width);
        const int32_t height = 3;
        TestImage t;
        MakeImage(t, width, height);
        std::string error;
        ASSERT_TRUE(WriteImageBitmap(t.image, path, error)) << error;
        const std::string file = ReadBytes(path);
        const size_t packed = static_cast<size_t>(width) * 3;
        const size_t stride = (packed + 3) / 4 * 4;
        ASSERT_EQ(file.size(), 54 + stride * height);
        for (int32_t row = 0; row < height; ++row) {
            const std::string inFile = file.substr(54 + row * stride, stride);
            const std::string inMemory(t.block.begin() + row * packed, t.block.begin() + (row + 1) * packed);
            EXPECT_EQ(inFile.substr(0, packed), inMemory) << "row " << row;
            EXPECT_EQ(inFile.substr(packed), std::string(stride - packed, '\0')) << "row " << row;
        }
    }
    std::remove(path);
}

TEST(Bitmap, SaveWritesTheOutputImage)
{
    const int32_t savedWidth = app.settings.Width, savedHeight = app.settings.Height;
    app.settings.Width = 4;
    app.settings.Height = 4;
    InitBitmapHeaders();
    ASSERT_TRUE(AllocOutputImage());
    for (int i = 0; i < 48; ++i) app.outputImage.pixels[i] = static_cast<uint8_t>(i);
    const char* path = "bitmap-save-test.bmp";
    std::string error;
    ASSERT_TRUE(WriteOutputBitmap(path, error)) << error;
    const std::string file = ReadBytes(path);
    ASSERT_EQ(file.size(), 102u);
    for (int i = 0; i < 48; ++i) EXPECT_EQ(static_cast<uint8_t>(file[54 + i]), i);
    ReleaseImages();
    app.settings.Width = savedWidth;
    app.settings.Height = savedHeight;
    std::remove(path);
}

// How the old file is kept whole on every failure is the file writer's
// affair (FileWriteTest); here a save that cannot be made says why.
TEST(Bitmap, AFailedSaveGivesTheReason)
{
    const char* path = "bitmap-refused-test.bmp";
    TestImage image;
    MakeImage(image, 4, 4);
    std::filesystem::create_directory(path);
    std::string error;
    EXPECT_FALSE(WriteImageBitmap(image.image, path, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(std::filesystem::is_directory(path));
    std::filesystem::remove(path);

    error.clear();
    EXPECT_FALSE(WriteImageBitmap(image.image, "no-such-directory/output.bmp", error));
    EXPECT_FALSE(error.empty());
}

TEST(Bitmap, AnAbsentImageWritesNothing)
{
    const char* path = "bitmap-absent-test.bmp";
    std::remove(path);
    RgbImage absent = {};
    std::string error;
    EXPECT_FALSE(WriteImageBitmap(absent, path, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::ifstream(path).good());
}

}  // namespace
