// The Properties dialog's fill and OK logic over a fake dialog.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Fixture.h"
#include "app/AppState.h"
#include "render/Image.h"
#include "render/Samples.h"
#include "resources/resource.h"
#include "settings/Properties.h"
#include "settings/SettingsFile.h"

namespace {

// The dialog's fields as the platform would hold them, and what was asked of it.
struct FakeDialog {
    std::map<int, std::string> texts;
    std::map<int, bool> checks;
    std::vector<std::string> calls;  // "kind id" in call order
    intptr_t endResult = 0;          // 0 while the dialog is open
    int reads = 0;
};

FakeDialog& Fake(void* dialog) { return *static_cast<FakeDialog*>(dialog); }

void Call(void* dialog, const char* kind, int id) { Fake(dialog).calls.push_back(std::string(kind) + " " + std::to_string(id)); }

void SetInt(void* dialog, int id, uint32_t value)
{
    Call(dialog, "int", id);
    Fake(dialog).texts[id] = std::to_string(value);
}

// As GetDlgItemInt with bSigned FALSE: leading blanks skipped, decimal digits
// read up to the first other character; 0 without digits and 0 for a number
// beyond 32 unsigned bits. (Wine's also takes a sign and skips tabs; the
// cases below use neither.)
uint32_t GetInt(void* dialog, int id)
{
    ++Fake(dialog).reads;
    const std::string& text = Fake(dialog).texts[id];
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > UINT32_MAX) return 0;
    }
    return static_cast<uint32_t>(value);
}

void SetText(void* dialog, int id, const char* text)
{
    Call(dialog, "text", id);
    Fake(dialog).texts[id] = text;
}

