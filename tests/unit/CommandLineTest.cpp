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

// The time left: none until a twentieth of the work and a second have gone
// by since the first pass and while the pace changes, then from the pace
// over the window.
TEST(CommandLine, ProgressShowsTheTimeLeftOnlyWhenItCanBeEstimated)
{
    struct Case {
        ProgressPoint first;
        PaceWindow pace;
        ProgressPoint now;
        uint64_t total;
        uint32_t run, runs;
        const char* text;
    };
    const Case cases[] = {
        {{0, 0}, {{0, 0}, {0, 0}}, {0, 0}, 1000, 1, 1, "0% done, 0:00 elapsed"},
        // Seeding took 4 s: nothing at the first pass, nor at 3% done.
        {{1, 4000}, {{1, 4000}, {1, 4000}}, {1, 4000}, 1000, 1, 1, "0% done, 0:04 elapsed"},
        {{1, 4000}, {{1, 4000}, {15, 4500}}, {30, 5000}, 1000, 1, 1, "3% done, 0:05 elapsed"},
        // 6% done in 0.5 s: too short to judge the pace.
        {{1, 4000}, {{1, 4000}, {30, 4250}}, {60, 4500}, 1000, 1, 1, "6% done, 0:04 elapsed"},
        // 250 passes in 2 s after the seeding, at a steady pace: 750 more
        // take 6 s, not the 12 s the whole elapsed time would give.
        {{1, 4000}, {{1, 4000}, {126, 5000}}, {251, 6000}, 1000, 1, 1, "25% done, 0:06 elapsed, 0:06 left"},
        // Within a quarter faster or a fifth slower the pace is steady enough.
        {{1, 4000}, {{1, 4000}, {111, 5000}}, {251, 6000}, 1000, 1, 1, "25% done, 0:06 elapsed, 0:06 left"},
        {{1, 4000}, {{1, 4000}, {151, 5000}}, {251, 6000}, 1000, 1, 1, "25% done, 0:06 elapsed, 0:06 left"},
        // Speeding up (a third of the window did two thirds of its passes)
        // or slowing down: no estimate.
        {{1, 4000}, {{1, 4000}, {51, 5000}}, {251, 6000}, 1000, 1, 1, "25% done, 0:06 elapsed"},
        {{1, 4000}, {{1, 4000}, {201, 5000}}, {251, 6000}, 1000, 1, 1, "25% done, 0:06 elapsed"},
        {{1, 0}, {{1, 0}, {500, 499000}}, {999, 999000}, 1000, 1, 1, "99% done, 16:39 elapsed, 0:01 left"},
        {{1, 0}, {{1, 0}, {500, 30000}}, {1000, 61000}, 1000, 1, 1, "100% done, 1:01 elapsed"},
        {{1, 0}, {{1, 0}, {500, 30000}}, {1500, 61000}, 1000, 1, 1, "100% done, 1:01 elapsed"},
        {{1, 0}, {{1, 0}, {601, 1861500}}, {1201, 3723000}, 3600, 2, 3,
         "run 2/3, 33% done, 1:02:03 elapsed, 2:04:03 left"},
        {{0, 0}, {{0, 0}, {0, 0}}, {0, 0}, 0, 0, 0, "100% done, 0:00 elapsed"},
    };
    for (const Case& c : cases) EXPECT_EQ(ProgressText(c.first, c.pace, c.now, c.total, c.run, c.runs), c.text);
}

// The window is the last quarter of the time since the first pass, at
// least a second, and its second half; a long history is thinned, never
// its first point.
TEST(CommandLine, ThePaceComesFromTheRecentPasses)
{
    ProgressHistory history;
    for (uint64_t ms = 500; ms <= 20500; ms += 100) RecordProgress(history, {ms / 10, ms});
    const struct {
        uint64_t nowMs, fromMs, middleMs;
    } cases[] = {{500, 500, 500},     {1200, 500, 700},    {1500, 500, 1000},   {2500, 1500, 2000},
                 {4500, 3500, 4000},  {8500, 6500, 7500},  {20500, 15500, 18000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nowMs);
        const PaceWindow pace = PaceOver(history, {c.nowMs / 10, c.nowMs});
        EXPECT_EQ(pace.from.elapsedMs, c.fromMs);
        EXPECT_EQ(pace.from.done, c.fromMs / 10);
        EXPECT_EQ(pace.middle.elapsedMs, c.middleMs);
    }
    EXPECT_EQ(PaceOver(ProgressHistory(), {7, 700}).from.elapsedMs, 700u) << "no pass yet: no pace";

    ProgressHistory longer;
    for (uint64_t k = 0; k < 100000; ++k) RecordProgress(longer, {k + 1, 100 * k});
    EXPECT_LE(longer.points.size(), 4096u);
    EXPECT_EQ(longer.points.front().elapsedMs, 0u);
    EXPECT_EQ(longer.points.back().elapsedMs, 100u * 99999);
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
