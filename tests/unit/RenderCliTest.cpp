// halovane-render as a program: exit codes, repeatable images, settings
// output. Native only: the Windows build has no command-line renderer.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/SettingsInput.h"
#include "platform/Platform.h"

#ifdef HALOVANE_HAVE_PNG
#include <png.h>
#endif

namespace {

// The build names the renderer's path, and builds it before the tests.
std::string RendererPath() { return HALOVANE_RENDER; }

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs the renderer with args (hermetic: the empty settings of /dev/null
// unless the args name settings or a recipe); gives the exit code, standard
// output and standard error.
// shell goes before the command (limits, a pipe into it).
int Render(const std::string& args, std::string* out = nullptr, std::string* err = nullptr,
           const std::string& shell = "")
{
    const std::string settings =
        args.find("--settings") == std::string::npos && args.find("--recipe") == std::string::npos
            ? " --settings /dev/null"
            : "";
    // Tests may run at the same time in the same directory: one pair of
    // capture files per test.
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string outFile = "cli-" + name + ".out", errFile = "cli-" + name + ".err";
    const std::string command = shell + "'" + RendererPath() + "'" + settings + " " + args + " >" +
                                outFile + " 2>" + errFile;
    const int status = std::system(command.c_str());
    if (out) *out = ReadAll(outFile);
    if (err) *err = ReadAll(errFile);
    std::remove(outFile.c_str());
    std::remove(errFile.c_str());
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The 512 x 512 view image as a bitmap file.
const size_t kImageBytes = 54 + 512 * 512 * 3;

// Runs a shell command; gives its standard output.
std::string Shell(const std::string& command)
{
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string outFile = "cli-" + name + ".shell";
    std::system(("{ " + command + "; } >" + outFile).c_str());
    const std::string out = ReadAll(outFile);
    std::remove(outFile.c_str());
    return out;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A bitmap file's pixels as held in memory: rows bottom-up, blue, green,
// red, without the fill bytes that round rows to 4 bytes.
std::string BitmapPixels(const std::string& file)
{
    if (file.size() < 54 || file.compare(0, 2, "BM") != 0) return "not a bitmap";
    const auto field = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(file[at]) | static_cast<uint8_t>(file[at + 1]) << 8 |
                                     static_cast<uint8_t>(file[at + 2]) << 16 |
                                     static_cast<uint32_t>(static_cast<uint8_t>(file[at + 3])) << 24);
    };
    const size_t width = field(18), height = field(22), row = width * 3, fileRow = (row + 3) & ~size_t(3);
    if (file.size() < 54 + fileRow * height) return "a short bitmap";
    std::string pixels;
    for (size_t r = 0; r < height; ++r) pixels += file.substr(54 + r * fileRow, row);
    return pixels;
}

#ifdef HALOVANE_HAVE_PNG
// A PNG file's pixels decoded by libpng into the same layout.
std::string PngPixels(const std::string& file)
{
    png_image png = {};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, file.data(), file.size())) return "not a PNG";
    if (png.format != PNG_FORMAT_RGB) {
        png_image_free(&png);
        return "not 8-bit RGB";
    }
    png.format = PNG_FORMAT_BGR;
    std::string pixels(PNG_IMAGE_SIZE(png), '\0');
    const png_int_32 stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(png));
    if (!png_image_finish_read(&png, nullptr, &pixels[0], stride, nullptr)) return "a broken PNG";
    return pixels;
}

// The pixels of a .png or a bitmap file.
std::string ImagePixels(const std::string& name)
{
    const std::string file = ReadAll(name);
    return name.compare(name.size() - 4, 4, ".png") == 0 ? PngPixels(file) : BitmapPixels(file);
}
#endif

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

