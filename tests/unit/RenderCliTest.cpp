// halovane-render as a program: exit codes, repeatable images, settings
// output. Native only: the Windows build has no command-line renderer.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace {

// The build names the renderer's path, and builds it before the tests.
std::string RendererPath() { return HALOVANE_RENDER; }

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs the renderer with args (hermetic: an absent settings file unless the
// args name one); gives the exit code, standard output and standard error.
int Render(const std::string& args, std::string* out = nullptr, std::string* err = nullptr)
{
    const std::string settings =
        args.find("--settings") == std::string::npos ? " --settings cli-absent.ini" : "";
    // Tests may run at the same time in the same directory: one pair of
    // capture files per test.
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string outFile = "cli-" + name + ".out", errFile = "cli-" + name + ".err";
    const std::string command = "'" + RendererPath() + "'" + settings + " " + args + " >" +
                                outFile + " 2>" + errFile;
    const int status = std::system(command.c_str());
    if (out) *out = ReadAll(outFile);
    if (err) *err = ReadAll(errFile);
    std::remove(outFile.c_str());
    std::remove(errFile.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    for (const std::string& l : lines)
        if (l == line) return true;
    return false;
}

TEST(RenderCli, TheSameCommandGivesTheSameFile)
{
    const char* scenes[] = {
        "--start -0.75,0.1 --snap --set Iterations=300",
        "--start -0.75,0.1 --region -0.75,0.1,0.5 --set Width=256 --set Height=256 "
        "--set Iterations=2000 --set CheckBailout=1 --runs 2 --set DriftX=0.001",
    };
    for (const char* scene : scenes) {
        SCOPED_TRACE(scene);
        ASSERT_EQ(Render(std::string(scene) + " --quiet -o cli-first.bmp"), 0);
        ASSERT_EQ(Render(std::string(scene) + " --quiet -o cli-second.bmp"), 0);
        const std::string first = ReadAll("cli-first.bmp");
        ASSERT_GT(first.size(), 54u);
        EXPECT_EQ(first, ReadAll("cli-second.bmp"));
        EXPECT_NE(first.find_first_not_of('\0', 54), std::string::npos) << "something was drawn";
    }
    std::remove("cli-first.bmp");
    std::remove("cli-second.bmp");
}

TEST(RenderCli, ExitCodesTellWhatWentWrong)
{
    struct Case {
        const char* args;
        int code;
        const char* inError;
    };
    const Case cases[] = {
        {"--help", 0, ""},
        {"--bogus", 2, "usage:"},
        {"--start", 2, "usage:"},
        {"--start 1", 2, "usage:"},
        {"--start 1,x", 2, "usage:"},
        {"--start 1,2,3", 2, "usage:"},
        {"--region 0,0", 2, "usage:"},
        {"--runs -1", 2, "usage:"},
        {"--runs 1.5", 2, "usage:"},
        {"--set Iterations", 2, "usage:"},
        {"--set NoSuchKey=1", 2, "NoSuchKey"},
        {"--set Width=100000 --set Height=100000 --runs 0", 3, "Memory Error."},
        {"--runs 0 -o no-such-directory/out.bmp", 4, "no-such-directory/out.bmp"},
        {"--save-settings no-such-directory/s.ini", 4, "no-such-directory/s.ini"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::string out, err;
        EXPECT_EQ(Render(c.args, &out, &err), c.code);
        EXPECT_NE(err.find(c.inError), std::string::npos) << err;
    }
    std::string out;
    Render("--help", &out);
    EXPECT_NE(out.find("usage: halovane-render"), std::string::npos);
}

TEST(RenderCli, AnUnwritableOutputKeepsTheOldFile)
{
    const char* path = "cli-keep.bmp";
    { std::ofstream(path, std::ios::binary) << "old"; }
    // The new file is written beside the old one first; block that.
    ASSERT_EQ(mkdir("cli-keep.bmp.tmp", 0755), 0);
    std::string err;
    EXPECT_EQ(Render("--runs 0 -o cli-keep.bmp", nullptr, &err), 4);
    EXPECT_NE(err.find(path), std::string::npos) << err;
    EXPECT_EQ(ReadAll(path), "old");
    rmdir("cli-keep.bmp.tmp");
    std::remove(path);
}

TEST(RenderCli, SettingsArePrintedAndSavedAfterTheOverrides)
{
    std::string out;
    ASSERT_EQ(Render("--set iterations=77 --set SampleRadius=0.25 --print-settings", &out), 0);
    const std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[0], "[HV]");
    EXPECT_TRUE(Contains(lines, "Iterations=77"));
    EXPECT_TRUE(Contains(lines, "SampleRadius=0.2500000000000"));

    const char* path = "cli-saved.ini";
    { std::ofstream(path, std::ios::binary) << "[Other]\r\nkept=1\r\n"; }
    ASSERT_EQ(Render("--set Iterations=77 --set SampleRadius=0.25 --save-settings cli-saved.ini"), 0);
    EXPECT_NE(ReadAll(path).find("kept=1"), std::string::npos);
    ASSERT_EQ(Render("--settings cli-saved.ini --print-settings", &out), 0);
    EXPECT_EQ(Lines(out), lines) << "the saved file reads back to the same settings";
    std::remove(path);
}

}  // namespace
#endif
