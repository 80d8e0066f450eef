// Loading and saving the twenty settings.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "app/AppState.h"
#include "platform/Platform.h"
#include "settings/SettingsFile.h"

namespace {

const char* const kDefaultLines[] = {
    "[HV]",
    "Width=2048",
    "Height=2048",
    "Iterations=10000",
    "SamplePoints=320",
    "Brightness=12",
    "Clear=1",
    "Julia=0",
    "BorderOnly=0",
    "CheckBailout=0",
    "Preview=0",
    "X=0.0000000000000",
    "Y=0.0000000000000",
    "CenterX=-0.5000000000000",
    "CenterY=0.0000000000000",
    "DriftX=0.0000000000000",
    "DriftY=0.0000000000000",
    "SampleRadius=0.0049999998882",
    "BorderDistance=0.0000099999997",
    "MaxBailout=4.0000000000000",
    "MinBailout=0.0000099999997",
};

std::string SettingsTestPath(const std::string& name) { return TestFilePath("settings", name); }

std::string CrLfLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::string DefaultFile() { return CrLfLines(std::vector<std::string>(std::begin(kDefaultLines), std::end(kDefaultLines))); }

// Fills every setting with a value no test expects.
void ScrambleSettings()
{
    Settings& s = app.settings;
    for (Relaxed<int32_t>* v : {&s.Iterations, &s.SamplePoints, &s.Brightness, &s.Width, &s.Height}) *v = -77;
    for (Relaxed<bool>* v : {&s.Clear, &s.Julia, &s.BorderOnly, &s.CheckBailout, &s.Preview}) *v = true;
    for (Relaxed<float>* v : {&s.X, &s.Y, &s.CenterX, &s.CenterY, &s.DriftX, &s.DriftY, &s.SampleRadius,
                              &s.BorderDistance, &s.MaxBailout, &s.MinBailout})
        *v = 77.0f;
}

// Tests change app.settings; the fixture puts them back.
class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { saved = CaptureSettings(); }
    void TearDown() override { RestoreSettings(saved); }

    SettingsValues saved;
};

}  // namespace

TEST_F(SettingsFileTest, AMissingFileGivesEveryDefaultAndIsNotCreated)
{
    std::string path = SettingsTestPath("missing");
    std::remove(path.c_str());
    ScrambleSettings();
    LoadSettingsFrom(path.c_str());
    const Settings& s = app.settings;
    EXPECT_EQ(s.Iterations, 10000);
    EXPECT_EQ(s.SamplePoints, 320);
    EXPECT_EQ(s.Brightness, 12);
    EXPECT_EQ(s.Width, 2048);
    EXPECT_EQ(s.Height, 2048);
    EXPECT_TRUE(s.Clear);
    EXPECT_FALSE(s.Julia || s.BorderOnly || s.CheckBailout || s.Preview);
    EXPECT_EQ(s.X, 0.0f);
    EXPECT_EQ(s.Y, 0.0f);
    EXPECT_EQ(s.CenterX, -0.5f);
    EXPECT_EQ(s.CenterY, 0.0f);
    EXPECT_EQ(s.DriftX, 0.0f);
    EXPECT_EQ(s.DriftY, 0.0f);
    EXPECT_EQ(s.SampleRadius, 0.005f);
    EXPECT_EQ(static_cast<double>(s.SampleRadius), 0.004999999888241291);
    EXPECT_EQ(s.BorderDistance, 0.00001f);
    EXPECT_EQ(static_cast<double>(s.BorderDistance), 0.000009999999747378752);
    EXPECT_EQ(s.MaxBailout, 4.0f);
    EXPECT_EQ(s.MinBailout, 0.00001f);
    // The table the other fixtures start from is the same, and so is what
    // the program uses when there is no settings path at all.
    EXPECT_TRUE(SameBits(CaptureSettings(), kDefaultSettings));
    ScrambleSettings();
    LoadDefaultSettings();
    EXPECT_TRUE(SameBits(CaptureSettings(), kDefaultSettings));
    EXPECT_EQ(ReadBytes(path), "");
}

TEST_F(SettingsFileTest, SavingTheDefaultsCreatesTheTwentyOneLines)
{
    std::string path = SettingsTestPath("defaults");
    std::remove(path.c_str());
    LoadSettingsFrom(path.c_str());
    ASSERT_TRUE(SaveSettingsTo(path.c_str()));
    EXPECT_EQ(ReadBytes(path), DefaultFile());

    std::vector<std::string> lines;
    SettingsFileLines(lines);
    EXPECT_EQ(CrLfLines(lines), DefaultFile());

    // Saving again changes nothing.
    ASSERT_TRUE(SaveSettingsTo(path.c_str()));
    EXPECT_EQ(ReadBytes(path), DefaultFile());
    std::remove(path.c_str());
}

