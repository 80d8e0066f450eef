// The deep picture: counts that saturate only at the top, the tone curves
// and the automatic white by hand-worked cases, and halovane-render's deep
// files against pixels computed here from the counts, in long double and by
// the documented formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "output/PngText.h"
#include "output/Tone.h"
#include "Fixture.h"
#include "render/Deep.h"
#include "render/Image.h"
#include "render/OutputLayers.h"

// Splats at the centre of a 3 x 3 image: the centre counts n colours, its
// four neighbours n quarter colours, exactly across the clip at 255 and up
// to UINT32_MAX = 255 x 16843009, where they stay; the 8-bit bytes are the
// counts capped at 255.
TEST_F(RenderEngineTest, DeepCountsAreExactUpToTheTopAndStayThere)
{
    const struct {
        uint32_t splats;
        Colour3 colour;  // blue, green, red
    } cases[] = {
        {1, {10, 20, 30}}, {9, {28, 29, 255}}, {257, {255, 0, 7}}, {300, {255, 255, 255}},
        {70000, {3, 200, 255}}, {16843009, {255, 1, 128}}, {16843010, {255, 255, 4}},
    };
    app.settings.Width = 3;
    app.settings.Height = 3;
    app.running = false;
    ASSERT_TRUE(AllocOutputImage());
    // A region of width 1 around 0: (-0.1, 0.1) maps to the centre pixel.
    app.regionCenterRe = 0.0f;
    app.regionCenterIm = 0.0f;
    app.regionWidth = 1.0f;
    app.regionReciprocal = 1.0f;
    for (const auto& c : cases) {
        ASSERT_TRUE(AllocDeepImage(3, 3));
        ZeroOutputImage();
        for (uint32_t n = 0; n < c.splats; ++n) SplatOutput({-0.1f, 0.1f}, c.colour);
        uint32_t* counts = ResolveDeepCounts();
        ASSERT_NE(counts, nullptr);
        const auto expected = [&](uint8_t channel) {
            return static_cast<uint32_t>(std::min<uint64_t>(UINT32_MAX, uint64_t{c.splats} * channel));
        };
        const uint8_t centre[3] = {c.colour.blue, c.colour.green, c.colour.red};
        const uint8_t quarter[3] = {static_cast<uint8_t>(c.colour.blue / 4), static_cast<uint8_t>(c.colour.green / 4),
                                    static_cast<uint8_t>(c.colour.red / 4)};
        for (int pixel = 0; pixel < 9; ++pixel) {
            const bool isCentre = pixel == 4, isNeighbour = pixel == 1 || pixel == 3 || pixel == 5 || pixel == 7;
            for (int k = 0; k < 3; ++k) {
                const uint32_t want = isCentre ? expected(centre[k]) : isNeighbour ? expected(quarter[k]) : 0;
                EXPECT_EQ(counts[pixel * 3 + k], want) << c.splats << " splats, pixel " << pixel << ", channel " << k;
                EXPECT_EQ(app.outputImage.pixels[pixel * 3 + k], std::min<uint32_t>(want, 255u));
            }
        }
        delete[] counts;
        ReleaseDeepImage();
    }
}

TEST(Tone, OurLogarithmAndExponentialAreTheLibrarys)
{
    for (double x : {1e-300, 1e-9, 0.001, 0.25, 0.7071, 1.0, 1.5, 2.0, 3.0, 65536.0, 4294967296.0, 1e300}) {
        const double expected = std::log(x);
        EXPECT_NEAR(ToneLn(x), expected, 4e-16 * std::max(1.0, std::fabs(expected))) << x;
    }
    for (double y : {-700.0, -30.0, -2.5, -0.6931, -1e-9, 0.0, 0.5, 1.0, 20.0, 700.0})
        EXPECT_NEAR(ToneExp(y) / std::exp(y), 1.0, 1e-14) << y;
}

