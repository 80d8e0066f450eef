// Menu commands: what each does to the run flags, the start point and the
// images, and the message of a failed save.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Fixture.h"
#include "app/AppState.h"
#include "output/Bitmap.h"
#include "render/Image.h"
#include "ui/Input.h"

namespace {

struct CommandCase {
    const char* name;
    void (*command)();
    bool clearSetting;
    // Expected afterwards, starting from region mode, continuous, running,
    // no pending restart, start point (0.25, -0.5), drift (0.125, 0.0625).
    bool regionMode;
    bool continuous;
    bool running;
    bool restartRequested;
    bool imagesCleared;
    bool repaintsClient;
    const char* title;  // nullptr: no title set
    float x;
    float y;
};
// Cases print as their names in test output.
void PrintTo(const CommandCase& c, std::ostream* out) { *out << c.name; }

const CommandCase kCommands[] = {
    {"Clear", OnClear, false, false, false, true, false, true, true, nullptr, 0.25f, -0.5f},
    {"Go", OnGo, true, true, false, true, true, true, false, nullptr, 0.375f, -0.4375f},
    {"GoWithoutClear", OnGo, false, true, false, true, true, false, false, nullptr, 0.375f, -0.4375f},
    {"Continuous", OnContinuous, true, true, true, true, true, false, false, nullptr, 0.25f, -0.5f},
    {"Stop", OnStop, true, true, false, false, false, false, false, "stopped", 0.25f, -0.5f},
};

class CommandsTest : public UiTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(CommandsTest, FlagsStartPointAndImages)
{
    const CommandCase& c = GetParam();
    app.settings.Clear = c.clearSetting;
    app.settings.X = 0.25f;
    app.settings.Y = -0.5f;
    app.settings.DriftX = 0.125f;
    app.settings.DriftY = 0.0625f;
    app.regionMode = true;
    app.continuous = true;
    app.running = true;
    app.restartRequested = false;
    // A lit pixel in each image shows whether they were cleared; (2, 2) of
    // the view lies far from the outline.
    ViewPixel(2, 2)[0] = 200;
    OutputPixel(100, 100)[1] = 200;

    c.command();

