// Fixed scenes rendered through the worker and compared, whole, with the
// images committed in tests/golden. They pin every constant of the engine at
// once (the seeding's angle scale, the generator, the snap, the splat), and
// a failure says where: it prints the first differing pixel and leaves the
// actual, expected and difference images in golden-failures/.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "Fixture.h"
#include "output/Bitmap.h"
#include "render/Worker.h"

namespace {

const std::string kGoldenDir = std::string(HALOVANE_SOURCE_DIR) + "/tests/golden/";
const char* const kFailureDir = "golden-failures";
const size_t kHeaderBytes = 54;

struct Scene {
    const char* name;
    std::function<void()> setUp;             // settings, region, flags
    std::function<void(int runEnds)> onRunEnd;
    int runs;
    bool output;  // compare the output image (else the view image)
};

// Scenes print as their names in test output.
void PrintTo(const Scene& scene, std::ostream* out) { *out << scene.name; }

// Pixel bytes of a bitmap file, or why they are not there.
bool ReadBitmap(const std::string& path, std::string& bytes, int32_t& width, int32_t& height)
{
    bytes = ReadBytes(path);
    if (bytes.size() < kHeaderBytes) return false;
    std::memcpy(&width, bytes.data() + 18, 4);
    std::memcpy(&height, bytes.data() + 22, 4);
    return true;
}

// The file's pixels as black where equal and white where not.
void WriteDifference(const std::string& actual, const std::string& expected, const std::string& path)
{
    std::string diff = actual;
    for (size_t i = kHeaderBytes; i < diff.size(); ++i)
        diff[i] = i < expected.size() && actual[i] == expected[i] ? 0 : static_cast<char>(255);
    WriteBytes(path, diff);
}

class GoldenTest : public AppTest, public ::testing::WithParamInterface<Scene> {};

TEST_P(GoldenTest, TheSceneGivesTheCommittedImage)
{
    const Scene& scene = GetParam();
    scene.setUp();
    ASSERT_TRUE(AllocBlocks());
    ClearImages();
    ResetRandom();
    Recorded().onRunEnd = [&scene](int count) {
        if (scene.onRunEnd) scene.onRunEnd(count);
        if (count >= scene.runs) {
            app.continuous = false;
            app.quitRequested = true;
        }
    };
    app.continuous = scene.runs > 1;
    app.restartRequested = true;
    RenderWorker(nullptr);

    const std::string actualPath = std::string("golden-actual-") + scene.name + ".bmp";
    std::string error;
    ASSERT_TRUE(WriteImageBitmap(scene.output ? app.outputImage : app.viewImage, actualPath.c_str(), error))
        << error;
    std::string actual, expected;
    int32_t width = 0, height = 0, expectedWidth = 0, expectedHeight = 0;
    ASSERT_TRUE(ReadBitmap(actualPath, actual, width, height));
    const std::string goldenPath = kGoldenDir + scene.name + ".bmp";
    const bool haveGolden = ReadBitmap(goldenPath, expected, expectedWidth, expectedHeight);
    if (haveGolden && actual == expected) {
        std::remove(actualPath.c_str());
        return;
    }

    std::filesystem::create_directories(kFailureDir);
    const std::string base = std::string(kFailureDir) + "/" + scene.name;
    std::filesystem::rename(actualPath, base + "-actual.bmp");
    ASSERT_TRUE(haveGolden) << "no golden image " << goldenPath << "; the actual image is " << base
                            << "-actual.bmp";
    WriteBytes(base + "-expected.bmp", expected);
    WriteDifference(actual, expected, base + "-difference.bmp");
    ASSERT_EQ(width, expectedWidth);
    ASSERT_EQ(height, expectedHeight);
    ASSERT_EQ(actual.size(), expected.size());
    const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    for (size_t i = kHeaderBytes; i < actual.size(); ++i) {
        if (actual[i] == expected[i]) continue;
        const size_t offset = i - kHeaderBytes;
        ADD_FAILURE() << scene.name << ": first difference at column " << offset % rowBytes / 3 << ", row "
                      << offset / rowBytes << " from the bottom (channel " << offset % rowBytes % 3
                      << "): " << int(static_cast<uint8_t>(actual[i])) << " instead of "
                      << int(static_cast<uint8_t>(expected[i])) << "; images in " << kFailureDir;
        return;
    }
}

void Size(int32_t width, int32_t height)
{
    app.settings.Width = width;
    app.settings.Height = height;
}

void Region(float re, float im, float side)
{
    app.regionCenterRe = re;
    app.regionCenterIm = im;
    app.regionWidth = side;
    app.regionReciprocal = static_cast<float>(1.0 / side);
}

// A view run, then (chained) a region run: BorderOnly snaps and reseeds of
// escaped samples, the generator continuing across runs. Both images count.
void ViewThenRegion()
{
    Size(256, 256);
    app.settings.Iterations = 400;
    app.settings.BorderOnly = true;
    app.settings.CheckBailout = true;
    app.settings.SampleRadius = 0.3f;
    app.settings.X = -0.75f;
    app.settings.Y = 0.1f;
    app.settings.DriftX = 0.01f;
    Region(-0.5f, 0.0f, 3.0f);
}

void RegionSecond(int runEnds)
{
    if (runEnds == 1) app.regionMode = true;
}

const Scene kScenes[] = {
    {"view-then-region-view", ViewThenRegion, RegionSecond, 2, false},
    {"view-then-region-output", ViewThenRegion, RegionSecond, 2, true},
    // Julia, an odd size whose rows are filled out in the file, a region
    // partly off the set, and converged samples reseeded (MinBailout).
    {"julia-odd-size",
     [] {
         Size(199, 97);
         app.settings.Iterations = 300;
         app.settings.SamplePoints = 2000;
         app.settings.Julia = true;
         app.settings.CheckBailout = true;
         app.settings.MinBailout = 1e-4f;
         app.settings.X = -0.4f;
         app.settings.Y = 0.6f;
         app.settings.SampleRadius = 0.5f;
         Region(0.6f, 0.3f, 2.5f);
         app.regionMode = true;
     },
     nullptr, 1, true},
    // Three continuous runs drifting the start point, splatted into one image.
    {"continuous-drift",
     [] {
         Size(128, 128);
         app.settings.Iterations = 200;
         app.settings.SamplePoints = 1000;
         app.settings.CheckBailout = true;
         app.settings.X = -0.75f;
         app.settings.Y = 0.1f;
         app.settings.SampleRadius = 0.05f;
         app.settings.DriftX = 0.02f;
         app.settings.DriftY = -0.01f;
         Region(-0.75f, 0.1f, 1.0f);
         app.regionMode = true;
     },
     nullptr, 3, true},
};

INSTANTIATE_TEST_SUITE_P(Scenes, GoldenTest, ::testing::ValuesIn(kScenes),
                         [](const ::testing::TestParamInfo<Scene>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

}  // namespace
