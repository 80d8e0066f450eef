// halovane-render's command-line library: frame patterns, the progress
// report and which names need a PNG writer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Progress.h"
#include "output/Png.h"

namespace {

bool Parse(std::vector<std::string> words, Options& options, std::string& reason)
{
    words.insert(words.begin(), "halovane-render");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), options, reason);
}

TEST(CommandLine, FramePatternsNameEachFrame)
{
    struct Case {
        const char* pattern;
        uint32_t frame;
        const char* name;
    };
    const Case cases[] = {
        {"f-%04d.png", 7, "f-0007.png"},
        {"f-%d.PNG", 12, "f-12.PNG"},
        {"run%u.bmp", 4294967295u, "run4294967295.bmp"},
        {"%%-%3i-100%%.bmp", 5, "%-  5-100%.bmp"},
        {"f%-3d.png", 1, "f1  .png"},
        {"f%.5x.png", 255, "f000ff.png"},
        {"f%lld.png", 3, "f3.png"},
        {"dir/f%ld.Bmp", 2, "dir/f2.Bmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        FramePattern pattern;
        std::string reason;
        if (!PngAvailable() && IsPngName(c.pattern)) {
            EXPECT_FALSE(ParseFramePattern(c.pattern, pattern, reason));
            continue;
        }
        ASSERT_TRUE(ParseFramePattern(c.pattern, pattern, reason)) << reason;
        EXPECT_EQ(FrameName(pattern, c.frame), c.name);
    }
}

TEST(CommandLine, FramePatternsWithoutExactlyOneIntegerConversionAreRefused)
{
    const char* patterns[] = {
        "frame.png", "f-%%.png",  "f-%d-%d.png", "f-%s.png",   "f-%f.png", "f-%n.png",
        "f-%*d.png", "f-%#x.png", "f-%100d.png", "f-%.100d.png", "f-%",     "f-%d",
        "f-%d.jpg",  "f-%d.png.txt", "",
    };
    for (const char* p : patterns) {
        SCOPED_TRACE(p);
        FramePattern pattern;
        std::string reason;
        EXPECT_FALSE(ParseFramePattern(p, pattern, reason));
        EXPECT_NE(reason.find("--frames needs a pattern"), std::string::npos) << reason;
        Options options;
        EXPECT_FALSE(Parse({"--frames", p}, options, reason));
    }
}

// Without a PNG library (the Windows build) a PNG name is a bad command
// line, found before anything is rendered.
TEST(CommandLine, PngNamesNeedAPngWriter)
{
    const char* names[] = {"out.png", "OUT.PNG", "f-%d.Png"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        Options options;
        std::string reason;
        const std::string option = std::string(name).find('%') == std::string::npos ? "-o" : "--frames";
        EXPECT_EQ(Parse({option, name}, options, reason), PngAvailable()) << reason;
    }
    EXPECT_TRUE(IsPngName("a.pNg"));
    EXPECT_FALSE(IsPngName("png"));
    EXPECT_FALSE(IsPngName("a.png.bmp"));
    EXPECT_FALSE(IsPngName("-"));
}

// The time left is paced from the first pass seen, and shown only once a
// twentieth of the work and a second have gone by since.
TEST(CommandLine, ProgressShowsTheTimeLeftOnlyWhenItCanBeEstimated)
{
    struct Case {
        ProgressPoint first, now;
        uint64_t total;
        uint32_t run, runs;
        const char* text;
    };
    const Case cases[] = {
        {{0, 0}, {0, 0}, 1000, 1, 1, "0% done, 0:00 elapsed"},
        // Seeding took 4 s: nothing at the first pass, nor at 3% done.
        {{1, 4000}, {1, 4000}, 1000, 1, 1, "0% done, 0:04 elapsed"},
        {{1, 4000}, {30, 5000}, 1000, 1, 1, "3% done, 0:05 elapsed"},
        // 5% done in 0.5 s: too short to judge the pace.
        {{1, 4000}, {60, 4500}, 1000, 1, 1, "6% done, 0:04 elapsed"},
        // 250 passes in 2 s after the seeding: 750 more take 6 s, not the
        // 12 s the whole elapsed time would give.
        {{1, 4000}, {251, 6000}, 1000, 1, 1, "25% done, 0:06 elapsed, 0:06 left"},
        {{1, 0}, {999, 999000}, 1000, 1, 1, "99% done, 16:39 elapsed, 0:01 left"},
        {{1, 0}, {1000, 61000}, 1000, 1, 1, "100% done, 1:01 elapsed"},
        {{1, 0}, {1500, 61000}, 1000, 1, 1, "100% done, 1:01 elapsed"},
        {{1, 0}, {1201, 3723000}, 3600, 2, 3, "run 2/3, 33% done, 1:02:03 elapsed, 2:04:03 left"},
        {{0, 0}, {0, 0}, 0, 0, 0, "100% done, 0:00 elapsed"},
    };
    for (const Case& c : cases) EXPECT_EQ(ProgressText(c.first, c.now, c.total, c.run, c.runs), c.text);
}

TEST(CommandLine, ThreadCountsFromOneTo256)
{
    const struct {
        const char* value;
        bool ok;
    } cases[] = {{"0", false}, {"1", true}, {"256", true}, {"257", false}, {"-1", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        Options options;
        std::string reason;
        EXPECT_EQ(Parse({"--threads", c.value}, options, reason), c.ok) << reason;
    }
}

}  // namespace
