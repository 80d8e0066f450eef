#pragma once
// The twenty persisted settings. Members carry the names of their keys in
// the settings file. Written by the window thread (dialog, gestures) and, for
// X and Y, by the worker in continuous mode; read by both.
#include <cstdint>

#include "base/Relaxed.h"

struct Settings {
    Relaxed<int32_t> Iterations;    // passes per run minus 2; distance estimate limit
    Relaxed<int32_t> SamplePoints;  // samples in a run
    Relaxed<int32_t> Brightness;    // base value of the sample colours
    Relaxed<int32_t> Width;         // OutputImage width as configured
    Relaxed<int32_t> Height;        // OutputImage height as configured

    Relaxed<bool> Clear;         // clear the images on clicks and on Go
    Relaxed<bool> Julia;         // all samples share the constant c[0]
    Relaxed<bool> BorderOnly;    // snap every seeded sample onto the set border
    Relaxed<bool> CheckBailout;  // reseed escaped or converged samples in region mode
    Relaxed<bool> Preview;       // open output.bmp in the shell's viewer after Save

    Relaxed<float> X;               // start point, real part
    Relaxed<float> Y;               // start point, imaginary part
    Relaxed<float> CenterX;         // centre of the left pane, real part
    Relaxed<float> CenterY;         // centre of the left pane, imaginary part
    Relaxed<float> DriftX;          // added to X on Go and after continuous runs
    Relaxed<float> DriftY;          // added to Y likewise
    Relaxed<float> SampleRadius;    // radius of the seeding disc
    Relaxed<float> BorderDistance;  // stop tolerance of the border snap
    Relaxed<float> MaxBailout;      // squared modulus that reseeds a sample
    Relaxed<float> MinBailout;      // squared step length that reseeds a sample
};