TEST_F(SettingsFileTest, EveryValueSurvivesASaveAndALoad)
{
    const float inf = std::numeric_limits<float>::infinity();
    struct RoundTrip {
        int32_t integers[5];
        bool flags[5];
        float reals[10];
    };
    const RoundTrip trips[] = {
        {{-2147483647 - 1, 2147483647, 0, 1, -1}, {false, true, false, true, false},
         {-1.7499999f, 0.3333333f, -2.0f, 1e-5f, 1234567.875f, -0.0f, 0.0f, 1e30f, -1e29f, 3e-14f}},
        {{200, 0, 7, 640, 480}, {true, false, true, false, true},
         {inf, -inf, std::numeric_limits<float>::quiet_NaN(), 0.75f, -0.75f, 2.5f, 1e-7f, 9.5e-6f, 16.0f, 1.0f}},
    };
    int index = 0;
    for (const RoundTrip& trip : trips) {
        std::string path = SettingsTestPath("trip-" + std::to_string(index++));
        std::remove(path.c_str());
        SettingsValues v;
        std::memcpy(v.integers, trip.integers, sizeof v.integers);
        std::memcpy(v.flags, trip.flags, sizeof v.flags);
        std::memcpy(v.reals, trip.reals, sizeof v.reals);
        RestoreSettings(v);
        SettingsValues written = CaptureSettings();
        ASSERT_TRUE(SaveSettingsTo(path.c_str()));
        ScrambleSettings();
        LoadSettingsFrom(path.c_str());
        SettingsValues read = CaptureSettings();
        // 3e-14 has no digit within 13 decimals: it comes back as zero.
        if (written.reals[9] == 3e-14f) written.reals[9] = 0.0f;
        EXPECT_TRUE(SameBits(read, written)) << ReadBytes(path);
        std::remove(path.c_str());
    }
}

