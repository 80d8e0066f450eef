#pragma once
// The right pane's picture: each pane pixel is the mean of the output image
// pixels it covers. Computed at paint time for just the area being repainted.
#include <cstdint>

#include "base/SharedTypes.h"
#include "render/OutputLayers.h"

// Bytes in one row of a 24-bit bitmap of the given width: rows are padded to
// a multiple of 4 bytes, as the platform's bitmap transfers expect.
uint32_t PaneRowStride(int32_t width);

// The source span [first, last] of one pane pixel along one axis, for a pane
// of paneSize pixels showing sourceSize pixels. Never empty.
void PaneSourceSpan(int32_t paneIndex, int32_t paneSize, int32_t sourceSize, int32_t& first,
                    int32_t& last);

// Fills out with the area average of image for the part area of a pane of
// paneWidth x paneHeight pixels. area is in pane coordinates, y downward,
// right and bottom exclusive, and lies inside the pane. out holds
// (area.bottom - area.top) rows of PaneRowStride(area.right - area.left)
// bytes, bottom row first like the image. Nothing is written while the
// image is absent or empty. With layers, each image pixel is first summed
// with theirs (the picture during a shared run).
void AveragePaneArea(const RgbImage& image, int32_t paneWidth, int32_t paneHeight,
                     const ClientRect& area, uint8_t* out, const OutputLayerView* layers = nullptr);
