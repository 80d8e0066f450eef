#pragma once
// The distance estimate's arithmetic, shared by the plain estimate and the
// fast ones so the two cannot drift apart. Static: the AVX2 kernels include
// this too, and each file must keep its own copy built for its own target.
#include <cmath>

// One step of the orbit z <- z^2 + c and of d, the bound of |dz/dc|, which
// uses the modulus before the step. False, with nothing changed, when the
// orbit has escaped (NaN counts as escaped).
static inline bool EstimateStep(double& re, double& im, double& d, double cRe, double cIm)
{
    const double re2 = re * re;
    const double im2 = im * im;
    const double m = re2 + im2;
    if (!(m < 4.0)) return false;
    d = 2.0 * d * std::sqrt(m) + 1.0;
    const double nextIm = 2.0 * re * im + cIm;
    re = re2 - im2 + cRe;
    im = nextIm;
    return true;
}

// The estimate from the orbit's last point and its bound.
static inline double EstimateFromOrbit(double re, double im, double d)
{
    const double r = std::sqrt(re * re + im * im);
    return ((0.5 * r) * std::log(r)) / d;
}