TEST_F(SettingsFileTest, ReadsHandWrittenFiles)
{
    std::string path = SettingsTestPath("hand");
    WriteBytes(path,
               "\xEF\xBB\xBF; written by hand\n"
               "[Other]\nWidth=1\n"
               "[ hv ]\n"
               "iterations = 500\n"
               "WIDTH=640\n"
               "Height=480\n"
               "Width=9\n"
               "samplepoints=0x20\n"
               "Brightness=200abc\n"
               "Clear=7\n"
               "Julia=0\n"
               ";BorderOnly=1\n"
               "CheckBailout=\n"
               "Preview=-1\n"
               "X=1e-3\n"
               "Y=  -.25\n"
               "CenterX=0,5\n"
               "CenterY=abc\n"
               "DriftX=\"2.5\"\n"
               "DriftY=1e99\n"
               "SampleRadius=1234567890123456789012345678901234\n"
               "BorderDistance=0.00000000000000000000000000000001234\n"
               "MaxBailout=-inf\n"
               "[HV]\nMinBailout=5\n");
    ScrambleSettings();
    LoadSettingsFrom(path.c_str());
    const Settings& s = app.settings;
    EXPECT_EQ(s.Iterations, 500);
    EXPECT_EQ(s.Width, 640);
    EXPECT_EQ(s.Height, 480);
    EXPECT_EQ(s.SamplePoints, 32);
    EXPECT_EQ(s.Brightness, 200);
    EXPECT_TRUE(s.Clear);
    EXPECT_FALSE(s.Julia);
    EXPECT_FALSE(s.BorderOnly);
    EXPECT_FALSE(s.CheckBailout);
    EXPECT_TRUE(s.Preview);
    EXPECT_EQ(s.X, 0.001f);
    EXPECT_EQ(s.Y, -0.25f);
    EXPECT_EQ(s.CenterX, 0.0f);
    EXPECT_EQ(s.CenterY, 0.0f);
    EXPECT_EQ(s.DriftX, 2.5f);
    EXPECT_EQ(s.DriftY, std::numeric_limits<float>::infinity());
    // Only the first 31 characters of a real count.
    EXPECT_EQ(s.SampleRadius, static_cast<float>(1234567890123456789012345678901.0));
    EXPECT_EQ(s.BorderDistance, 0.0f);
    EXPECT_EQ(s.MaxBailout, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(s.MinBailout, 0.00001f) << "only the first [HV] section counts";
    std::remove(path.c_str());
}

TEST_F(SettingsFileTest, ClearIsOffOnlyForZero)
{
    struct ClearCase {
        const char* name;
        const char* file;
        bool on;
    };
    const ClearCase cases[] = {
        {"clear-0", "[HV]\r\nClear=0\r\n", false},
        {"clear-7", "[HV]\r\nClear=7\r\n", true},
        {"clear-missing", "[HV]\r\nJulia=1\r\n", true},
    };
    for (const ClearCase& c : cases) {
        std::string path = SettingsTestPath(c.name);
        WriteBytes(path, c.file);
        LoadSettingsFrom(path.c_str());
        EXPECT_EQ(static_cast<bool>(app.settings.Clear), c.on) << c.name;
        ASSERT_TRUE(SaveSettingsTo(path.c_str()));
        std::string expected = c.on ? "\r\nClear=1\r\n" : "\r\nClear=0\r\n";
        EXPECT_NE(ReadBytes(path).find(expected), std::string::npos) << c.name;
        std::remove(path.c_str());
    }
}

TEST_F(SettingsFileTest, RealsAreWrittenWithThirteenDecimals)
{
    struct RealCase {
        float value;
        const char* line;
        float readBack;
    };
    const RealCase cases[] = {
        {0.001f, "MinBailout=0.0010000000475", 0.001f},
        {0.005f, "MinBailout=0.0049999998882", 0.005f},
        {0.00001f, "MinBailout=0.0000099999997", 0.00001f},
        {1e-14f, "MinBailout=0.0000000000000", 0.0f},
        {-1e-14f, "MinBailout=-0.0000000000000", -0.0f},
        // Longer than 31 characters: integer digits are cut on reading.
        {1e32f, "MinBailout=100000003318135351409612647563264.0000000000000",
         static_cast<float>(1000000033181353514096126475632.0)},
        {-1e30f, "MinBailout=-1000000015047466219876688855040.0000000000000",
         static_cast<float>(-100000001504746621987668885504.0)},
        {std::numeric_limits<float>::quiet_NaN(), "MinBailout=nan", std::numeric_limits<float>::quiet_NaN()},
    };
    int index = 0;
    for (const RealCase& c : cases) {
        std::string path = SettingsTestPath("real-" + std::to_string(index++));
        std::remove(path.c_str());
        app.settings.MinBailout = c.value;
        ASSERT_TRUE(SaveSettingsTo(path.c_str()));
        std::string bytes = ReadBytes(path);
        EXPECT_NE(bytes.find(std::string("\r\n") + c.line + "\r\n"), std::string::npos) << bytes;
        LoadSettingsFrom(path.c_str());
        float read = app.settings.MinBailout;
        EXPECT_EQ(std::memcmp(&read, &c.readBack, sizeof read), 0) << c.line << " read as " << read;
        std::remove(path.c_str());
    }
}

TEST_F(SettingsFileTest, ASaveChangesOnlyTheTwentyKeysLines)
{
    std::string path = SettingsTestPath("keep");
    std::string before =
        "; my settings\r\n"
        "[Window]\r\nWidth=5\r\n"
        "[HV]\r\n"
        "MinBailout=1\r\n"
        "Note=keep me\r\n"
        "width=100\r\n"
        "Height=100\r\n"
        "Iterations=1\r\nSamplePoints=1\r\nBrightness=1\r\n"
        "Clear=1\r\nJulia=1\r\nBorderOnly=1\r\nCheckBailout=1\r\n"
        "X=1\r\nY=1\r\nCenterX=1\r\nCenterY=1\r\nDriftX=1\r\nDriftY=1\r\nSampleRadius=1\r\n"
        "[Tail]\r\nX=3\r\n";
    WriteBytes(path, before);
    std::remove(SettingsTestPath("keep-defaults").c_str());
    LoadSettingsFrom(SettingsTestPath("keep-defaults").c_str());
    ASSERT_TRUE(SaveSettingsTo(path.c_str()));
    std::string after =
        "; my settings\r\n"
        "[Window]\r\nWidth=5\r\n"
        "[HV]\r\n"
        "MinBailout=0.0000099999997\r\n"
        "Note=keep me\r\n"
        "width=2048\r\n"
        "Height=2048\r\n"
        "Iterations=10000\r\nSamplePoints=320\r\nBrightness=12\r\n"
        "Clear=1\r\nJulia=0\r\nBorderOnly=0\r\nCheckBailout=0\r\n"
        "X=0.0000000000000\r\nY=0.0000000000000\r\nCenterX=-0.5000000000000\r\nCenterY=0.0000000000000\r\n"
        "DriftX=0.0000000000000\r\nDriftY=0.0000000000000\r\nSampleRadius=0.0049999998882\r\n"
        "Preview=0\r\nBorderDistance=0.0000099999997\r\nMaxBailout=4.0000000000000\r\n"
        "[Tail]\r\nX=3\r\n";
    EXPECT_EQ(ReadBytes(path), after);
    std::remove(path.c_str());
}

TEST_F(SettingsFileTest, ASettingCanBeSetFromText)
{
    struct TextCase {
        const char* key;
        const char* value;
    };
    const TextCase cases[] = {
        {"iterations", "500"}, {"WIDTH", "0x10"},  {"Height", " \"12abc\" "}, {"Brightness", ""},
        {"clear", "0"},        {"Julia", "7"},     {"X", "1e-3"},             {"CenterY", "0,5"},
        {"DriftX", "-inf"},    {"SampleRadius", "1234567890123456789012345678901234"},
    };
    LoadSettingsFrom(SettingsTestPath("text-missing").c_str());
    for (const TextCase& c : cases) EXPECT_TRUE(SetSettingFromText(c.key, c.value)) << c.key;
    const Settings& s = app.settings;
    EXPECT_EQ(s.Iterations, 500);
    EXPECT_EQ(s.Width, 16);
    EXPECT_EQ(s.Height, 12);
    EXPECT_EQ(s.Brightness, 12) << "an empty value gives the default";
    EXPECT_FALSE(s.Clear);
    EXPECT_TRUE(s.Julia);
    EXPECT_EQ(s.X, 0.001f);
    EXPECT_EQ(s.CenterY, 0.0f);
    EXPECT_EQ(s.DriftX, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(s.SampleRadius, static_cast<float>(1234567890123456789012345678901.0));
    EXPECT_FALSE(SetSettingFromText("Nope", "1"));
    EXPECT_FALSE(SetSettingFromText("", "1"));
}

// The window program reads Halovane.ini beside itself: a folder, a device or
// a pipe of that name reads like a missing file, at once.
TEST_F(SettingsFileTest, AnIniThatIsNotAFileGivesTheDefaults)
{
    char path[260];
    ASSERT_TRUE(SettingsPath(path));
    ASSERT_FALSE(std::filesystem::exists(path)) << "a test would overwrite " << path;
    std::vector<std::string> kinds = {"folder"};
#ifndef _WIN32
    kinds.insert(kinds.end(), {"endless device", "pipe without a writer"});
#endif
    for (const std::string& kind : kinds) {
        SCOPED_TRACE(kind);
        if (kind == "folder") std::filesystem::create_directory(path);
#ifndef _WIN32
        if (kind == "endless device") std::filesystem::create_symlink("/dev/zero", path);
        if (kind == "pipe without a writer") {
            ASSERT_EQ(mkfifo(path, 0600), 0);
        }
#endif
        ScrambleSettings();
        LoadSettings();
        EXPECT_TRUE(SameBits(CaptureSettings(), kDefaultSettings));
        std::filesystem::remove(path);
    }
}

TEST(SettingsPath, IsTheIniFileBesideTheExecutable)
{
    char executable[260];
    ExecutablePath(executable, sizeof executable);
    std::string directory(executable);
    directory = directory.substr(0, directory.rfind(PathSeparator()));
    char path[260];
    EXPECT_TRUE(SettingsPath(path));
    EXPECT_EQ(std::string(path), directory + PathSeparator() + "Halovane.ini");
}

TEST(SettingsPath, APathThatWouldBeCutIsRefusedNotShortened)
{
    const std::string sep(1, PathSeparator());
    // 246 characters of directory and "<sep>Halovane.ini" make 259, the most that fits.
    const std::string longest = sep + std::string(245, 'd');
    struct Case {
        std::string executable;
        bool fits;
        std::string path;
    } const cases[] = {
        {sep + "games" + sep + "Halovane.exe", true, sep + "games" + sep + "Halovane.ini"},
        {"", true, sep + "Halovane.ini"},
        {"Halovane.exe", true, "Halovane.exe" + sep + "Halovane.ini"},
        {longest + sep + "Halovane.exe", true, longest + sep + "Halovane.ini"},
        {longest + "d" + sep + "H.exe", false, ""},
    };
    for (const Case& c : cases) {
        char path[260] = "untouched";
        EXPECT_EQ(SettingsPathBeside(c.executable.c_str(), path), c.fits) << c.executable;
        EXPECT_EQ(std::string(path), c.path) << c.executable;
    }
}
