#include <cmath>

#include "app/AppState.h"
#include "platform/Platform.h"
#include "render/Distance.h"
#include "render/Image.h"
#include "render/OutputLayers.h"
#include "render/Blocks.h"
#include "render/Worker.h"
#include "ui/Input.h"

static const Colour3 kMarkerColour = {0, 0, 255};  // red

void OnLeftPress(int32_t x, int32_t y)
{
    app.dragging = true;
    app.dragMoved = false;
    app.dragFromOutputPane = x >= app.viewWidth;
    app.dragStartX = x;
    app.dragStartY = y;
    // The end corner keeps its value until the pointer moves.
    if (app.settings.Clear) ZeroOutputImage();
}

void OnMouseMove(int32_t x, int32_t y)
{
    if (!app.dragging) return;
    // A pointer left of or above the start puts the corner just past it, so
    // a selection begun inside the panes never inverts.
    if (x < app.dragStartX) x = app.dragStartX + 1;
    if (y < app.dragStartY) y = app.dragStartY + 1;
    if (x >= app.viewWidth && !app.dragFromOutputPane) x = app.viewWidth - 1;
    if (y >= app.viewHeight) y = app.viewHeight - 1;
    app.dragEndX = x;
    app.dragEndY = y;
    app.dragMoved = true;
    // Only the selection and a 16-pixel margin right of and below it.
    RequestRepaint({app.dragStartX, app.dragStartY, app.dragEndX + 16, app.dragEndY + 16});
}

static PlanePoint DragCornerToPlane(int32_t x, int32_t y)
{
    const int32_t rowFromBottom = app.viewHeight - y;
    if (app.dragFromOutputPane) return RegionPixelToPlane(x - app.viewWidth, rowFromBottom);
    return ViewPixelToPlane(x, rowFromBottom);
}

void OnLeftRelease()
{
    if (!app.dragging) return;
    app.dragging = false;
    // A click without motion would span to the corner of an earlier drag:
    // it selects nothing.
    if (!app.dragMoved) return;
    const PlanePoint start = DragCornerToPlane(app.dragStartX, app.dragStartY);
    const PlanePoint end = DragCornerToPlane(app.dragEndX, app.dragEndY);
    const double d = static_cast<double>(end.re) - static_cast<double>(start.re);
    const float width = static_cast<float>(d);
    const float reciprocal = static_cast<float>(1.0 / d);
    // A region without width (or too narrow for its reciprocal) would catch
    // no point at all, so it selects nothing.
    if (!(width > 0.0f) || !std::isfinite(reciprocal)) return;
    // The region is stored whole before the run that reads it is requested.
    SelectRegion((static_cast<double>(start.re) + end.re) * 0.5, (static_cast<double>(start.im) + end.im) * 0.5, d);
    app.continuous = false;
    app.restartRequested = true;
}

void OnRightPress(bool shiftHeld)
{
    app.noSnap = shiftHeld;
    StopRender();
    if (app.settings.Clear) ClearImages();
}

PlanePoint SnappedStartPoint(PlanePoint p)
{
    PlanePoint snapped = p;
    SnapToBorder(snapped);
    // The walk can run off to infinity; a start point there is never kept.
    if (!std::isfinite(snapped.re) || !std::isfinite(snapped.im)) return p;
    return snapped;
}

PlanePoint ChooseStartPoint(PlanePoint p, bool snap)
{
    const PlanePoint start = snap ? SnappedStartPoint(p) : p;
    app.settings.X = start.re;
    app.settings.Y = start.im;
    return start;
}

void MarkStartPoint(PixelPoint at) { SetViewPixel(at.col, at.row, kMarkerColour); }

void SelectRegion(double centreRe, double centreIm, double side)
{
    app.regionWidth = static_cast<float>(side);
    app.regionReciprocal = static_cast<float>(1.0 / side);
    app.regionCenterRe = static_cast<float>(centreRe);
    app.regionCenterIm = static_cast<float>(centreIm);
    app.regionMode = true;
}

static int32_t ClampToPane(int32_t value, int32_t size)
{
    if (value < 0) return 0;
    if (value >= size) return size - 1;
    return value;
}

void OnRightRelease(int32_t x, int32_t y)
{
    // In the right pane the press has already stopped the run; nothing more.
    if (x >= app.viewWidth) return;
    const int32_t row = app.viewHeight - y;
    PlanePoint start = ViewPixelToPlane(x, row);
    // The start point is stored whole before the run that reads it is requested.
    start = ChooseStartPoint(start, !app.noSnap);
    // Unsnapped, the top pixel row gives row 512 and a pointer off the pane
    // lies outside it: the marker goes onto the nearest edge pixel.
    if (app.noSnap) MarkStartPoint({ClampToPane(x, app.viewWidth), ClampToPane(row, app.viewHeight)});
    else MarkStartPoint(PlaneToViewPixel(start));
    app.restartRequested = true;
    app.regionMode = false;
    app.continuous = false;
}
