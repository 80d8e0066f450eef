// The sample set: allocation, the colour ramp, the generator and seeding.
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "Fixture.h"
#include "render/Distance.h"

namespace {

// Seeding goes on only while a run is in progress, as the worker starts it.
class SamplesTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        app.running = true;
    }
};

bool SamePoint(PlanePoint a, PlanePoint b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST_F(SamplesTest, TheColourRampFollowsIndexAndBrightness)
{
    const struct {
        int32_t brightness, index;
        Colour3 colour;  // blue, green, red
    } cases[] = {
        {12, 0, {12, 18, 9}},
        {12, 16, {12, 8, 17}},
        {12, 47, {12, 8, 0}},
        {127, 0, {127, 190, 95}},
        {127, 31, {127, 0, 98}},
        {0, 5, {0, 0, 0}},
        // Outside the advertised range each channel keeps its low 8 bits.
        {-4, 0, {252, 250, 253}},
        {300, 0, {44, 194, 225}},
    };
    for (const auto& c : cases) {
        app.settings.Brightness = c.brightness;
        ASSERT_TRUE(AllocSamples());
        const Colour3 got = app.samples.colour[c.index];
        EXPECT_EQ(got.blue, c.colour.blue) << c.brightness << " #" << c.index;
        EXPECT_EQ(got.green, c.colour.green) << c.brightness << " #" << c.index;
        EXPECT_EQ(got.red, c.colour.red) << c.brightness << " #" << c.index;
    }
}

TEST_F(SamplesTest, ACountThatCannotBeHadLeavesNoArraysWithTheMessage)
{
    const int32_t counts[] = {-1, 268435456, INT32_MAX, INT32_MIN};
    for (const int32_t count : counts) {
        Recorded().memoryErrors.clear();
        app.settings.SamplePoints = count;
        EXPECT_FALSE(AllocSamples()) << count;
        ASSERT_EQ(MemoryErrors().size(), 1u);
        EXPECT_EQ(MemoryErrors()[0], "Out of memory. Choose a smaller sample size.");
        EXPECT_EQ(app.samples.count, 0);
        EXPECT_EQ(app.samples.z, nullptr);
        EXPECT_EQ(app.samples.c, nullptr);
        EXPECT_EQ(app.samples.colour, nullptr);
        // Seeding an empty set touches no array.
        EXPECT_TRUE(SeedSamples());
    }
    app.settings.SamplePoints = 320;
    EXPECT_TRUE(AllocSamples());
    EXPECT_EQ(app.samples.count, 320);
}

TEST_F(SamplesTest, TheGeneratorStartsAtStateOneOnEveryThread)
{
    const int32_t expected[] = {41, 18467, 6334, 26500, 19169};
    for (const int32_t value : expected) EXPECT_EQ(NextRandom(), value);
    ResetRandom();
    EXPECT_EQ(NextRandom(), 41);
    int32_t other = -1;
    std::thread worker([&other] { other = NextRandom(); });
    worker.join();
    EXPECT_EQ(other, 41);
    EXPECT_EQ(NextRandom(), 18467);
}

TEST_F(SamplesTest, SeedingAPositionTakesTwoDrawsAndStaysInTheDisc)
{
    app.settings.X = -0.75f;
    app.settings.Y = 0.125f;
    SeedPosition(app.samples, 0);
    EXPECT_EQ(NextRandom(), 6334) << "one angle and one radius draw";
    ResetRandom();
    for (int32_t i = 0; i < app.samples.count; ++i) {
        SeedPosition(app.samples, i);
        const double dx = app.samples.z[i].re - -0.75;
        const double dy = app.samples.z[i].im - 0.125;
        EXPECT_LE(std::sqrt(dx * dx + dy * dy), 0.005 * (1 + 1e-4)) << i;
    }
}

TEST_F(SamplesTest, SeedingGivesEverySampleItsOwnConstantAndNoTitle)
{
    app.settings.X = 0.25f;
    app.settings.Y = 0.5f;
    EXPECT_TRUE(SeedSamples());
    EXPECT_TRUE(app.running);
    // The worker owns the titles of a run; seeding only seeds.
    EXPECT_TRUE(Titles().empty());
    int32_t distinct = 0;
    for (int32_t i = 0; i < app.samples.count; ++i) {
        EXPECT_TRUE(SamePoint(app.samples.c[i], app.samples.z[i])) << i;
        distinct += !SamePoint(app.samples.z[i], app.samples.z[0]);
    }
    EXPECT_GT(distinct, 300);
}

TEST_F(SamplesTest, JuliaModeSharesTheFirstSamplesPosition)
{
    app.settings.Julia = true;
    app.settings.X = -0.5f;
    SeedSamples();
    const PlanePoint first = app.samples.z[0];
    int32_t distinct = 0;
    for (int32_t i = 0; i < app.samples.count; ++i) {
        EXPECT_TRUE(SamePoint(app.samples.c[i], first)) << i;
        distinct += !SamePoint(app.samples.z[i], first);
    }
    EXPECT_GT(distinct, 300);
}

TEST_F(SamplesTest, ARadiusOfZeroStartsEverySampleAtTheStartPoint)
{
    app.settings.SampleRadius = 0.0f;
    app.settings.X = 0.3f;
    app.settings.Y = -0.7f;
    SeedSamples();
    for (int32_t i = 0; i < app.samples.count; ++i) {
        EXPECT_TRUE(SamePoint(app.samples.z[i], {0.3f, -0.7f})) << i;
        EXPECT_TRUE(SamePoint(app.samples.c[i], {0.3f, -0.7f})) << i;
    }
}

TEST_F(SamplesTest, BorderOnlySnapsEverySeededPosition)
{
    app.settings.SampleRadius = 0.0f;
    app.settings.BorderOnly = true;
    app.settings.X = -0.1f;
    app.settings.SamplePoints = 4;
    ASSERT_TRUE(AllocSamples());
    PlanePoint snapped = {-0.1f, 0.0f};
    SnapToBorder(snapped);
    SeedSamples();
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(SamePoint(app.samples.z[i], snapped)) << i;
        EXPECT_TRUE(SamePoint(app.samples.c[i], snapped)) << i;
    }
}

