#pragma once
// The two images, their bitmap headers, the plane <-> pixel mappings and the
// colour accumulation used by plots and splats.
#include <cstdint>

#include "base/SharedTypes.h"

// Float to int32 as the 32-bit program converts: truncate toward zero; a
// value outside the int32 range, an infinity or a NaN gives INT32_MIN.
int32_t FloatToInt(double value);

// Gives both bitmap infos their constant part (size 40, planes 1, 24 bits).
void InitBitmapHeaders();
// Size = width x height x 3 bytes; false when it cannot be represented.
bool ImageByteSize(int32_t width, int32_t height, uint32_t& bytes);

// Allocate the 512 x 512 view image / the Width x Height output image. On
// failure the "Memory Error." box is shown, the image is absent and the
// result is false. AllocOutputImage refuses silently (false, nothing
// changed) while a run is in progress.
bool AllocViewImage();
bool AllocOutputImage();
void ReleaseImages();
// Zeroes the pixels of one image (nothing when it is absent).
void ZeroImage(RgbImage& image);


PixelPoint PlaneToViewPixel(PlanePoint p);  // clamped into the view image
PlanePoint ViewPixelToPlane(int32_t col, int32_t rowFromBottom);
PlanePoint RegionPixelToPlane(int32_t col, int32_t rowFromBottom);
PixelPoint PlaneToOutputPixel(PlanePoint p);  // not clamped

void AddSaturated(uint8_t* pixel, Colour3 c);
Colour3 QuarterColour(Colour3 c);
void SetViewPixel(int32_t col, int32_t row, Colour3 c);

// The worker's accumulation: one pixel of the view image at the clamped
// position of z; a five-pixel splat into the output image (outermost rows and
// columns, and points outside, are not drawn).
void PlotView(PlanePoint z, Colour3 colour);
void SplatOutput(PlanePoint z, Colour3 colour);
