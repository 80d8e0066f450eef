// The distance estimate and the vertical walk onto the set border.
#include <cmath>
#include <limits>

#include "Fixture.h"
#include "render/Distance.h"

namespace {

class DistanceTest : public RenderEngineTest {};

}  // namespace

TEST_F(DistanceTest, EstimatesOfKnownPoints)
{
    const double ln2 = std::log(2.0);
    const struct {
        int32_t iterations;
        PlanePoint p;
        double expected, tolerance;
    } cases[] = {
        {10000, {2.0f, 0.0f}, ln2, 0.0},          // |z|^2 = 4 fails at once
        {10000, {1.0f, 0.0f}, ln2 / 3.0, 0.0},    // one step: d = 3, z = 2
        {10000, {-0.1f, 0.0f}, -0.0894, 0.0001},  // inside the main cardioid
        {0, {0.5f, 0.0f}, -0.173287, 0.000001},   // no step: 0.5 |p| ln |p|
        {-7, {0.5f, 0.0f}, -0.173287, 0.000001},
        {10000, {std::numeric_limits<float>::infinity(), 0.0f},
         std::numeric_limits<double>::infinity(), 0.0},
    };
    for (const auto& c : cases) {
        app.settings.Iterations = c.iterations;
        const double e = DistanceEstimate(c.p);
        if (c.tolerance == 0.0)
            EXPECT_EQ(e, c.expected) << c.p.re << ", " << c.p.im;
        else
            EXPECT_NEAR(e, c.expected, c.tolerance) << c.p.re << ", " << c.p.im;
    }
    EXPECT_TRUE(std::isnan(DistanceEstimate({0.0f, 0.0f})));
}

TEST_F(DistanceTest, SnapsOfKnownPoints)
{
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        PlanePoint p;
        float im;            // where the walk ends
        float tolerance;     // on im; 0 for an exact end
        int32_t steps;       // -1: not checked
        int32_t infiniteAt;  // step that made im infinite, 0 if none
    } cases[] = {
        // Upward from inside onto the upper border of the main cardioid.
        {{-0.1f, 0.0f}, 0.649f, 0.001f, -1, 0},
        // Away from the set: the steps grow until im overflows.
        {{1.0f, 0.0f}, -inf, 0.0f, 256, 42},
        // Between the cardioid and the period-2 bulb: the steps shrink, never
        // reach BorderDistance, and then grow.
        {{-0.75f, 0.2f}, inf, 0.0f, 256, 160},
        // A NaN first estimate leaves the point alone.
        {{0.0f, 0.0f}, 0.0f, 0.0f, 0, 0},
    };
    for (const auto& c : cases) {
        PlanePoint p = c.p;
        SnapTrace trace;
        SnapToBorderTraced(p, trace);
        EXPECT_EQ(p.re, c.p.re);
        if (c.tolerance == 0.0f)
            EXPECT_EQ(p.im, c.im) << c.p.re << ", " << c.p.im;
        else
            EXPECT_NEAR(p.im, c.im, c.tolerance) << c.p.re << ", " << c.p.im;
        if (c.steps >= 0) {
            EXPECT_EQ(trace.steps, c.steps) << c.p.re << ", " << c.p.im;
        }
        EXPECT_EQ(trace.firstInfiniteStep, c.infiniteAt) << c.p.re << ", " << c.p.im;
        PlanePoint plain = c.p;
        SnapToBorder(plain);
        EXPECT_TRUE(plain.re == p.re && (plain.im == p.im || std::isnan(p.im)));
    }
}

TEST_F(DistanceTest, TheSnapFromInsideEndsWithASmallStepOnTheBorder)
{
    PlanePoint p = {-0.1f, 0.0f};
    SnapTrace trace;
    SnapToBorderTraced(p, trace);
    EXPECT_GT(trace.steps, 1);
    EXPECT_LT(trace.steps, 256);
    EXPECT_LE(trace.smallestStep, app.settings.BorderDistance);
    EXPECT_LE(std::fabs(DistanceEstimate(p)), 0.0001);
}

TEST_F(DistanceTest, TheWalkBetweenCardioidAndBulbShrinksToAboutHalfAThousandth)
{
    PlanePoint p = {-0.75f, 0.2f};
    SnapTrace trace;
    SnapToBorderTraced(p, trace);
    EXPECT_GT(trace.smallestStep, 0.0004);
    EXPECT_LT(trace.smallestStep, 0.0006);
}

TEST_F(DistanceTest, TheToleranceDecidesWhetherAndWhenTheWalkStops)
{
    // A first estimate at or below the tolerance: no step at all.
    app.settings.BorderDistance = 0.25f;  // a = 0.231049
    PlanePoint p = {1.0f, 0.0f};
    SnapTrace trace;
    SnapToBorderTraced(p, trace);
    EXPECT_EQ(trace.steps, 0);
    EXPECT_EQ(p.im, 0.0f);

    // A negative tolerance never stops a walk early.
    app.settings.BorderDistance = -1.0f;
    p = {-0.1f, 0.0f};
    SnapToBorderTraced(p, trace);
    EXPECT_EQ(trace.steps, 256);
    EXPECT_EQ(p.re, -0.1f);
    EXPECT_NEAR(p.im, 0.649f, 0.001f);
}
