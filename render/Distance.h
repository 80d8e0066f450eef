#pragma once
// Signed distance estimate from the border of the Mandelbrot set, and the
// vertical walk that pulls a point onto that border.
#include "app/SharedTypes.h"

double DistanceEstimate(PlanePoint p);
void SnapToBorder(PlanePoint& p);
