// Mouse gestures: the drag's clamps and repaint areas, the region a drag
// selects, and the start point and marker of a right click.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "Fixture.h"
#include "app/AppState.h"
#include "render/Image.h"
#include "ui/Input.h"

namespace {

using MouseTest = UiTest;

struct RegionCase {
    const char* name;
    int32_t startX, startY, endX, endY;
    float width, reciprocal, centerRe, centerIm;
};
// Cases print as their names in test output.
void PrintTo(const RegionCase& c, std::ostream* out) { *out << c.name; }

// Start-up view: centre (-0.5, 0); start-up region: width 2 around (0, 0).
const RegionCase kRegions[] = {
    {"LeftSquare", 128, 128, 384, 384, 1.0f, 1.0f, -0.5f, 0.0f},
    {"LeftWide", 128, 128, 384, 256, 1.0f, 1.0f, -0.5f, -0.25f},
    {"RightPaneZoom", 640, 128, 896, 384, 1.0f, 1.0f, 0.0f, 0.0f},
    {"LeftQuarter", 0, 256, 128, 384, 0.5f, 2.0f, -1.25f, 0.25f},
};

class RegionTest : public UiTest, public ::testing::WithParamInterface<RegionCase> {};

TEST_P(RegionTest, DragSelectsRegion)
{
    const RegionCase& c = GetParam();
    app.regionWidth = 2.0f;
    app.regionCenterRe = 0.0f;
    app.regionCenterIm = 0.0f;
    app.continuous = true;
    OnLeftPress(c.startX, c.startY);
    OnMouseMove(c.endX, c.endY);
    // Nothing is requested before the release.
    EXPECT_FALSE(app.restartRequested);
    OnLeftRelease();
    EXPECT_FALSE(app.dragging);
    EXPECT_EQ(app.regionWidth, c.width);
    EXPECT_EQ(app.regionReciprocal, c.reciprocal);
    EXPECT_EQ(app.regionCenterRe, c.centerRe);
    EXPECT_EQ(app.regionCenterIm, c.centerIm);
    EXPECT_TRUE(app.regionMode);
    EXPECT_FALSE(app.continuous);
    EXPECT_TRUE(app.restartRequested);
    // One repaint for the one motion; the release repaints nothing.
    EXPECT_EQ(Repaints().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Drags, RegionTest, ::testing::ValuesIn(kRegions),
                         [](const ::testing::TestParamInfo<RegionCase>& info) { return std::string(info.param.name); });

struct ClampCase {
    const char* name;
    int32_t startX, startY, pointerX, pointerY, endX, endY;
};
// Cases print as their names in test output.
void PrintTo(const ClampCase& c, std::ostream* out) { *out << c.name; }

const ClampCase kClamps[] = {
    {"InsidePane", 100, 100, 300, 200, 300, 200},
    {"LeftOfAndAboveStart", 100, 100, 50, 60, 101, 101},
    {"OnStartColumnAndRow", 100, 100, 100, 100, 100, 100},
    {"LeftDragIntoRightPane", 100, 100, 700, 300, 511, 300},
    {"BelowPanes", 100, 100, 300, 600, 300, 511},
    {"RightDragNoRightLimit", 600, 100, 1100, 700, 1100, 511},
    {"LeftOfStartAtPaneEdge", 511, 511, 10, 10, 511, 511},
};

class DragClampTest : public UiTest, public ::testing::WithParamInterface<ClampCase> {};

TEST_P(DragClampTest, EndCornerAndRepaintArea)
{
    const ClampCase& c = GetParam();
    OnLeftPress(c.startX, c.startY);
    OnMouseMove(c.pointerX, c.pointerY);
    EXPECT_EQ(app.dragEndX, c.endX);
    EXPECT_EQ(app.dragEndY, c.endY);
    ASSERT_EQ(Repaints().size(), 1u);
    const ClientRect& area = Repaints()[0];
    EXPECT_EQ(area.left, c.startX);
    EXPECT_EQ(area.top, c.startY);
    EXPECT_EQ(area.right, c.endX + 16);
    EXPECT_EQ(area.bottom, c.endY + 16);
}

INSTANTIATE_TEST_SUITE_P(Motion, DragClampTest, ::testing::ValuesIn(kClamps),
                         [](const ::testing::TestParamInfo<ClampCase>& info) { return std::string(info.param.name); });

TEST_F(MouseTest, MotionAndReleaseWithoutDragChangeNothing)
{
    app.dragEndX = 7;
    app.dragEndY = 9;
    OnMouseMove(300, 300);
    OnLeftRelease();
    EXPECT_EQ(app.dragEndX, 7);
    EXPECT_EQ(app.dragEndY, 9);
    EXPECT_TRUE(Repaints().empty());
    EXPECT_FALSE(app.regionMode);
    EXPECT_FALSE(app.restartRequested);
    EXPECT_EQ(app.regionWidth, 2.0f);
}

TEST_F(MouseTest, ClickWithoutMotionSelectsNothing)
{
    // An earlier drag leaves its end corner behind.
    OnLeftPress(128, 128);
    OnMouseMove(384, 384);
    OnLeftRelease();
    app.restartRequested = false;
    app.regionMode = false;
    app.continuous = true;
    const float width = app.regionWidth;
    const float centerRe = app.regionCenterRe;

    OnLeftPress(200, 100);
    OnLeftRelease();
    EXPECT_FALSE(app.dragging);
    EXPECT_EQ(app.regionWidth, width);
    EXPECT_EQ(app.regionCenterRe, centerRe);
    EXPECT_FALSE(app.regionMode);
    EXPECT_TRUE(app.continuous);
    EXPECT_FALSE(app.restartRequested);
}

TEST_F(MouseTest, ZeroWidthSelectsNothing)
{
    // A drag from the pane's last column cannot widen.
    OnLeftPress(511, 100);
    OnMouseMove(700, 300);
    OnLeftRelease();
    EXPECT_FALSE(app.dragging);
    EXPECT_EQ(app.regionWidth, 2.0f);
    EXPECT_FALSE(app.regionMode);
    EXPECT_FALSE(app.restartRequested);
}

TEST_F(MouseTest, PressStartsDragAndClearsOnlyOutputWhenClearIsOn)
{
    for (bool clear : {false, true}) {
        app.settings.Clear = clear;
        ViewPixel(2, 2)[0] = 200;
        OutputPixel(100, 100)[2] = 200;
        OnLeftPress(600, 40);
        EXPECT_TRUE(app.dragging);
        EXPECT_TRUE(app.dragFromOutputPane);
        EXPECT_EQ(app.dragStartX, 600);
        EXPECT_EQ(app.dragStartY, 40);
        EXPECT_EQ(ViewPixel(2, 2)[0], 200);
        EXPECT_EQ(OutputPixel(100, 100)[2], clear ? 0 : 200) << "Clear " << clear;
        EXPECT_TRUE(Repaints().empty());
    }
    // Without an output image there is nothing to zero.
    ReleaseImages();
    OnLeftPress(10, 10);
    EXPECT_TRUE(app.dragging);
    EXPECT_FALSE(app.dragFromOutputPane);
}

TEST_F(MouseTest, RightPressStopsAndClears)
{
    for (bool shift : {true, false}) {
        app.running = true;
        ViewPixel(2, 2)[0] = 200;
        OnRightPress(shift);
        EXPECT_EQ(app.noSnap, shift);
        EXPECT_FALSE(app.running);
        EXPECT_EQ(Titles().back(), "stopped");
        EXPECT_EQ(ViewPixel(2, 2)[0], 0);  // Clear is on
    }
    EXPECT_TRUE(Repaints().empty());
}

TEST_F(MouseTest, RightClickInRightPaneOnlyStops)
{
    app.settings.X = 0.25f;
    app.settings.Y = 0.5f;
    app.regionMode = true;
    app.continuous = true;
    app.running = true;
    OnRightPress(false);
    OnRightRelease(700, 200);
    EXPECT_FALSE(app.running);
    EXPECT_EQ(app.settings.X, 0.25f);
    EXPECT_EQ(app.settings.Y, 0.5f);
    EXPECT_TRUE(app.regionMode);
    EXPECT_TRUE(app.continuous);
    EXPECT_FALSE(app.restartRequested);
}

TEST_F(MouseTest, ShiftRightClickAtCentreSetsCentreAndMarker)
{
    app.regionMode = true;
    app.continuous = true;
    OnRightPress(true);
    OnRightRelease(256, 256);
    EXPECT_EQ(app.settings.X, app.settings.CenterX);
    EXPECT_EQ(app.settings.Y, app.settings.CenterY);
    const uint8_t* marker = ViewPixel(256, 256);
    EXPECT_EQ(marker[0], 0);
    EXPECT_EQ(marker[1], 0);
    EXPECT_EQ(marker[2], 255);
    EXPECT_TRUE(app.restartRequested);
    EXPECT_FALSE(app.regionMode);
    EXPECT_FALSE(app.continuous);
}

TEST_F(MouseTest, RightClickSnapsOntoBorderAndMarksIt)
{
    OnRightPress(false);
    OnRightRelease(256, 256);  // (-0.5, 0), inside the main cardioid
    // Only the imaginary part moves, onto the border.
    EXPECT_EQ(app.settings.X, -0.5f);
    EXPECT_NE(app.settings.Y, 0.0f);
    EXPECT_TRUE(std::isfinite(app.settings.Y));
    const PixelPoint at = PlaneToViewPixel({app.settings.X, app.settings.Y});
    EXPECT_NE(at.row, 256);
    EXPECT_EQ(ViewPixel(at.col, at.row)[2], 255);
    EXPECT_TRUE(app.restartRequested);
}

TEST_F(MouseTest, SnapToInfinityKeepsStartPoint)
{
    // The walk from (1, 0) runs away from the set to -infinity.
    const PlanePoint kept = SnappedStartPoint({1.0f, 0.0f});
    EXPECT_EQ(kept.re, 1.0f);
    EXPECT_EQ(kept.im, 0.0f);

    // The same through a right click, with the pane centred on (0.5, 0).
    app.settings.CenterX = 0.5f;
    OnRightPress(false);
    OnRightRelease(384, 256);
    EXPECT_EQ(app.settings.X, 1.0f);
    EXPECT_EQ(app.settings.Y, 0.0f);
    EXPECT_EQ(ViewPixel(384, 256)[2], 255);
}

TEST_F(MouseTest, SnapThatSettlesIsKept)
{
    const PlanePoint snapped = SnappedStartPoint({-0.1f, 0.0f});
    EXPECT_EQ(snapped.re, -0.1f);
    EXPECT_NEAR(snapped.im, 0.649, 0.001);
}

struct MarkerCase {
    const char* name;
    int32_t x, y, col, row;
};
// Cases print as their names in test output.
void PrintTo(const MarkerCase& c, std::ostream* out) { *out << c.name; }

// Unsnapped markers outside the pane go onto its nearest edge pixel.
const MarkerCase kMarkers[] = {
    {"TopRow", 10, 0, 10, 511},
    {"LeftOfPane", -5, 300, 0, 212},
    {"BelowPane", 100, 700, 100, 0},
    {"Inside", 511, 1, 511, 511},
};

class UnsnappedMarkerTest : public UiTest, public ::testing::WithParamInterface<MarkerCase> {};

TEST_P(UnsnappedMarkerTest, MarkerInsidePane)
{
    const MarkerCase& c = GetParam();
    app.settings.Clear = false;
    OnRightPress(true);
    OnRightRelease(c.x, c.y);
    EXPECT_EQ(ViewPixel(c.col, c.row)[2], 255);
    const PlanePoint p = ViewPixelToPlane(c.x, 512 - c.y);
    EXPECT_EQ(app.settings.X, p.re);
    EXPECT_EQ(app.settings.Y, p.im);
}

INSTANTIATE_TEST_SUITE_P(Markers, UnsnappedMarkerTest, ::testing::ValuesIn(kMarkers),
                         [](const ::testing::TestParamInfo<MarkerCase>& info) { return std::string(info.param.name); });

}  // namespace