TEST_F(SamplesTest, TheSameSettingsSeedTheSamePositions)
{
    app.settings.X = -1.25f;
    SeedSamples();
    std::vector<PlanePoint> first(app.samples.z, app.samples.z + app.samples.count);
    ResetRandom();
    SeedSamples();
    EXPECT_EQ(std::memcmp(first.data(), app.samples.z, first.size() * sizeof(PlanePoint)), 0);
    // The generator is never reseeded between runs.
    SeedSamples();
    EXPECT_NE(std::memcmp(first.data(), app.samples.z, first.size() * sizeof(PlanePoint)), 0);
}

TEST_F(SamplesTest, AStopDuringSeedingLeavesTheRestUnseeded)
{
    const PlanePoint untouched = {7.0f, 7.0f};
    for (int32_t i = 0; i < app.samples.count; ++i) app.samples.z[i] = untouched;
    // Stopped before it began: the stop is seen after the first sample.
    app.running = false;
    EXPECT_FALSE(SeedSamples());
    EXPECT_FALSE(SamePoint(app.samples.z[0], untouched));
    for (int32_t i = 1; i < app.samples.count; ++i)
        EXPECT_TRUE(SamePoint(app.samples.z[i], untouched)) << i;
}

TEST_F(SamplesTest, NoSamplesSeedNothingAndPlotAtOnce)
{
    // Nothing to seed: no draw is taken, with or without the snap, and the
    // seeding reports itself complete, so the run goes straight to plotting.
    app.settings.SamplePoints = 0;
    ASSERT_TRUE(AllocSamples());
    EXPECT_EQ(app.samples.count, 0);
    for (const bool borderOnly : {false, true}) {
        app.settings.BorderOnly = borderOnly;
        const uint32_t before = RandomState();
        EXPECT_TRUE(SeedSamples()) << borderOnly;
        EXPECT_EQ(RandomState(), before) << borderOnly;
        EXPECT_TRUE(app.running) << borderOnly;
    }
}
