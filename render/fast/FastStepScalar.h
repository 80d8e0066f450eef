#pragma once
// One sample of the step phase without vectors, for the ends of blocks.
// Static: each kernel's translation unit gets its own copy for its target.
#include "render/fast/FastStep.h"
#include "render/Image.h"

static inline void StepOneSample(const StepConstants& k, PlanePoint* z, const PlanePoint* c,
                                 int32_t i, StepOutput& out)
{
    const double re = z[i].re;
    const double im = z[i].im;
    const double re2 = re * re;
    const double im2 = im * im;
    const int32_t px = FloatToInt(((re - k.centerRe) * k.reciprocal + 0.5) * k.width);
    const int32_t py = FloatToInt((0.5 - (im - k.centerIm) * k.reciprocal) * k.height);
    if (px >= 1 && px <= k.widthPixels - 2 && py >= 1 && py <= k.heightPixels - 2) {
        out.offsets[out.count] = (static_cast<uint32_t>(py) * static_cast<uint32_t>(k.widthPixels) +
                                  static_cast<uint32_t>(px)) * 3u;
        out.rows[out.count] = py;
        out.samples[out.count] = i;
        ++out.count;
    }
    PlanePoint next;
    next.im = static_cast<float>(2.0 * re * im + c[i].im);
    next.re = static_cast<float>(re2 - im2 + c[i].re);
    z[i] = next;
    if (!k.checkBailout) return;
    const double dre = re - static_cast<double>(next.re);
    const double dim = im - static_cast<double>(next.im);
    if (re2 + im2 > k.maxBailout || dre * dre + dim * dim < k.minBailout)
        out.reseeds[out.reseedCount++] = i;
}