// Every usage mistake is one line ending in "(try --help)", exit code 2,
// before anything is rendered.
TEST(RenderCli, ExitCodesTellWhatWentWrong)
{
    struct Case {
        const char* args;
        int code;
        const char* inError;
    };
    const Case cases[] = {
        {"--help", 0, ""},
        {"--bogus", 2, "unknown option --bogus (try --help)"},
        {"--regoin 0,0,1", 2, "unknown option --regoin, did you mean --region? (try --help)"},
        {"-region 0,0,1", 2, "unknown option -region, did you mean --region?"},
        {"--Frames f-%d.png", 2, "unknown option --Frames, did you mean --frames?"},
        {"scene.ini", 2, "unexpected argument scene.ini, did you mean --settings scene.ini?"},
        {"out.PNG", 2, "unexpected argument out.PNG, did you mean -o out.PNG?"},
        {"42", 2, "unexpected argument 42 (try --help)"},
        {"--start", 2, "missing value after --start"},
        {"--start 1", 2, "--start needs two numbers X,Y: 1"},
        {"--start 1,x", 2, "--start needs two numbers X,Y"},
        {"--start 1,2,3", 2, "--start needs two numbers X,Y"},
        {"--region 0,0", 2, "--region needs three numbers CX,CY,W"},
        {"--runs -1", 2, "--runs needs a whole number: -1"},
        {"--runs 1.5", 2, "--runs needs a whole number: 1.5"},
        {"--settings cli-no-such.ini", 2, "cannot read the settings file cli-no-such.ini: No such file or directory"},
        {"--set Iterations", 2, "--set needs KEY=VALUE: Iterations"},
        {"--set NoSuchKey=1", 2, "unknown setting NoSuchKey (try --help)"},
        {"--set iteration=5", 2, "unknown setting iteration, did you mean Iterations?"},
        {"--set Iterations=abc", 2, "--set Iterations=abc: Iterations takes a whole number from -2147483648 to 2147483647"},
        {"--set SamplePoints=1e4", 2, "--set SamplePoints=1e4: SamplePoints takes a whole number"},
        {"--set Width=2147483648", 2, "Width takes a whole number"},
        {"--set Width=", 2, "Width takes a whole number"},
        {"--set Julia=yes", 2, "--set Julia=yes: Julia takes 0 (off) or 1 (on)"},
        {"--set Clear=-1", 2, "Clear takes 0 (off) or 1 (on)"},
        {"--set X=0,5", 2, "--set X=0,5: X takes a real number such as -0.75 or 1e-5"},
        {"--set X=", 2, "X takes a real number"},
        {"--set 'X= 1'", 2, "X takes a real number"},
        {"--set Width=-5", 2, "Width and Height must be at least 1 pixel, not -5 x 2048"},
        {"--set Height=0", 2, "Width and Height must be at least 1 pixel, not 2048 x 0"},
        {"--set SamplePoints=-1", 2, "SamplePoints cannot be negative: -1"},
        {"--set Width=100000 --set Height=100000 --runs 0", 3, "Memory Error."},
        {"--runs 0 -o no-such-directory/out.bmp", 4, "cannot write no-such-directory/out.bmp: No such file or directory"},
        {"--save-settings no-such-directory/s.ini", 4, "no-such-directory/s.ini"},
        {"--version", 0, ""},
        {"--threads 0", 2, "--threads needs a count from 1 to 256: 0"},
        {"--frames f.png", 2, "exactly one integer conversion"},
        {"--frames f-%d-%d.png", 2, "exactly one integer conversion"},
        {"--frames f-%s.png", 2, "exactly one integer conversion"},
        {"--frames f-%d.jpg", 2, "ending in .png or .bmp"},
        {"--set Iterations=10 --runs 2 --frames no-such-directory/f-%d.png", 4,
         "cannot write the frame no-such-directory/f-1.png: No such file or directory"},
        {"--recipe cli-no-such.png", 2, "cannot read the recipe of cli-no-such.png: No such file or directory"},
        {"--recipe /dev/null", 2, "cannot read the recipe of /dev/null: it is not a PNG file"},
        {"--recipe x.png --set Width=64", 2, "--recipe takes the whole scene from the picture: leave out --set"},
        {"--runs 2 --recipe x.png", 2, "leave out --runs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::string out, err;
        EXPECT_EQ(Render(c.args, &out, &err), c.code);
        EXPECT_NE(err.find(c.inError), std::string::npos) << err;
        if (c.code == 2) {
            EXPECT_EQ(Lines(err).size(), 1u) << err;
            EXPECT_NE(err.find(" (try --help)\n"), std::string::npos) << err;
            EXPECT_EQ(out, "");
        }
    }
    std::string out;
    Render("--version", &out);
    EXPECT_EQ(out, "halovane-render " HALOVANE_VERSION "\n");
}

// A settings file keeps the settings file's own lenient rules: text that
// holds no number is 0, reading stops where the number does.
TEST(RenderCli, SettingsFilesKeepTheirLenientRules)
{
    const std::string render = "'" + RendererPath() + "' --print-settings --settings -";
    const std::vector<std::string> lines =
        Lines(Shell("printf '[HV]\\nIterations=abc\\nSamplePoints=1e4\\nJulia=yes\\nX=0,5\\n' | " + render));
    for (const char* line : {"Iterations=0", "SamplePoints=1", "Julia=0", "X=0.0000000000000"})
        EXPECT_TRUE(Contains(lines, line)) << line;
}

// Only the implicit Halovane.ini beside the program may be missing: the
// window program's rule, the defaults.
TEST(RenderCli, TheImplicitSettingsFileMayBeMissing)
{
    const std::string beside = RendererPath().substr(0, RendererPath().rfind('/')) + "/Halovane.ini";
    struct stat info;
    if (stat(beside.c_str(), &info) == 0) GTEST_SKIP() << beside << " exists";
    const std::vector<std::string> lines = Lines(Shell("'" + RendererPath() + "' --print-settings; echo $?"));
    ASSERT_EQ(lines.size(), 22u);
    EXPECT_EQ(lines[1], "Width=2048");
    EXPECT_EQ(lines[21], "0");
}

// The output's folder is checked first: a render that could not be saved
// does not start, so no frame is written either.
TEST(RenderCli, TheOutputIsCheckedBeforeRendering)
{
    std::remove("cli-early-1.bmp");
    std::string err;
    EXPECT_EQ(Render("--set Iterations=50 --runs 2 --frames cli-early-%d.bmp -o no-such-directory/out.bmp",
                     nullptr, &err),
              4);
    EXPECT_NE(err.find("cannot write no-such-directory/out.bmp: No such file or directory"), std::string::npos)
        << err;
    struct stat info;
    EXPECT_NE(stat("cli-early-1.bmp", &info), 0);
    // A refused render leaves an old image alone.
    { std::ofstream("cli-early.bmp", std::ios::binary) << "old"; }
    EXPECT_EQ(Render("--set Width=0 -o cli-early.bmp"), 2);
    EXPECT_EQ(ReadAll("cli-early.bmp"), "old");
    std::remove("cli-early.bmp");
}

// Off a terminal the progress is plain lines on standard error, the last of
// them once the render is over: the second run, all of it done. --quiet
// leaves standard error empty.
TEST(RenderCli, ProgressOffATerminalEndsWithTheWholeRender)
{
    std::string err;
    ASSERT_EQ(Render("--set Iterations=20 --set SamplePoints=1000 --runs 2 -o cli-progress.bmp", nullptr, &err), 0);
    const std::vector<std::string> lines = Lines(err);
    ASSERT_FALSE(lines.empty()) << err;
    for (const std::string& line : lines) EXPECT_EQ(line.compare(0, 17, "halovane-render: "), 0) << line;
    EXPECT_EQ(lines.back().compare(0, 35, "halovane-render: run 2/2, 100% done"), 0) << lines.back();
    EXPECT_EQ(err.find('\r'), std::string::npos);
    ASSERT_EQ(Render("--set Iterations=20 --runs 2 --quiet -o cli-progress.bmp", nullptr, &err), 0);
    EXPECT_EQ(err, "");
    std::remove("cli-progress.bmp");
}

// Every option's entry in --help, up to the next option, names its default.
TEST(RenderCli, HelpGivesEveryDefault)
{
    std::string out;
    ASSERT_EQ(Render("--help", &out), 0);
    EXPECT_EQ(out.compare(0, 22, "usage: halovane-render"), 0);
    std::vector<std::string> entries;
    for (const std::string& line : Lines(out)) {
        if (line.compare(0, 3, "  -") == 0) entries.push_back(line);
        else if (line.compare(0, 3, "   ") == 0 && !entries.empty()) entries.back() += line;
    }
    ASSERT_FALSE(entries.empty());
    for (const std::string& entry : entries) {
        if (entry.find("--help") != std::string::npos || entry.find("--version") != std::string::npos) continue;
        EXPECT_NE(entry.find("default"), std::string::npos) << entry;
    }
}

TEST(RenderCli, AFileSizeLimitIsAnOutputFailureThatKeepsTheOldFile)
{
    const char* path = "cli-keep.bmp";
    { std::ofstream(path, std::ios::binary) << "old"; }
    std::string err;
    EXPECT_EQ(Render("--runs 0 -o cli-keep.bmp", nullptr, &err, "ulimit -f 64; "), 4);
    EXPECT_NE(err.find("cannot write cli-keep.bmp: File too large"), std::string::npos) << err;
    EXPECT_EQ(ReadAll(path), "old");
    std::remove(path);
}

// The files and folders beside the output are the user's.
TEST(RenderCli, TheOutputFolderIsLeftAsItWas)
{
    std::filesystem::remove_all("cli-folder");
    mkdir("cli-folder", 0755);
    { std::ofstream("cli-folder/output.bmp.tmp", std::ios::binary) << "mine"; }
    mkdir("cli-folder/folder.bmp.tmp", 0755);
    mkdir("cli-folder/folder.bmp", 0755);
    std::string err;
    EXPECT_EQ(Render("--runs 0 -o cli-folder/output.bmp"), 0);
    EXPECT_EQ(Render("--runs 0 -o cli-folder/folder.bmp", nullptr, &err), 4);
    EXPECT_NE(err.find("cannot write cli-folder/folder.bmp: Is a directory"), std::string::npos) << err;
    EXPECT_EQ(ReadAll("cli-folder/output.bmp.tmp"), "mine");
    EXPECT_EQ(ReadAll("cli-folder/output.bmp").size(), kImageBytes);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("cli-folder"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    const std::vector<std::string> expected = {"folder.bmp", "folder.bmp.tmp", "output.bmp", "output.bmp.tmp"};
    EXPECT_EQ(names, expected);
    std::filesystem::remove_all("cli-folder");
}

TEST(RenderCli, RendersToTheSameFileAtOnceAllSucceed)
{
    // Six renders started together, each reporting its exit code.
    const std::string render =
        "'" + RendererPath() + "' --settings /dev/null --runs 0 -o cli-same.bmp";
    EXPECT_EQ(Shell("for i in 1 2 3 4 5 6; do (" + render + "; echo $?) & done; wait"),
              "0\n0\n0\n0\n0\n0\n");
    EXPECT_EQ(ReadAll("cli-same.bmp").size(), kImageBytes);
    std::remove("cli-same.bmp");
}

TEST(RenderCli, DevicesPipesAndStandardOutputAreWrittenInto)
{
    std::string out;
    ASSERT_EQ(Render("--runs 0 -o -", &out), 0);
    EXPECT_EQ(out.size(), kImageBytes);
    EXPECT_EQ(out.compare(0, 2, "BM"), 0);

    // Through a pipe, named as standard output or as a FIFO: the reader gets the image.
    const std::string render = "'" + RendererPath() + "' --settings /dev/null --runs 0";
    EXPECT_EQ(Shell(render + " -o /dev/stdout | wc -c"), "786486\n");
    ASSERT_EQ(mkfifo("cli-out.fifo", 0600), 0);
    EXPECT_EQ(Shell(render + " -o cli-out.fifo & wc -c <cli-out.fifo; wait"), "786486\n");
    struct stat info;
    ASSERT_EQ(stat("cli-out.fifo", &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    std::remove("cli-out.fifo");

    // A copy of the null device's node stays a device.
    if (mknod("cli-null", S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "making a device node needs the superuser";
    EXPECT_EQ(Render("--runs 0 -o cli-null"), 0);
    ASSERT_EQ(stat("cli-null", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    std::remove("cli-null");
}

TEST(RenderCli, SettingsComeFromPipesAndStandardInput)
{
    const std::string render = "'" + RendererPath() + "' --print-settings --settings ";
    EXPECT_TRUE(Contains(Lines(Shell("printf '[HV]\\nWidth=32\\n' | " + render + "-")), "Width=32"));
    EXPECT_TRUE(
        Contains(Lines(Shell("printf '[HV]\\nWidth=33\\n' | " + render + "/dev/stdin")), "Width=33"));
    // A process substitution, as bash makes it.
    EXPECT_TRUE(Contains(Lines(Shell("bash -c \"" + render + "<(printf '[HV]\\\\nWidth=34\\\\n')\"")),
                         "Width=34"));
}

// Endless or oversized inputs end with exit code 2 and a reason.
TEST(RenderCli, SettingsStreamsThatNeverEndAreRefused)
{
    std::remove("cli-endless.fifo");
    ASSERT_EQ(mkfifo("cli-endless.fifo", 0600), 0);
    mkdir("cli-folder-as-settings", 0755);
    // A writer that never stops; it ends when the reader has gone.
    std::system("(yes '; more' >cli-endless.fifo) 2>/dev/null &");
    struct Case {
        const char* file;
        const char* reason;
    };
    const Case cases[] = {
        {"/dev/zero", "it is longer than 1048576 bytes"},
        {"/dev/urandom", "it is longer than 1048576 bytes"},
        {"cli-endless.fifo", "it is longer than 1048576 bytes"},
        {"cli-folder-as-settings", "Is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string out, err;
        EXPECT_EQ(Render(std::string("--print-settings --settings ") + c.file, &out, &err), 2);
        EXPECT_NE(err.find(std::string("cannot read the settings file ") + c.file + ": " + c.reason),
                  std::string::npos)
            << err;
        EXPECT_EQ(out, "");
    }
    std::remove("cli-endless.fifo");
    rmdir("cli-folder-as-settings");
}

// An input that stays silent, before its first byte or part way, is given
// up after the patience (here a short one): a pipe nobody writes, and one
// whose writer stopped without closing it.
TEST(RenderCli, SilentSettingsInputsAreGivenUp)
{
    std::remove("cli-silent.fifo");
    ASSERT_EQ(mkfifo("cli-silent.fifo", 0600), 0);
    int stalled[2];
    ASSERT_EQ(pipe(stalled), 0);
    ASSERT_EQ(write(stalled[1], "[HV]\n", 5), 5);
    const std::string stalledName = "/proc/self/fd/" + std::to_string(stalled[0]);
    const struct {
        std::string file;
        const char* reason;
    } cases[] = {
        {"cli-silent.fifo", "no input arrived within 0.05 s"},
        {stalledName, "the input paused for over 0.05 s before it ended"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::string bytes, reason;
        bool missing = true;
        EXPECT_FALSE(ReadSettingsInputWithin(c.file.c_str(), InputPatience{50, 50}, bytes, missing, reason));
        EXPECT_FALSE(missing);
        EXPECT_EQ(reason, c.reason);
    }
    close(stalled[0]);
    close(stalled[1]);
    std::remove("cli-silent.fifo");
}

// A producer that takes longer than a second to begin is waited for, and the
// input needs no writable temporary folder.
TEST(RenderCli, SettingsInputWaitsForSlowProducersAndNeedsNoTemporaryFolder)
{
    const std::string render = "'" + RendererPath() + "' --print-settings --settings ";
    EXPECT_TRUE(Contains(
        Lines(Shell("bash -c \"" + render + "<(sleep 1.5; printf '[HV]\\nWidth=35\\n')\"")), "Width=35"));
    { std::ofstream("cli-input.ini", std::ios::binary) << "[HV]\nWidth=36\n"; }
    EXPECT_TRUE(Contains(Lines(Shell("TMPDIR=/no-such-folder " + render + "cli-input.ini")), "Width=36"));
    std::remove("cli-input.ini");
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

// The settings file is replaced whole, never through a link planted where an
// older writer put its temporary file; a pipe is no settings file.
TEST(RenderCli, SavingSettingsLeavesLinksAndPipesAlone)
{
    { std::ofstream("cli-victim", std::ios::binary) << "yours"; }
    std::remove("cli-settings.ini.tmp");
    ASSERT_EQ(symlink("cli-victim", "cli-settings.ini.tmp"), 0);
    EXPECT_EQ(Render("--save-settings cli-settings.ini"), 0);
    EXPECT_EQ(ReadAll("cli-victim"), "yours");
    EXPECT_NE(ReadAll("cli-settings.ini").find("Width=2048"), std::string::npos);

    ASSERT_EQ(mkfifo("cli-settings.fifo", 0600), 0);
    std::string err;
    EXPECT_EQ(Render("--save-settings cli-settings.fifo", nullptr, &err), 4);
    EXPECT_NE(err.find("cli-settings.fifo: it is not a regular file"), std::string::npos) << err;
    std::remove("cli-settings.fifo");
    std::remove("cli-settings.ini.tmp");
    std::remove("cli-settings.ini");
    std::remove("cli-victim");
}

#ifdef HALOVANE_HAVE_PNG
// The PNG holds exactly the bitmap's pixels, for a .png name in any case;
// rows of odd lengths included.
TEST(RenderCli, PngFilesHoldTheBitmapsPixels)
{
    const char* scenes[] = {
        "--set Iterations=300",
        "--start -0.75,0.1 --region -0.75,0.1,0.5 --set Width=203 --set Height=101 --set Iterations=500",
    };
    for (const char* scene : scenes) {
        SCOPED_TRACE(scene);
        ASSERT_EQ(Render(std::string(scene) + " --quiet -o cli-pixels.bmp"), 0);
        ASSERT_EQ(Render(std::string(scene) + " --quiet -o cli-pixels.PNG"), 0);
        const std::string bitmap = BitmapPixels(ReadAll("cli-pixels.bmp"));
        const std::string png = ReadAll("cli-pixels.PNG");
        EXPECT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
        EXPECT_LT(png.size(), bitmap.size()) << "compressed";
        EXPECT_EQ(PngPixels(png), bitmap);
    }
    std::remove("cli-pixels.bmp");
    std::remove("cli-pixels.PNG");
}

// The PNG goes through the same writer as the bitmap: into a FIFO, through a
// link, keeping the old file's mode.
TEST(RenderCli, PngFilesAreWrittenLikeBitmaps)
{
    const std::string render = "'" + RendererPath() + "' --settings /dev/null --runs 0";
    std::remove("cli-out.png");
    ASSERT_EQ(mkfifo("cli-out.png", 0600), 0);
    EXPECT_EQ(Shell(render + " -o cli-out.png & head -c 8 cli-out.png | od -An -c; wait"),
              " 211   P   N   G  \\r  \\n 032  \\n\n");
    std::remove("cli-out.png");

    { std::ofstream("cli-target.png", std::ios::binary) << "old"; }
    chmod("cli-target.png", 0640);
    std::remove("cli-link.png");
    ASSERT_EQ(symlink("cli-target.png", "cli-link.png"), 0);
    EXPECT_EQ(Render("--runs 0 -o cli-link.png"), 0);
    struct stat info;
    ASSERT_EQ(lstat("cli-link.png", &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(stat("cli-target.png", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(PngPixels(ReadAll("cli-target.png")).size(), 512u * 512 * 3);
    std::remove("cli-link.png");
    std::remove("cli-target.png");
}

// Frame k is the image of the same command with --runs k, in the format of
// the pattern's extension, in view and in region mode.
TEST(RenderCli, FrameKIsTheImageOfRunsK)
{
    const struct {
        const char* scene;
        const char* pattern;
        const char* frame[3];
    } cases[] = {
        {"--start -0.75,0.1 --set Iterations=200 --set DriftX=0.002", "cli-view-%d.bmp",
         {"cli-view-1.bmp", "cli-view-2.bmp", "cli-view-3.bmp"}},
        {"--start -0.75,0.1 --region -0.75,0.1,0.5 --set Width=96 --set Height=96 --set Iterations=400 "
         "--set CheckBailout=1 --set DriftY=0.003",
         "cli-region-%02d.png", {"cli-region-01.png", "cli-region-02.png", "cli-region-03.png"}},
        {"--start -0.75,0.1 --region -0.75,0.1,0.5 --set Width=96 --set Height=96 --set Iterations=400 "
         "--set DriftX=0.01 --clear-runs",
         "cli-cleared-%d.png", {"cli-cleared-1.png", "cli-cleared-2.png", "cli-cleared-3.png"}},
        {"--start -0.75,0.1 --set Iterations=200 --set DriftX=0.002 --clear-runs", "cli-cleared-view-%d.bmp",
         {"cli-cleared-view-1.bmp", "cli-cleared-view-2.bmp", "cli-cleared-view-3.bmp"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scene);
        const std::string scene = std::string(c.scene) + " --quiet";
        ASSERT_EQ(Render(scene + " --runs 3 --frames " + c.pattern + " -o cli-final.png"), 0);
        for (uint32_t k = 1; k <= 3; ++k) {
            SCOPED_TRACE(k);
            const std::string alone = std::string("cli-alone") + (c.pattern + std::strlen(c.pattern) - 4);
            ASSERT_EQ(Render(scene + " --runs " + std::to_string(k) + " -o " + alone), 0);
            // The same pixels; a PNG's recipe names its own command.
            const std::string frame = ImagePixels(c.frame[k - 1]);
            EXPECT_GT(frame.size(), 96u * 96);
            EXPECT_TRUE(frame == ImagePixels(alone));
            std::remove(alone.c_str());
        }
        EXPECT_NE(ReadAll(c.frame[0]), ReadAll(c.frame[2])) << "the runs differ";
        EXPECT_EQ(PngPixels(ReadAll("cli-final.png")), ImagePixels(c.frame[2])) << "-o names the final image";
        for (const char* f : c.frame) std::remove(f);
    }
    std::remove("cli-final.png");
}

// Without --clear-runs the runs pile up: every pixel of frame 3 is at least
// that of frame 1. With it, frame 3 shows run 3 alone, dark where run 1 was
// bright; frame 1 is the same either way.
TEST(RenderCli, ClearedRunsShowEachRunAlone)
{
    const std::string scene = "--start -0.75,0.1 --region -0.75,0.1,0.5 --set Width=96 --set Height=96 "
                              "--set Iterations=400 --set DriftX=0.02 --quiet --runs 3 -o cli-last.png";
    ASSERT_EQ(Render(scene + " --frames cli-piled-%d.png"), 0);
    ASSERT_EQ(Render(scene + " --frames cli-alone-%d.png --clear-runs"), 0);
    const auto pixels = [](const char* name) { return PngPixels(ReadAll(name)); };
    EXPECT_TRUE(pixels("cli-piled-1.png") == pixels("cli-alone-1.png"));
    const std::string first = pixels("cli-piled-1.png"), piled = pixels("cli-piled-3.png"),
                      alone = pixels("cli-alone-3.png");
    ASSERT_EQ(first.size(), 96u * 96 * 3);
    ASSERT_EQ(piled.size(), first.size());
    ASSERT_EQ(alone.size(), first.size());
    size_t darker = 0, piledDarker = 0;
    for (size_t i = 0; i < first.size(); ++i) {
        piledDarker += static_cast<uint8_t>(piled[i]) < static_cast<uint8_t>(first[i]);
        darker += static_cast<uint8_t>(alone[i]) < static_cast<uint8_t>(first[i]);
    }
    EXPECT_EQ(piledDarker, 0u);
    EXPECT_GT(darker, 0u);
    for (const char* f : {"cli-piled-1.png", "cli-piled-2.png", "cli-piled-3.png", "cli-alone-1.png",
                          "cli-alone-2.png", "cli-alone-3.png", "cli-last.png"})
        std::remove(f);
}

// --recipe renders a PNG again from its own text chunks, byte for byte,
// whatever made it: a region, the view, Julia mode, a drift over several
// runs, one frame of a --frames render.
TEST(RenderCli, APictureRendersAgainFromItsRecipe)
{
    const char* scenes[] = {
        "--start -0.75,0.1 --snap --region -0.75,0.1,0.5 --set Width=128 --set Height=96 --set Iterations=500 "
        "--set CheckBailout=1 --set MinBailout=1.2345678e-7",
        "--start -0.75,0.1 --snap --set Iterations=300",
        "--set Julia=1 --start -0.8,0.156 --region 0,0,3 --set Width=96 --set Height=96 --set Iterations=300",
        "--start -0.75,0.1 --region -0.4,0,2.4 --set Width=96 --set Height=96 --set Iterations=200 --runs 3 "
        "--set DriftX=0.01 --set DriftY=-0.003",
    };
    for (const char* scene : scenes) {
        SCOPED_TRACE(scene);
        ASSERT_EQ(Render(std::string(scene) + " --quiet -o cli-recipe-a.png"), 0);
        std::string err;
        ASSERT_EQ(Render("--recipe cli-recipe-a.png --quiet -o cli-recipe-b.png", nullptr, &err), 0) << err;
        const std::string a = ReadAll("cli-recipe-a.png");
        EXPECT_GT(a.size(), 100u);
        EXPECT_TRUE(a == ReadAll("cli-recipe-b.png"));
    }

    // Frame 2 of three cleared runs, from the frame itself and from the final image.
    const std::string frames = "--start -0.75,0.1 --region -0.75,0.1,0.5 --set Width=96 --set Height=96 "
                               "--set Iterations=300 --set DriftY=0.01 --runs 3 --clear-runs --quiet";
    ASSERT_EQ(Render(frames + " --frames cli-recipe-f-%d.png -o cli-recipe-a.png"), 0);
    ASSERT_EQ(Render("--recipe cli-recipe-f-2.png --quiet -o cli-recipe-b.png"), 0);
    EXPECT_TRUE(ReadAll("cli-recipe-f-2.png") == ReadAll("cli-recipe-b.png"));
    ASSERT_EQ(Render("--recipe cli-recipe-a.png --quiet --frames cli-recipe-g-%d.png -o cli-recipe-b.png"), 0);
    EXPECT_TRUE(ReadAll("cli-recipe-f-2.png") == ReadAll("cli-recipe-g-2.png"));
    EXPECT_TRUE(ReadAll("cli-recipe-a.png") == ReadAll("cli-recipe-b.png"));
    for (const char* f : {"cli-recipe-a.png", "cli-recipe-b.png", "cli-recipe-f-1.png", "cli-recipe-f-2.png",
                          "cli-recipe-f-3.png", "cli-recipe-g-1.png", "cli-recipe-g-2.png", "cli-recipe-g-3.png"})
        std::remove(f);
}

// A picture without a whole recipe is refused with the reason, exit code 2.
TEST(RenderCli, APictureWithoutAWholeRecipeIsRefused)
{
    ASSERT_EQ(Render("--set Iterations=20 --quiet -o cli-whole.png"), 0);
    const std::string whole = ReadAll("cli-whole.png");
    std::string damaged = whole;
    const size_t at = damaged.find("Runs=1");
    ASSERT_NE(at, std::string::npos);
    damaged[at + 5] = '2';
    { std::ofstream("cli-damaged.png", std::ios::binary) << damaged; }
    { std::ofstream("cli-short.png", std::ios::binary) << whole.substr(0, 40); }
    // After the header, a chunk too long to step over in a 32-bit long.
    { std::ofstream("cli-huge.png", std::ios::binary) << whole.substr(0, 33) << std::string("\x7f\xff\xff\xfczzzz", 8); }
    const struct {
        std::string picture;
        const char* reason;
    } cases[] = {
        {std::string(HALOVANE_SOURCE_DIR) + "/docs/images/render.png", "it carries no halovane-render recipe"},
        {"cli-damaged.png", "a text chunk of the PNG file is damaged"},
        {"cli-short.png", "the PNG file ends early"},
        {"cli-huge.png", "the PNG file is damaged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picture);
        std::string err;
        EXPECT_EQ(Render("--recipe " + c.picture + " -o cli-never.png", nullptr, &err), 2);
        EXPECT_NE(err.find("cannot read the recipe of " + c.picture + ": " + c.reason), std::string::npos) << err;
    }
    struct stat info;
    EXPECT_NE(stat("cli-never.png", &info), 0);
    for (const char* f : {"cli-whole.png", "cli-damaged.png", "cli-short.png", "cli-huge.png"}) std::remove(f);
}

// --print-settings on a picture: its settings file lines, then the rest of
// its recipe in a section of its own, reals to the last bit.
TEST(RenderCli, APicturesRecipeIsPrinted)
{
    const std::string scene = "--start -0.75,0.1 --region -0.75,0.1,0.5 --set Width=64 --set Height=64 "
                              "--set Iterations=50 --set MinBailout=1.2345678e-7 --runs 2";
    ASSERT_EQ(Render(scene + " --quiet -o cli-printed.png"), 0);
    std::string settings, recipe;
    ASSERT_EQ(Render(scene + " --print-settings", &settings), 0);
    ASSERT_EQ(Render("--print-settings --recipe cli-printed.png", &recipe), 0);
    const std::vector<std::string> settingsLines = Lines(settings), recipeLines = Lines(recipe);
    ASSERT_GT(recipeLines.size(), settingsLines.size());
    EXPECT_EQ(std::vector<std::string>(recipeLines.begin(), recipeLines.begin() + 21), settingsLines);
    for (const char* line : {"[Recipe]", "Version=" HALOVANE_VERSION, "Start=-0.75,0.10000000000000001",
                             "Region=-0.75,0.10000000000000001,0.5", "Runs=2", "MinBailout=1.23456786e-07",
                             "Command=halovane-render --settings /dev/null --start -0.75,0.1 --region "
                             "-0.75,0.1,0.5 --set Width=64 --set Height=64 --set Iterations=50 "
                             "--set MinBailout=1.2345678e-7 --runs 2 --quiet -o cli-printed.png"})
        EXPECT_TRUE(Contains(recipeLines, line)) << line << "\n" << recipe;
    EXPECT_TRUE(Contains(settingsLines, "MinBailout=0.0000001234568"));
    std::remove("cli-printed.png");
}

// scripts/frames-video.sh makes a video and a GIF with one picture per frame.
TEST(RenderCli, FramesMakeAVideoAndAGif)
{
    if (Shell("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null && echo yes") != "yes\n")
        GTEST_SKIP() << "ffmpeg and ffprobe are not installed (scripts/setup.sh installs them)";
    std::filesystem::remove_all("cli-video");
    mkdir("cli-video", 0755);
    // An odd width: the video pads it to an even one.
    ASSERT_EQ(Render("--start -0.75,0.1 --region -0.75,0.1,0.5 --set Width=65 --set Height=64 "
                     "--set Iterations=100 --set DriftX=0.01 --runs 5 --clear-runs --quiet "
                     "--frames cli-video/f-%02d.png -o cli-video/last.png"),
              0);
    const std::string script = std::string("bash '") + HALOVANE_SOURCE_DIR + "/scripts/frames-video.sh' ";
    const std::string count =
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 ";
    for (const char* out : {"cli-video/drift.mp4", "cli-video/drift.gif"}) {
        SCOPED_TRACE(out);
        EXPECT_EQ(Shell(script + "cli-video/f-%02d.png " + out + " >/dev/null; echo $?"), "0\n");
        EXPECT_EQ(Shell(count + out), "5\n");
    }
    std::filesystem::remove_all("cli-video");
}
#endif

// A frame that cannot be written ends the render with exit code 4 and the
// file's name; the frames before it stay and no final image is written.
TEST(RenderCli, AFrameThatCannotBeWrittenStopsTheRender)
{
    std::remove("cli-stop-1.bmp");
    std::remove("cli-stop-final.bmp");
    mkdir("cli-stop-2.bmp", 0755);
    std::string err;
    EXPECT_EQ(Render("--set Iterations=50 --runs 4 --frames cli-stop-%d.bmp -o cli-stop-final.bmp", nullptr,
                     &err),
              4);
    EXPECT_NE(err.find("cannot write the frame cli-stop-2.bmp: Is a directory"), std::string::npos) << err;
    EXPECT_EQ(ReadAll("cli-stop-1.bmp").size(), kImageBytes);
    struct stat info;
    EXPECT_NE(stat("cli-stop-3.bmp", &info), 0);
    EXPECT_NE(stat("cli-stop-final.bmp", &info), 0);
    std::remove("cli-stop-1.bmp");
    rmdir("cli-stop-2.bmp");
}

// scripts/sweep.sh renders every scene line into OUTDIR/NNNN.png, with GNU
// parallel and with xargs -P, each the same as the renderer alone.
TEST(RenderCli, TheSweepScriptRendersEveryScene)
{
    {
        std::ofstream scenes("cli-scenes.txt", std::ios::binary);
        // Shell quoting, a trailing blank, and an -o that the script's own wins over.
        scenes << "# three small scenes\n"
                  "--settings /dev/null --set Iterations=200 --set SamplePoints=50\n"
                  "\n"
                  "--settings /dev/null --start -0.75,0.1 --snap --set 'SampleRadius=0.01' "
                  "--set Iterations=100 \n"
                  "--settings /dev/null --region 0,0,2 --set Width=64 --set Height=64 "
                  "--set Iterations=300 -o ignored.png\n";
    }
    const char* scenes[] = {"--set Iterations=200 --set SamplePoints=50",
                            "--start -0.75,0.1 --snap --set SampleRadius=0.01 --set Iterations=100",
                            "--region 0,0,2 --set Width=64 --set Height=64 --set Iterations=300"};
    const char* names[] = {"0002.png", "0004.png", "0005.png"};
    for (const char* tool : {"parallel", "xargs"}) {
        SCOPED_TRACE(tool);
        std::filesystem::remove_all("cli-sweep");
        const std::string sweep = std::string("HALOVANE_RENDER='") + RendererPath() + "' SWEEP_TOOL=" + tool +
                                  " SWEEP_JOBS=2 bash '" + HALOVANE_SOURCE_DIR +
                                  "/scripts/sweep.sh' cli-scenes.txt cli-sweep; echo $?";
        EXPECT_EQ(Shell(sweep), "0\n");
        std::vector<std::string> written;
        for (const auto& entry : std::filesystem::directory_iterator("cli-sweep"))
            written.push_back(entry.path().filename().string());
        std::sort(written.begin(), written.end());
        EXPECT_EQ(written, std::vector<std::string>(std::begin(names), std::end(names)));
        EXPECT_EQ(ReadAll("ignored.png"), "");
        for (size_t k = 0; k < 3; ++k) {
            ASSERT_EQ(Render(std::string(scenes[k]) + " --quiet -o cli-sweep-alone.png"), 0);
            // The same pixels; a PNG's recipe names its own command.
            EXPECT_TRUE(PngPixels(ReadAll("cli-sweep/" + std::string(names[k]))) ==
                        PngPixels(ReadAll("cli-sweep-alone.png")))
                << names[k];
        }
    }
    std::filesystem::remove_all("cli-sweep");
    std::remove("cli-sweep-alone.png");
    std::remove("cli-scenes.txt");
}

// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The first SIGINT, SIGTERM or SIGHUP stops the render as Stop does: the
// image so far is written whole, the program says how far it got and ends
// with 128 plus the signal. The test points raise the signal at the end of
// run k, or once the output's temporary file exists.
TEST(RenderCli, AnInterruptedRenderKeepsItsImage)
{
    const std::string scene = "--start -0.75,0.1 --set Iterations=200 --set DriftX=0.002 --quiet";
    const struct {
        const char* plan;
        int runs;
        int code;
        int runsInImage;
        const char* said;
    } cases[] = {
        {"run2:INT", 5, 130, 2, "stopped by SIGINT after 2 of 5 runs; the image so far is in cli-interrupted/out.bmp"},
        {"run1:TERM", 3, 143, 1, "stopped by SIGTERM after 1 of 3 runs"},
        {"save:INT", 2, 130, 2, "stopped by SIGINT after 2 of 2 runs"},
        {"save:HUP", 2, 129, 2, "stopped by SIGHUP after 2 of 2 runs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plan);
        std::filesystem::remove_all("cli-interrupted");
        mkdir("cli-interrupted", 0755);
        { std::ofstream("cli-interrupted/out.bmp", std::ios::binary) << "old"; }
        std::string err;
        EXPECT_EQ(Render(scene + " --runs " + std::to_string(c.runs) + " -o cli-interrupted/out.bmp", nullptr, &err,
                         std::string("HALOVANE_TEST_SIGNALS=") + c.plan + " "),
                  c.code);
        EXPECT_NE(err.find(c.said), std::string::npos) << err;
        ASSERT_EQ(Render(scene + " --runs " + std::to_string(c.runsInImage) + " -o cli-interrupted-alone.bmp"), 0);
        EXPECT_TRUE(ReadAll("cli-interrupted/out.bmp") == ReadAll("cli-interrupted-alone.bmp"));
        EXPECT_EQ(FolderNames("cli-interrupted"), std::vector<std::string>{"out.bmp"});
    }
    std::filesystem::remove_all("cli-interrupted");
    std::remove("cli-interrupted-alone.bmp");
}

// A second signal, or a first before the render has begun (here while
// settings are saved), ends the program at once: the old file stays and no
// temporary file is left.
TEST(RenderCli, ASecondSignalEndsAtOnceAndKeepsTheOldFile)
{
    const struct {
        const char* plan;
        const char* args;
        int code;
    } cases[] = {
        {"save:INT,INT", "--set Iterations=100 -o cli-ended/out.bmp", 130},
        {"save:TERM,TERM", "--set Iterations=100 --frames cli-ended/out-%d.bmp -o cli-ended/out.bmp", 143},
        {"save:INT", "--save-settings cli-ended/out.bmp", 130},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plan);
        std::filesystem::remove_all("cli-ended");
        mkdir("cli-ended", 0755);
        { std::ofstream("cli-ended/out.bmp", std::ios::binary) << "old"; }
        std::string err;
        EXPECT_EQ(Render(std::string(c.args) + " --quiet", nullptr, &err,
                         std::string("HALOVANE_TEST_SIGNALS=") + c.plan + " "),
                  c.code);
        EXPECT_EQ(err.find("stopped by"), std::string::npos) << err;
        EXPECT_EQ(ReadAll("cli-ended/out.bmp"), "old");
        EXPECT_EQ(FolderNames("cli-ended"), std::vector<std::string>{"out.bmp"});
    }
    std::filesystem::remove_all("cli-ended");
}

// /dev/stdout and its like name the descriptor the program was given: the
// image goes into it, after what the file behind it holds.
TEST(RenderCli, DescriptorNamesAppendToTheFileBehindThem)
{
    const std::string render = "'" + RendererPath() + "' --settings /dev/null --runs 0 --quiet";
    ASSERT_EQ(Render("--runs 0 --quiet -o cli-descriptor.bmp"), 0);
    const std::string image = ReadAll("cli-descriptor.bmp");
    const struct {
        const char* name;
        const char* redirect;
    } cases[] = {
        {"/dev/stdout", ">>"}, {"/proc/self/fd/1", ">>"}, {"/dev/fd/1", ">>"}, {"/dev/stderr", "2>>"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        { std::ofstream("cli-descriptor-log", std::ios::binary) << "keep\n"; }
        EXPECT_EQ(Shell("{ " + render + " -o " + c.name + "; } " + c.redirect + " cli-descriptor-log; echo $?"), "0\n");
        EXPECT_TRUE(ReadAll("cli-descriptor-log") == "keep\n" + image);
    }
    std::remove("cli-descriptor-log");
    std::remove("cli-descriptor.bmp");
}

// With standard output and error closed, nothing the program says lands in
// the file it writes: here the signal's message comes while the output's
// temporary file is open.
TEST(RenderCli, ClosedStandardDescriptorsTakeNoFile)
{
    ASSERT_EQ(Render("--set Iterations=10 --quiet -o cli-image.bmp"), 0);
    const std::string render = "'" + RendererPath() + "' --settings /dev/null --set Iterations=10";
    EXPECT_EQ(Shell("HALOVANE_TEST_SIGNALS=save:INT " + render + " -o cli-closed.bmp >&- 2>&-; echo $?"),
              "130\n");
    EXPECT_TRUE(ReadAll("cli-closed.bmp") == ReadAll("cli-image.bmp"));
    std::remove("cli-closed.bmp");
    std::remove("cli-image.bmp");
}

// Helper threads the system cannot start leave the work to fewer threads,
// with the same image.
TEST(RenderCli, ThreadsThatCannotStartLeaveTheWorkToFewer)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory does not fit under a memory limit";
#endif
    const std::string scene =
        "--set Iterations=100 --set BorderOnly=1 --start -0.75,0.1 --region -0.5,0,2 --quiet";
    ASSERT_EQ(Render(scene + " --threads 1 -o cli-one.bmp"), 0);
    std::string err;
    EXPECT_EQ(Render(scene + " --threads 256 -o cli-many.bmp", nullptr, &err, "ulimit -v 100000; "), 0) << err;
    EXPECT_TRUE(ReadAll("cli-many.bmp") == ReadAll("cli-one.bmp"));
    std::remove("cli-one.bmp");
    std::remove("cli-many.bmp");
}

// A scene list is data: the same words reach the renderer under both tools,
// nothing in a line runs as shell code, a malformed line is refused by its
// number before anything renders, an empty list renders nothing, and the
// list's own name may hold any character. A stand-in renderer writes the
// words it was given into its output file.
TEST(RenderCli, SweepSceneLinesAreData)
{
    const std::string fake = std::filesystem::absolute("cli-fake-render").string();
    {
        std::ofstream script(fake, std::ios::binary);
        script << "#!/usr/bin/env bash\nprintf '%s\\n' \"$@\" >\"${@: -1}\"\n";
    }
    chmod(fake.c_str(), 0755);
    { std::ofstream("cli-a=b.txt", std::ios::binary) << "--set 'X=$(touch cli-pwned)' \"a b\" c\\ d 'it''s' \"q\\\"u\\o\" {x,y} * `touch cli-pwned`\n"
                                                    "# a comment's quote\n\n--runs 2\r\n"; }
    { std::ofstream("cli-bad.txt", std::ios::binary) << "--runs 2\n--set 'X=1\n--runs 3\n"; }
    { std::ofstream("cli-none.txt", std::ios::binary) << "# nothing\n\n"; }
    const std::string out = std::filesystem::absolute("cli-data").string();
    const std::string first = "--threads\n1\n--quiet\n--set\nX=$(touch cli-pwned)\na b\nc d\nits\nq\"u\\o\n{x,y}\n*\n"
                              "`touch\ncli-pwned`\n-o\n" + out + "/0001.png\n";
    const std::string fourth = "--threads\n1\n--quiet\n--runs\n2\n-o\n" + out + "/0004.png\n";
    for (const char* tool : {"parallel", "xargs"}) {
        SCOPED_TRACE(tool);
        const std::string sweep = "HALOVANE_RENDER='" + fake + "' SWEEP_TOOL=" + tool + " SWEEP_JOBS=2 bash '" +
                                  HALOVANE_SOURCE_DIR + "/scripts/sweep.sh' ";
        std::filesystem::remove_all("cli-data");
        EXPECT_EQ(Shell(sweep + "cli-a=b.txt cli-data; echo $?"), "0\n");
        EXPECT_EQ(ReadAll("cli-data/0001.png"), first);
        EXPECT_EQ(ReadAll("cli-data/0004.png"), fourth);
        EXPECT_EQ(FolderNames("cli-data"), (std::vector<std::string>{"0001.png", "0004.png"}));
        EXPECT_FALSE(std::filesystem::exists("cli-pwned"));

        std::filesystem::remove_all("cli-data");
        EXPECT_EQ(Shell(sweep + "cli-bad.txt cli-data 2>&1; echo $?"),
                  "sweep: cli-bad.txt line 2: an unmatched quote or a final backslash; nothing was rendered\n2\n");
        EXPECT_EQ(Shell(sweep + "cli-none.txt cli-data 2>/dev/null; echo $?"), "0\n");
        EXPECT_TRUE(FolderNames("cli-data").empty());
    }
    std::filesystem::remove_all("cli-data");
    std::remove("cli-pwned");
    for (const char* f : {"cli-fake-render", "cli-a=b.txt", "cli-bad.txt", "cli-none.txt"}) std::remove(f);
}

}  // namespace
#endif
