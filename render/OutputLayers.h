#pragma once
// Layers of the output image: images of its size that the helper threads
// splat into during a shared region pass, so that no thread sorts its splats
// for another and the threads meet once a pass. A pixel's value is the
// saturated sum of its bytes in the output image and in every layer: the adds
// are of colours, never negative, so min(255, a + b + ...) is the byte the
// same splats make in one image, in any order.
//
// The worker folds the layers into the output image at every run end and
// whenever it stops, so a finished or stopped render is the output image
// alone. A reader on another thread during a run (the paint, Save) sums the
// layers in through ReadOutputLayers; a clear zeroes them with the image.
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "base/SharedTypes.h"

constexpr int32_t kMaxOutputLayers = 63;

// The layers a reader sums in; count is 0 when none holds a splat.
struct OutputLayerView {
    const uint8_t* pixels[kMaxOutputLayers];
    int32_t count;
};

// Worker, inside a pass (under blocksLock): at least count layers of the
// output image's size (new ones zeroed), their pixels in into[0 .. count - 1]. False
// when the memory is refused or the layers would pass their budget; the pass
// then sorts its splats instead.
bool ProvideOutputLayers(int32_t count, uint8_t** into);

// Worker: adds every layer into the output image, then zeroes the layers
// for the next run (keep) or frees them (the worker stops or goes idle).
void MergeOutputLayers(bool keep);

// Zeroes the output image and every layer (the Clear command, a new region).
void ZeroOutputImage();

// With the output image's replacement (under blocksLock).
void ReleaseOutputLayers();
// At shutdown, once the worker has gone: without the lock, which a
// terminated worker may have died holding.
void ReleaseOutputLayersAtExit();

// Fills view with the layers that hold splats and returns a lock that keeps
// them from being merged, zeroed or released until it is let go.
std::unique_lock<std::mutex> ReadOutputLayers(OutputLayerView& view);

// bytes bytes of the picture from byte offset on: the image's bytes plus every
// layer's, saturated.
void SumLayerBytes(const uint8_t* image, const OutputLayerView& layers, size_t offset, size_t bytes,
                   uint8_t* into);

// A copy of the whole picture (output image plus layers) into copy, whose
// pixels the caller frees with std::free. False when the memory is refused.
bool CopyOutputPicture(RgbImage& copy);
