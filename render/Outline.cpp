#include "render/Outline.h"

#include "app/AppState.h"
#include "render/Image.h"

// The walk's constants are float32 values, widened for arithmetic.
static const float searchStart = 0.3f;
static const float searchLine = -0.01f;
static const float gridStep = 0.005f;
static const Colour3 outlineColour = {128, 128, 128};
// With the fixed constants the search takes 4 decrements and the walk 1,659
// steps; the bounds only guard against a walk that never ends.
static const int32_t searchBound = 1000000;
static const int32_t stepBound = 1000000;

bool QuickInside(float re, float im)
{
    const double cRe = re;
    const double cIm = im;
    double zRe = cRe;
    double zIm = cIm;
    int32_t i = 0;
    while (i < 32 && zRe * zRe + zIm * zIm < 4.0) {
        const double nextIm = 2.0 * zRe * zIm + cIm;
        zRe = zRe * zRe - zIm * zIm + cRe;
        zIm = nextIm;
        ++i;
    }
    return i == 32;
}

static PlanePoint Offset(PlanePoint p, double dRe, double dIm)
{
    return {static_cast<float>(p.re + dRe), static_cast<float>(p.im + dIm)};
}

// One step of the boundary trace: the neighbours of P are tried clockwise,
// starting next to the outside neighbour Q. Nothing changes when all fail.
static void StepOutline(PlanePoint& p, PlanePoint& q)
{
    const double vx = static_cast<double>(q.re) - p.re;
    const double vy = static_cast<double>(q.im) - p.im;
    const double offsets[7][2] = {
        {vx + vy, vy - vx},  {vy, -vx}, {vy - vx, -vx - vy}, {-vx, -vy},
        {-vx - vy, vx - vy}, {-vy, vx}, {vx - vy, vx + vy},
    };
    PlanePoint previous = q;
    for (const auto& offset : offsets) {
        const PlanePoint candidate = Offset(p, offset[0], offset[1]);
        if (QuickInside(candidate.re, candidate.im)) {
            p = candidate;
            q = previous;
            return;
        }
        previous = candidate;
    }
}

static void DrawOutlinePoint(PlanePoint p)
{
    const PixelPoint at = PlaneToViewPixel(p);
    SetViewPixel(at.col, at.row, outlineColour);
    const PixelPoint mirror = PlaneToViewPixel({p.re, -p.im});
    SetViewPixel(mirror.col, mirror.row, outlineColour);
}

static bool RunOutline(OutlineWalk& walk, bool draw)
{
    walk = {};
    float x = searchStart;
    while (!QuickInside(x, searchLine)) {
        if (walk.searchDecrements >= searchBound) return false;
        x = static_cast<float>(x - static_cast<double>(gridStep));
        ++walk.searchDecrements;
    }
    PlanePoint p = {x, searchLine};
    PlanePoint q = {static_cast<float>(x + static_cast<double>(gridStep)), searchLine};
    walk.start = p;
    walk.startOutside = q;
    do {
        if (walk.steps >= stepBound) return false;
        StepOutline(p, q);
        ++walk.steps;
        if (walk.steps == 1) {
            walk.firstDrawn = p;
            walk.lowest = p;
            walk.leastRe = p.re;
            walk.greatestRe = p.re;
        }
        walk.lastDrawn = p;
        if (p.im < walk.lowest.im) walk.lowest = p;
        if (p.re < walk.leastRe) walk.leastRe = p.re;
        if (p.re > walk.greatestRe) walk.greatestRe = p.re;
        if (draw) DrawOutlinePoint(p);
    } while (p.im < 0.0f);
    return true;
}

bool WalkOutline(OutlineWalk& walk) { return RunOutline(walk, false); }

void TraceOutline()
{
    RgbImage& view = app.viewImage;
    if (!view.pixels) return;
    OutlineWalk walk;
    RunOutline(walk, true);
    for (int32_t row = 0; row < view.height; ++row)
        SetViewPixel(view.width - 1, row, outlineColour);
}