TEST(Tone, LevelsOfHandWorkedCounts)
{
    ToneSettings tone;
    const struct {
        ToneCurve curve;
        double gamma;
        uint32_t count;
        double white;
        uint16_t level;
    } cases[] = {
        {toneLinear, 1, 0, 4, 0},
        {toneLinear, 1, 1, 4, 16384},  // 0.25 x 65535 = 16383.75
        {toneLinear, 1, 4, 4, 65535},
        {toneLinear, 1, 9, 4, 65535},  // above white stays white
        {toneSqrt, 1, 1, 4, 32768},    // 0.5 x 65535 = 32767.5 rounds up
        {toneSqrt, 1, 9, 100, 19661},  // 0.3 x 65535 = 19660.5
        {toneGamma, 2, 1, 4, 32768},   // the same as sqrt
        {toneGamma, 0.5, 1, 4, 4096},  // 0.0625 x 65535 = 4095.94
        {toneLog, 1, 3, 15, 32768},    // ln 4 / ln 16 = 0.5
        {toneLog, 1, 0, 15, 0},
        {toneLog, 1, 255, 15, 65535},
    };
    for (const auto& c : cases) {
        tone.curve = c.curve;
        tone.gamma = c.gamma;
        EXPECT_EQ(ToneLevel(c.count, c.white, tone), c.level) << c.curve << " " << c.count << "/" << c.white;
    }
}

TEST(Tone, TheAutomaticWhiteIsTheNearestRankOfTheLitPixels)
{
    // Pixels by their largest channel: 5, 1, 9, 300000 (above 16 bits), unlit, 7.
    const uint32_t counts[] = {5, 0, 2, 1, 1, 0, 0, 9, 3, 300000, 12, 0, 0, 0, 0, 7, 7, 7};
    const struct {
        double percentile;
        double white;
    } cases[] = {{0, 1}, {20, 1}, {20.1, 5}, {50, 7}, {60, 7}, {79.9, 9}, {80, 9}, {99.5, 300000}, {100, 300000}};
    for (const auto& c : cases) EXPECT_EQ(AutoWhite(counts, 3, 2, c.percentile), c.white) << c.percentile;
    const uint32_t dark[6] = {};
    EXPECT_EQ(AutoWhite(dark, 2, 1, 50), 1.0);
}

#if !defined(_WIN32) && defined(HALOVANE_HAVE_PNG)
#include <png.h>
#include <sys/wait.h>