    EXPECT_EQ(app.regionMode, c.regionMode);
    EXPECT_EQ(app.continuous, c.continuous);
    EXPECT_EQ(app.running, c.running);
    EXPECT_EQ(app.restartRequested, c.restartRequested);
    EXPECT_EQ(ViewPixel(2, 2)[0] == 0, c.imagesCleared);
    EXPECT_EQ(OutputPixel(100, 100)[1] == 0, c.imagesCleared);
    if (c.repaintsClient) {
        ASSERT_EQ(Repaints().size(), 1u);
        EXPECT_EQ(Repaints()[0].left, 0);
        EXPECT_EQ(Repaints()[0].top, 0);
        EXPECT_EQ(Repaints()[0].right, 1024);
        EXPECT_EQ(Repaints()[0].bottom, 512);
    } else {
        EXPECT_TRUE(Repaints().empty());
    }
    if (c.title) {
        ASSERT_EQ(Titles().size(), 1u);
        EXPECT_EQ(Titles()[0], c.title);
    } else {
        EXPECT_TRUE(Titles().empty());
    }
    EXPECT_EQ(app.settings.X, c.x);
    EXPECT_EQ(app.settings.Y, c.y);
}

INSTANTIATE_TEST_SUITE_P(Commands, CommandsTest, ::testing::ValuesIn(kCommands),
                         [](const ::testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

// Save writes "output.bmp" in the current directory; each test works in a
// directory of its own so tests running side by side never share the file.
class SaveTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        previous = std::filesystem::current_path();
        std::filesystem::path own =
            previous / (std::string("save-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(own);
        std::filesystem::current_path(own);
    }
    void TearDown() override
    {
        std::filesystem::current_path(previous);
        UiTest::TearDown();
    }
    std::filesystem::path previous;
};

TEST_F(SaveTest, WritesOutputFile)
{
    std::string message;
    EXPECT_TRUE(OnSave(message));
    EXPECT_TRUE(message.empty());
    FILE* file = std::fopen("output.bmp", "rb");
    ASSERT_NE(file, nullptr);
    std::fseek(file, 0, SEEK_END);
    EXPECT_EQ(std::ftell(file), 54L + 2048L * 2048L * 3L);
    std::fclose(file);
    std::remove("output.bmp");
}

// With Preview set, the shell is asked to show output.bmp once the file is
// in place; without it, never.
TEST_F(SaveTest, PreviewShowsTheSavedFileWhenSet)
{
    for (const bool preview : {false, true}) {
        SCOPED_TRACE(preview);
        app.settings.Preview = preview;
        Recorded().Clear();
        std::string message;
        ASSERT_TRUE(OnSave(message)) << message;
        if (preview) {
            ASSERT_EQ(Previews(), std::vector<std::string>{"output.bmp"});
            EXPECT_TRUE(std::filesystem::is_regular_file("output.bmp"));
        } else {
            EXPECT_TRUE(Previews().empty());
        }
    }
    std::remove("output.bmp");
}

TEST_F(SaveTest, FailureNamesFileAndReasonAndKeepsOldFile)
{
    FILE* old = std::fopen("output.bmp", "wb");
    ASSERT_NE(old, nullptr);
    std::fputs("old", old);
    std::fclose(old);
    ReleaseImages();  // no output image to save

    std::string reason;
    ASSERT_FALSE(WriteOutputBitmap("output.bmp", reason));
    std::string message;
    EXPECT_FALSE(OnSave(message));
    EXPECT_NE(message.find("output.bmp"), std::string::npos) << message;
    EXPECT_NE(message.find(reason), std::string::npos) << message;
    EXPECT_NE(message.find("left unchanged"), std::string::npos) << message;

    char kept[8] = {};
    FILE* file = std::fopen("output.bmp", "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::fread(kept, 1, sizeof kept, file), 3u);
    std::fclose(file);
    EXPECT_STREQ(kept, "old");
    std::remove("output.bmp");
}

// Save leaves the user's files of neighbouring names alone, and an output
// another program holds open stays whole with the reason shown.
TEST_F(SaveTest, NeighbouringFilesAndALockedOutputAreKept)
{
    { std::ofstream("output.bmp.tmp", std::ios::binary) << "mine"; }
    std::filesystem::create_directory("output.bmp.tmp.d");
    std::string message;
    EXPECT_TRUE(OnSave(message)) << message;
    EXPECT_EQ(std::filesystem::file_size("output.bmp"), 54u + 2048u * 2048u * 3u);
    std::ifstream mine("output.bmp.tmp", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(mine), std::istreambuf_iterator<char>()), "mine");
    mine.close();
    std::filesystem::remove("output.bmp.tmp");
    // A folder of the very name the old writer used.
    std::filesystem::create_directory("output.bmp.tmp");
    EXPECT_TRUE(OnSave(message)) << message;
    EXPECT_TRUE(std::filesystem::is_directory("output.bmp.tmp"));
#ifdef _WIN32
    { std::ofstream("output.bmp", std::ios::binary | std::ios::trunc) << "old"; }
    HANDLE lock = CreateFileA("output.bmp", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(OnSave(message));
    CloseHandle(lock);
    EXPECT_NE(message.find("left unchanged"), std::string::npos) << message;
    EXPECT_EQ(std::filesystem::file_size("output.bmp"), 3u);
#endif
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("."))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    const std::vector<std::string> expected = {"output.bmp", "output.bmp.tmp", "output.bmp.tmp.d"};
    EXPECT_EQ(names, expected) << "no temporary file is left behind";
    std::filesystem::remove_all("output.bmp.tmp");
    std::filesystem::remove_all("output.bmp.tmp.d");
    std::remove("output.bmp");
}

}  // namespace
