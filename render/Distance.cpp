#include "render/Distance.h"

#include <cmath>

#include "app/AppState.h"
#include "render/EstimateSteps.h"

double DistanceEstimate(PlanePoint p)
{
    const double cRe = p.re;
    const double cIm = p.im;
    double re = cRe;
    double im = cIm;
    double d = 1.0;
    const int32_t iterations = app.settings.Iterations;
    for (int32_t i = 0; i < iterations && EstimateStep(re, im, d, cRe, cIm); ++i) {}
    return EstimateFromOrbit(re, im, d);
}

void SnapToBorderTraced(PlanePoint& p, SnapTrace& trace)
{
    trace = {};
    const double e = DistanceEstimate(p);
    const float a = static_cast<float>(e);
    PlanePoint probe = p;
    probe.im = static_cast<float>(p.im + e / 2.0);
    const double b = DistanceEstimate(probe);
    const float s = a < 0.0f ? -1.0f : 1.0f;
    // Chosen once from the probe; the sign of each estimate then steers.
    const float direction = b > a ? -s : s;
    if (!(std::fabs(a) > app.settings.BorderDistance)) return;
    for (int32_t n = 1; n <= 256; ++n) {
        const double step = DistanceEstimate(p) * direction;
        p.im = static_cast<float>(p.im + step);
        trace.steps = n;
        if (trace.firstInfiniteStep == 0 && std::isinf(p.im)) trace.firstInfiniteStep = n;
        if (n == 1 || std::fabs(step) < trace.smallestStep) trace.smallestStep = std::fabs(step);
        // The small last step stays applied.
        if (!(std::fabs(step) > app.settings.BorderDistance)) return;
    }
}

void SnapToBorder(PlanePoint& p)
{
    SnapTrace trace;
    SnapToBorderTraced(p, trace);
}