#include <csetjmp>
#include <fstream>
#include <iterator>

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The renderer with args, without a settings file; gives the exit code and
// standard error. shell goes before the command (limits).
int Render(const std::string& args, std::string* err = nullptr, const std::string& shell = "")
{
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string errFile = "deep-" + name + ".err";
    const std::string command = shell + "'" + std::string(HALOVANE_RENDER) + "' --settings /dev/null --quiet " +
                                args + " >/dev/null 2>" + errFile;
    const int status = std::system(command.c_str());
    if (err) *err = ReadAll(errFile);
    std::remove(errFile.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Pfm {
    std::string header;
    int32_t width = 0, height = 0;
    std::vector<float> values;  // as in the file: red first, rows bottom-up
};

Pfm ReadPfm(const std::string& name)
{
    const std::string file = ReadAll(name);
    Pfm pfm;
    int consumed = 0;
    if (std::sscanf(file.c_str(), "PF\n%d %d\n-1.0\n%n", &pfm.width, &pfm.height, &consumed) != 2 || consumed == 0)
        return pfm;
    pfm.header = file.substr(0, static_cast<size_t>(consumed));
    const size_t n = static_cast<size_t>(pfm.width) * pfm.height * 3;
    if (file.size() != pfm.header.size() + n * 4) return Pfm();
    pfm.values.resize(n);
    for (size_t k = 0; k < n; ++k) {
        const uint8_t* b = reinterpret_cast<const uint8_t*>(file.data()) + consumed + 4 * k;
        const uint32_t bits = b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
        std::memcpy(&pfm.values[k], &bits, 4);
    }
    return pfm;
}

struct Png16 {
    int32_t width = 0, height = 0;
    int bitDepth = 0, colourType = -1;
    std::vector<uint16_t> levels;  // red first, rows top-down
};

struct Reading {
    const std::string* file;
    size_t at;
};

void ReadBytes(png_structp png, png_bytep out, png_size_t n)
{
    Reading* r = static_cast<Reading*>(png_get_io_ptr(png));
    if (r->at + n > r->file->size()) png_error(png, "short file");
    std::memcpy(out, r->file->data() + r->at, n);
    r->at += n;
}

// libpng's low-level reader: the simplified one would convert 16-bit
// levels to linear light.
bool DecodePng16(const std::string& file, Png16& image, std::vector<uint8_t>& row)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Reading reading = {&file, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reading, ReadBytes);
    png_read_info(png, info);
    image.width = static_cast<int32_t>(png_get_image_width(png, info));
    image.height = static_cast<int32_t>(png_get_image_height(png, info));
    image.bitDepth = png_get_bit_depth(png, info);
    image.colourType = png_get_color_type(png, info);
    if (image.bitDepth == 16 && image.colourType == PNG_COLOR_TYPE_RGB) {
        row.resize(static_cast<size_t>(image.width) * 6);
        image.levels.resize(static_cast<size_t>(image.width) * image.height * 3);
        for (int32_t y = 0; y < image.height; ++y) {
            png_read_row(png, row.data(), nullptr);
            for (size_t k = 0; k < row.size() / 2; ++k)
                image.levels[static_cast<size_t>(y) * image.width * 3 + k] =
                    static_cast<uint16_t>(row[2 * k] << 8 | row[2 * k + 1]);
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

Png16 ReadPng16(const std::string& name)
{
    Png16 image;
    std::vector<uint8_t> row;
    if (!DecodePng16(ReadAll(name), image, row)) image = Png16();
    return image;
}

// A bitmap's pixels: blue, green, red, rows bottom-up (widths here are multiples of 4).
std::string BitmapPixels(const std::string& name) { return ReadAll(name).substr(54); }

const char kScene[] = "--start -0.75,0.1 --snap --region -0.75,0.1,0.6 --set Width=64 --set Height=48 "
                      "--set SamplePoints=3000 --set Iterations=300 --set CheckBailout=1";

// The level the documented formula gives, in long double; either neighbour
// is accepted where the exact value lies within 1e-9 of a rounding boundary.
bool LevelFits(uint16_t level, long double count, long double white, const std::string& curve, long double gamma)
{
    long double t;
    if (curve == "log") {
        t = std::min(1.0L, std::log1p(count) / std::log1p(white));
    } else {
        t = std::min(1.0L, count / white);
        if (curve == "sqrt") t = std::sqrt(t);
        if (curve == "gamma") t = std::pow(t, 1.0L / gamma);
    }
    const long double scaled = t * 65535.0L;
    const long double expected = std::floor(scaled + 0.5L);
    if (level == expected) return true;
    const long double fraction = scaled - std::floor(scaled);
    return std::fabs(fraction - 0.5L) < 1e-9L && std::fabs(level - scaled) < 0.5L + 1e-9L;
}

}  // namespace

// The counts file against the 8-bit bitmap of the same render: every byte
// is its count capped at 255, in the file's own channel and row order; and
// the bitmap is the one a render without deep outputs writes.
TEST(DeepRender, TheCountsFileHoldsTheBitmapsCountsUncapped)
{
    ASSERT_EQ(Render(std::string(kScene) + " -o deep-plain.bmp"), 0);
    ASSERT_EQ(Render(std::string(kScene) + " -o deep-with.bmp --deep-pfm deep-counts.PFM"), 0);
    const std::string bitmap = BitmapPixels("deep-with.bmp");
    EXPECT_EQ(ReadAll("deep-with.bmp"), ReadAll("deep-plain.bmp"));
    const Pfm pfm = ReadPfm("deep-counts.PFM");
    EXPECT_EQ(pfm.header, "PF\n64 48\n-1.0\n");
    ASSERT_EQ(pfm.values.size(), bitmap.size());
    size_t capped = 0, above = 0;
    for (size_t p = 0; p < bitmap.size(); p += 3) {
        for (int k = 0; k < 3; ++k) {
            const float count = pfm.values[p + 2 - k];  // the file is red first
            capped += static_cast<uint8_t>(bitmap[p + k]) == std::min(count, 255.0f);
            above += count > 255.0f;
        }
    }
    EXPECT_EQ(capped, bitmap.size());
    EXPECT_GT(above, 20u) << "the scene burns out in 8 bits";
    for (const char* f : {"deep-plain.bmp", "deep-with.bmp", "deep-counts.PFM"}) std::remove(f);
}

// Each curve and exposure: the 16-bit PNG against the levels computed here
// from the counts file.
TEST(DeepRender, TheTonedPictureIsTheFormulaOfTheCounts)
{
    ASSERT_EQ(Render(std::string(kScene) + " --runs 1 -o deep-tone.bmp --deep-pfm deep-tone.pfm"), 0);
    const Pfm pfm = ReadPfm("deep-tone.pfm");
    ASSERT_EQ(pfm.values.size(), 64u * 48 * 3);
    // The automatic white of percentile P: the nearest rank among the lit
    // pixels' largest channels, ranks counted in whole numbers.
    std::vector<float> lit;
    for (size_t p = 0; p < pfm.values.size(); p += 3) {
        const float top = std::max({pfm.values[p], pfm.values[p + 1], pfm.values[p + 2]});
        if (top > 0) lit.push_back(top);
    }
    std::sort(lit.begin(), lit.end());
    ASSERT_GT(lit.size(), 100u);
    const auto white = [&](uint64_t permille) {
        const uint64_t rank = std::max<uint64_t>(1, (permille * lit.size() + 999) / 1000);
        return static_cast<long double>(lit[rank - 1]);
    };
    const struct {
        const char* options;
        const char* curve;
        long double gamma, white;
    } cases[] = {
        {"", "sqrt", 2, white(995)},
        {"--curve linear --exposure 1000", "linear", 1, 1000},
        {"--curve log --percentile 90", "log", 1, white(900)},
        {"--curve gamma --gamma 3.5 --exposure 2e3", "gamma", 3.5L, 2000},
        {"--curve gamma --percentile 100", "gamma", 2.2L, white(1000)},
        {"--curve sqrt --percentile 0", "sqrt", 2, white(0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        ASSERT_EQ(Render(std::string(kScene) + " -o deep-tone.bmp --deep-png deep-tone.png " + c.options), 0);
        const Png16 png = ReadPng16("deep-tone.png");
        EXPECT_EQ(png.bitDepth, 16);
        EXPECT_EQ(png.colourType, PNG_COLOR_TYPE_RGB);
        ASSERT_EQ(png.width, 64);
        ASSERT_EQ(png.height, 48);
        size_t fits = 0, whites = 0;
        for (int32_t y = 0; y < 48; ++y) {
            for (size_t k = 0; k < 64 * 3; ++k) {
                // PNG rows go top-down, the counts' bottom-up; both red first.
                const uint16_t level = png.levels[static_cast<size_t>(y) * 64 * 3 + k];
                const float count = pfm.values[static_cast<size_t>(47 - y) * 64 * 3 + k];
                fits += LevelFits(level, count, c.white, c.curve, c.gamma);
                whites += level == 65535;
            }
        }
        EXPECT_EQ(fits, 64u * 48 * 3);
        EXPECT_GT(whites, 0u);
    }
    for (const char* f : {"deep-tone.bmp", "deep-tone.pfm", "deep-tone.png"}) std::remove(f);
}

// A 16-bit picture carries the scene's recipe, as an 8-bit PNG does, and
// the tone it was mapped with.
TEST(DeepRender, TheTonedPictureCarriesItsRecipeAndTone)
{
    ASSERT_EQ(Render(std::string(kScene) + " -o deep-texts.bmp --deep-png deep-texts.png --curve gamma --gamma 1.8 "
                                           "--exposure 400"),
              0);
    std::vector<PngText> texts;
    std::string reason;
    ASSERT_TRUE(ReadPngTexts("deep-texts.png", texts, reason)) << reason;
    std::vector<std::string> keywords;
    std::string tone;
    for (const PngText& t : texts) {
        keywords.push_back(t.keyword);
        if (t.keyword == "Halovane tone") tone = t.text;
    }
    EXPECT_NE(std::find(keywords.begin(), keywords.end(), "Halovane recipe"), keywords.end());
    EXPECT_EQ(tone, "Curve=gamma\nGamma=1.8\nExposure=400");
    EXPECT_EQ(ReadPng16("deep-texts.png").levels.size(), 64u * 48 * 3);
    for (const char* f : {"deep-texts.bmp", "deep-texts.png"}) std::remove(f);
}

// Deep frame k holds the counts of the render with --runs k.
TEST(DeepRender, DeepFrameKIsTheCountsOfRunsK)
{
    const std::string scene = std::string(kScene) + " --set DriftX=0.004";
    ASSERT_EQ(Render(scene + " --runs 2 -o deep-f.bmp --deep-frames deep-f-%d.pfm --deep-png deep-f.png"), 0);
    for (int k = 1; k <= 2; ++k) {
        ASSERT_EQ(Render(scene + " --runs " + std::to_string(k) + " -o deep-f.bmp --deep-pfm deep-alone.pfm"), 0);
        const std::string frame = "deep-f-" + std::to_string(k) + ".pfm";
        EXPECT_GT(ReadAll(frame).size(), 64u * 48 * 12);
        EXPECT_EQ(ReadAll(frame), ReadAll("deep-alone.pfm")) << k;
        std::remove(frame.c_str());
    }
    ASSERT_EQ(Render(scene + " --runs 2 -o deep-f.bmp --deep-frames deep-f-%02d.png"), 0);
    EXPECT_EQ(ReadPng16("deep-f-02.png").levels, ReadPng16("deep-f.png").levels);
    for (const char* f : {"deep-f.bmp", "deep-f.png", "deep-alone.pfm", "deep-f-01.png", "deep-f-02.png"})
        std::remove(f);
    // A deep frame that cannot be written ends the render as an 8-bit one does.
    std::string err;
    EXPECT_EQ(Render(scene + " --runs 2 -o deep-f.bmp --deep-frames no-such-directory/d-%d.pfm", &err), 4);
    EXPECT_NE(err.find("cannot write the deep frame no-such-directory/d-1.pfm: No such file or directory"),
              std::string::npos)
        << err;
    EXPECT_TRUE(ReadAll("deep-f.bmp").empty());
}

// Bad values exit 2 before anything renders, naming the option; sizes whose
// counts cannot be had exit 3 with the memory error.
TEST(DeepRender, BadInputIsRefusedBeforeRendering)
{
    const struct {
        const char* args;
        int code;
        const char* inError;
    } cases[] = {
        {"--deep-png deep-bad.png --curve cubic", 2, "--curve needs linear, sqrt, log or gamma: cubic"},
        {"--deep-png deep-bad.png --curve", 2, "missing value after --curve"},
        {"--deep-png deep-bad.png --gamma -1", 2, "--gamma needs a number above 0: -1"},
        {"--deep-png deep-bad.png --gamma 0", 2, "--gamma needs a number above 0: 0"},
        {"--deep-png deep-bad.png --gamma two", 2, "--gamma needs a number above 0: two"},
        {"--deep-png deep-bad.png --gamma 1e999", 2, "--gamma needs a number above 0: 1e999"},
        {"--deep-png deep-bad.png --exposure -5", 2, "--exposure needs auto or a count above 0: -5"},
        {"--deep-png deep-bad.png --exposure bright", 2, "--exposure needs auto or a count above 0: bright"},
        {"--deep-png deep-bad.png --exposure 3x", 2, "--exposure needs auto or a count above 0: 3x"},
        {"--deep-png deep-bad.png --percentile 100.5", 2, "--percentile needs a number from 0 to 100: 100.5"},
        {"--deep-png deep-bad.png --percentile -0.1", 2, "--percentile needs a number from 0 to 100: -0.1"},
        {"--deep-png deep-bad.png --percentile", 2, "missing value after --percentile"},
        {"--deep-png ''", 2, "empty file name after --deep-png"},
        {"--deep-frames deep-bad-%d.bmp", 2, "--deep-frames needs a pattern ending in .png or .pfm"},
        {"--deep-frames deep-bad.pfm", 2, "exactly one integer conversion"},
        {"--deep-frames deep-bad-%d-%d.png", 2, "exactly one integer conversion"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        std::string err;
        EXPECT_EQ(Render(std::string(kScene) + " -o deep-bad.bmp " + c.args, &err), c.code);
        EXPECT_EQ(err.compare(0, 17, "halovane-render: ") == 0 || err.compare(0, 13, "Memory Error.") == 0, true)
            << err;
        EXPECT_NE(err.substr(0, err.find('\n')).find(c.inError), std::string::npos) << err;
        EXPECT_TRUE(ReadAll("deep-bad.bmp").empty()) << "nothing rendered";
        EXPECT_TRUE(ReadAll("deep-bad.png").empty() && ReadAll("deep-bad.pfm").empty());
    }
    // The deep image follows the region's splats: view mode refuses it.
    std::string err;
    EXPECT_EQ(Render("--deep-pfm deep-bad.pfm -o deep-bad.bmp", &err), 2);
    EXPECT_NE(err.find("the deep outputs need --region"), std::string::npos) << err;
}

// A size the 8-bit image gets but the deep sums do not, under a memory limit.
TEST(DeepRender, SumsThatCannotBeHadAreTheMemoryError)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
    std::string err;
    EXPECT_EQ(Render(std::string(kScene) + " --set Width=5000 --set Height=5000 -o deep-bad.bmp --deep-pfm deep-bad.pfm",
                     &err, "ulimit -v 250000; "),
              3);
    EXPECT_NE(err.find("Out of memory. Choose a smaller output size."), std::string::npos) << err;
    EXPECT_TRUE(ReadAll("deep-bad.bmp").empty());
}
#endif