void GetText(void* dialog, int id, char* buffer, int capacity)
{
    ++Fake(dialog).reads;
    const std::string& text = Fake(dialog).texts[id];
    const size_t n = std::min(text.size(), static_cast<size_t>(capacity - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

void SetCheck(void* dialog, int id, bool on)
{
    Call(dialog, "check", id);
    Fake(dialog).checks[id] = on;
}

bool GetCheck(void* dialog, int id)
{
    ++Fake(dialog).reads;
    return Fake(dialog).checks[id];
}

void End(void* dialog, intptr_t result) { Fake(dialog).endResult = result; }

// One file per test, so tests running side by side never share it.
std::string SettingsFile()
{
    const char* test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    return TestFilePath("properties", test);
}

int saves = 0;
void Save()
{
    ++saves;
    SaveSettingsTo(SettingsFile().c_str());
}

const DialogOps kFakeOps = {SetInt, GetInt, SetText, GetText, SetCheck, GetCheck, End};
// The program's own allocations; only the save goes to a file of the test's.
const PropertiesActions kActions = {AllocSamples, AllocOutputImage, Save};

class PropertiesTest : public UiTest {
protected:
    FakeDialog dialog;

    void SetUp() override
    {
        UiTest::SetUp();
        saves = 0;
        std::remove(SettingsFile().c_str());
    }
    void TearDown() override
    {
        std::remove(SettingsFile().c_str());
        UiTest::TearDown();
    }

    void Fill() { FillProperties(kFakeOps, &dialog); }
    bool Ok() { return ApplyProperties(kFakeOps, kActions, &dialog); }

    // A colour entry that only a reallocation of the arrays puts back.
    static void MarkSamples() { app.samples.colour[0] = Colour3{1, 2, 3}; }
    static bool SamplesReplaced()
    {
        const Colour3 c = app.samples.colour[0];
        return !(c.blue == 1 && c.green == 2 && c.red == 3);
    }
    // A pixel that only a reallocation of the output image zeroes.
    static void MarkOutput() { app.outputImage.pixels[0] = 77; }
    static bool OutputReplaced() { return app.outputImage.pixels && app.outputImage.pixels[0] != 77; }
};

TEST_F(PropertiesTest, FillShowsEverySettingInOrder)
{
    Settings& s = app.settings;
    s.Iterations = -1;
    s.Height = 1000;
    s.Julia = true;
    s.CheckBailout = true;
    s.X = -0.75f;
    s.Y = 0.1f;
    Fill();


    const std::map<int, std::string> texts = {
        {IDC_ITERATIONS, "4294967295"}, {IDC_SAMPLEPOINTS, "320"},      {IDC_BRIGHTNESS, "12"},
        {IDC_OUTPUTWIDTH, "2048"},      {IDC_OUTPUTHEIGHT, "1000"},     {IDC_CENTERX, "-0.500"},
        {IDC_CENTERY, "0.000"},         {IDC_SAMPLERADIUS, "0.005000"}, {IDC_BORDERDISTANCE, "0.0000099999997"},
        {IDC_DRIFTX, "0.000000"},       {IDC_DRIFTY, "0.000000"},       {IDC_X, "-0.75000000"},
        {IDC_Y, "0.10000000"},          {IDC_MAXBAILOUT, "4.000"},      {IDC_MINBAILOUT, "0.0000099999997"},
    };
    EXPECT_EQ(dialog.texts, texts);
    const std::map<int, bool> checks = {{IDC_CLEAR, true},         {IDC_JULIA, true},   {IDC_BORDERONLY, false},
                                        {IDC_CHECKBAILOUT, true}, {IDC_PREVIEW, false}};
    EXPECT_EQ(dialog.checks, checks);

    // Each field is set once, through the call of its kind: counts as
    // numbers, flags as check boxes, reals as text.
    std::multiset<std::string> calls(dialog.calls.begin(), dialog.calls.end());
    std::multiset<std::string> expected;
    const std::set<int> counts = {IDC_ITERATIONS, IDC_SAMPLEPOINTS, IDC_BRIGHTNESS, IDC_OUTPUTWIDTH, IDC_OUTPUTHEIGHT};
    for (const auto& field : texts)
        expected.insert((counts.count(field.first) ? "int " : "text ") + std::to_string(field.first));
    for (const auto& field : checks) expected.insert("check " + std::to_string(field.first));
    EXPECT_EQ(calls, expected);
}

TEST_F(PropertiesTest, OkWithoutEditsStoresDisplayedValuesAndSavesAll)
{
    Settings& s = app.settings;
    s.Iterations = -1;
    s.CenterX = -0.12345f;
    s.MaxBailout = 0.0004f;
    s.DriftX = 0.0000004f;
    s.SampleRadius = 0.0012345678f;
    s.X = 0.123456789f;
    s.BorderDistance = 0.0000123456789f;
    MarkSamples();
    MarkOutput();
    Fill();
    EXPECT_TRUE(Ok());

    EXPECT_EQ(dialog.endResult, 1);
    EXPECT_EQ(saves, 1);
    EXPECT_FALSE(SamplesReplaced());
    EXPECT_FALSE(OutputReplaced());
    EXPECT_TRUE(MemoryErrors().empty());
    EXPECT_EQ(s.Iterations, -1);
    EXPECT_EQ(s.CenterX, -0.123f);
    EXPECT_EQ(s.MaxBailout, 0.0f);
    EXPECT_EQ(s.DriftX, 0.0f);
    EXPECT_EQ(s.SampleRadius, 0.001235f);
    EXPECT_EQ(s.X, 0.12345679f);
    // Thirteen decimals hold a float of this size exactly.
    EXPECT_EQ(s.BorderDistance, 0.0000123456789f);

    // Every key, with the values now held.
    std::vector<std::string> expected;
    SettingsFileLines(expected);
    ASSERT_EQ(expected.size(), 21u);
    std::ifstream file(SettingsFile());
    std::set<std::string> written;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        written.insert(line);
    }
    for (const std::string& line : expected) EXPECT_EQ(written.count(line), 1u) << line;
}

TEST_F(PropertiesTest, BrightnessChangeAloneReplacesSampleArrays)
{
    MarkSamples();
    Fill();
    dialog.texts[IDC_BRIGHTNESS] = "40";
    EXPECT_TRUE(Ok());
    EXPECT_EQ(app.settings.Brightness, 40);
    EXPECT_EQ(app.settings.SamplePoints, 320);
    EXPECT_TRUE(SamplesReplaced());
    EXPECT_EQ(app.samples.count, 320);
    EXPECT_EQ(dialog.endResult, 1);
}

TEST_F(PropertiesTest, OutputSizeRefusedDuringRunThenAccepted)
{
    uint8_t* const block = app.outputImage.pixels;
    Fill();
    dialog.texts[IDC_OUTPUTWIDTH] = "64";
    dialog.texts[IDC_X] = "0.25";
    app.running = true;
    EXPECT_FALSE(Ok());
    EXPECT_EQ(dialog.endResult, 0);
    EXPECT_EQ(saves, 0);
    EXPECT_TRUE(MemoryErrors().empty());
    EXPECT_EQ(app.settings.Width, 2048);
    EXPECT_EQ(app.settings.Height, 2048);
    EXPECT_EQ(app.outputImage.pixels, block);
    EXPECT_EQ(app.outputImage.width, 2048);
    // The other values are stored all the same.
    EXPECT_EQ(app.settings.X, 0.25f);

    app.running = false;  // after Stop
    EXPECT_TRUE(Ok());
    EXPECT_EQ(dialog.endResult, 1);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(app.settings.Width, 64);
    EXPECT_EQ(app.settings.Height, 64);
    EXPECT_EQ(app.outputImage.width, 64);
    EXPECT_EQ(app.outputImage.height, 64);
}

TEST_F(PropertiesTest, NonSquareSizeSurvivesUnchangedOutputField)
{
    ReleaseImages();
    app.settings.Width = 64;
    app.settings.Height = 32;
    ASSERT_TRUE(AllocOutputImage());
    MarkOutput();
    Fill();
    EXPECT_EQ(dialog.texts[IDC_OUTPUTHEIGHT], "32");
    EXPECT_TRUE(Ok());
    EXPECT_EQ(app.settings.Width, 64);
    EXPECT_EQ(app.settings.Height, 32);
    EXPECT_FALSE(OutputReplaced());
}

struct IntegerCase {
    const char* text;
    int32_t stored;
};

TEST_F(PropertiesTest, IntegerFieldsStoreTheSame32Bits)
{
    const IntegerCase cases[] = {
        {"", 0}, {"abc", 0}, {"  42", 42}, {"4294967295", -1}, {"3000000000", -1294967296}, {"4294967296", 0},
    };
    for (const IntegerCase& c : cases) {
        Fill();
        dialog.texts[IDC_ITERATIONS] = c.text;
        EXPECT_TRUE(Ok());
        EXPECT_EQ(app.settings.Iterations, c.stored) << "'" << c.text << "'";
    }
}

TEST_F(PropertiesTest, RealFieldWithoutNumberStoresZero)
{
    Fill();
    dialog.texts[IDC_SAMPLERADIUS] = "abc";
    dialog.texts[IDC_MINBAILOUT] = "";
    EXPECT_TRUE(Ok());
    EXPECT_EQ(app.settings.SampleRadius, 0.0f);
    EXPECT_EQ(app.settings.MinBailout, 0.0f);
}

TEST_F(PropertiesTest, UnallocatableSampleCountKeepsDialogOpenAndRetries)
{
    Fill();
    dialog.texts[IDC_SAMPLEPOINTS] = "4294967295";  // -1 as a signed count
    dialog.texts[IDC_OUTPUTWIDTH] = "64";
    dialog.checks[IDC_JULIA] = true;
    dialog.texts[IDC_DRIFTY] = "0.5";
    EXPECT_FALSE(Ok());
    ASSERT_EQ(MemoryErrors().size(), 1u);
    EXPECT_EQ(MemoryErrors()[0], "Out of memory. Choose a smaller sample size.");
    EXPECT_EQ(dialog.endResult, 0);
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(app.settings.SamplePoints, -1);
    EXPECT_EQ(app.samples.z, nullptr);
    // The size change waits for a successful allocation; flags and reals do not.
    EXPECT_EQ(app.settings.Width, 2048);
    EXPECT_TRUE(app.settings.Julia);
    EXPECT_EQ(app.settings.DriftY, 0.5f);

    // The same OK again tries again rather than saving a count it has no arrays for.
    EXPECT_FALSE(Ok());
    EXPECT_EQ(MemoryErrors().size(), 2u);
    EXPECT_EQ(dialog.endResult, 0);
    EXPECT_EQ(saves, 0);

    dialog.texts[IDC_SAMPLEPOINTS] = "100";
    EXPECT_TRUE(Ok());
    EXPECT_EQ(app.samples.count, 100);
    EXPECT_NE(app.samples.z, nullptr);
    EXPECT_EQ(app.settings.Width, 64);
    EXPECT_EQ(dialog.endResult, 1);
    EXPECT_EQ(saves, 1);
}

TEST_F(PropertiesTest, UnallocatableOutputSizeKeepsDialogOpenAndRetries)
{
    Fill();
    dialog.texts[IDC_OUTPUTWIDTH] = "1000000";
    EXPECT_FALSE(Ok());
    ASSERT_EQ(MemoryErrors().size(), 1u);
    EXPECT_EQ(MemoryErrors()[0], "Out of memory. Choose a smaller output size.");
    EXPECT_EQ(app.settings.Width, 1000000);
    EXPECT_EQ(app.settings.Height, 1000000);
    EXPECT_EQ(app.outputImage.pixels, nullptr);
    EXPECT_EQ(dialog.endResult, 0);

    // Unchanged field: allocated again, not saved.
    EXPECT_FALSE(Ok());
    EXPECT_EQ(MemoryErrors().size(), 2u);
    EXPECT_EQ(saves, 0);

    // Absent and a run in progress: refused silently.
    app.running = true;
    dialog.texts[IDC_OUTPUTWIDTH] = "64";
    EXPECT_FALSE(Ok());
    EXPECT_EQ(MemoryErrors().size(), 2u);
    EXPECT_EQ(app.outputImage.pixels, nullptr);

    app.running = false;
    EXPECT_TRUE(Ok());
    EXPECT_EQ(app.outputImage.width, 64);
    EXPECT_EQ(app.settings.Height, 64);
    EXPECT_EQ(dialog.endResult, 1);
    EXPECT_EQ(saves, 1);
}

TEST_F(PropertiesTest, CancelReadsNothingAndChangesNothing)
{
    Fill();
    dialog.texts[IDC_ITERATIONS] = "5";
    dialog.texts[IDC_X] = "1.5";
    CancelProperties(kFakeOps, &dialog);
    EXPECT_EQ(dialog.endResult, 2);
    EXPECT_EQ(dialog.reads, 0);
    EXPECT_EQ(app.settings.Iterations, 10000);
    EXPECT_EQ(app.settings.X, 0.0f);
    EXPECT_EQ(saves, 0);
}

}  // namespace
