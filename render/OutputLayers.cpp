#include "render/OutputLayers.h"

#include <cstdlib>
#include <cstring>

#include "app/AppState.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Never destroyed: the worker may still merge while the process exits.
std::mutex& layersLock = *new std::mutex();
// Guarded by layersLock.
uint8_t* layers[kMaxOutputLayers];
int32_t layerCount = 0;
size_t layerBytes = 0;
// Whether a pass was given the layers since they were last merged or zeroed.
bool holdSplats = false;

// A 32-bit program has 2 GiB of address space for everything.
constexpr size_t kBudget = sizeof(void*) == 4 ? size_t{160} << 20 : size_t{1} << 30;

size_t OutputBytes() { return static_cast<size_t>(app.outputImage.width) * app.outputImage.height * 3u; }

void FreeLayers()
{
    for (int32_t i = 0; i < layerCount; ++i) std::free(layers[i]);
    layerCount = 0;
    layerBytes = 0;
    holdSplats = false;
}

// into[i] = min(255, into[i] + add[i]) for n bytes.
void AddSaturated(uint8_t* into, const uint8_t* add, size_t n)
{
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(into + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(add + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(into + i), _mm_adds_epu8(a, b));
    }
#endif
    for (; i < n; ++i) {
        const unsigned sum = into[i] + static_cast<unsigned>(add[i]);
        into[i] = static_cast<uint8_t>(sum > 255 ? 255 : sum);
    }
}

}  // namespace

bool ProvideOutputLayers(int32_t count, uint8_t** into)
{
    const size_t bytes = OutputBytes();
    if (count <= 0 || count > kMaxOutputLayers || bytes == 0 || bytes > kBudget / static_cast<size_t>(count))
        return false;
    std::lock_guard<std::mutex> hold(layersLock);
    // Layers of another size belong to an image that has been replaced.
    if (layerBytes != bytes) FreeLayers();
    while (layerCount < count) {
        // Zeroed by the system, page by page as the splats first reach them.
        uint8_t* p = static_cast<uint8_t*>(std::calloc(bytes, 1));
        if (!p) return false;
        layers[layerCount++] = p;
        layerBytes = bytes;
    }
    for (int32_t i = 0; i < count; ++i) into[i] = layers[i];
    holdSplats = true;
    return true;
}

void MergeOutputLayers(bool keep)
{
    std::lock_guard<std::mutex> hold(layersLock);
    if (!holdSplats) return;
    holdSplats = false;
    if (app.outputImage.pixels && layerBytes == OutputBytes()) {
        // A band at a time, so each band of the image is read and written
        // once while it is in the caches.
        constexpr size_t kBand = size_t{64} << 10;
        for (size_t at = 0; at < layerBytes; at += kBand) {
            const size_t n = layerBytes - at < kBand ? layerBytes - at : kBand;
            for (int32_t i = 0; i < layerCount; ++i) {
                AddSaturated(app.outputImage.pixels + at, layers[i] + at, n);
                if (keep) std::memset(layers[i] + at, 0, n);
            }
        }
    }
    // Zeroing would bring in every page a short render never reached;
    // fresh layers come zeroed from the system.
    if (!keep) FreeLayers();
}

void ZeroOutputImage()
{
    std::lock_guard<std::mutex> hold(layersLock);
    if (app.outputImage.pixels) std::memset(app.outputImage.pixels, 0, OutputBytes());
    if (holdSplats)
        for (int32_t i = 0; i < layerCount; ++i) std::memset(layers[i], 0, layerBytes);
    holdSplats = false;
}

void ReleaseOutputLayers()
{
    std::lock_guard<std::mutex> hold(layersLock);
    FreeLayers();
}

void ReleaseOutputLayersAtExit() { FreeLayers(); }

std::unique_lock<std::mutex> ReadOutputLayers(OutputLayerView& view)
{
    std::unique_lock<std::mutex> hold(layersLock);
    view.count = holdSplats && layerBytes == OutputBytes() ? layerCount : 0;
    for (int32_t i = 0; i < view.count; ++i) view.pixels[i] = layers[i];
    return hold;
}

void SumLayerBytes(const uint8_t* image, const OutputLayerView& view, size_t offset, size_t bytes,
                   uint8_t* into)
{
    std::memcpy(into, image + offset, bytes);
    for (int32_t i = 0; i < view.count; ++i) AddSaturated(into, view.pixels[i] + offset, bytes);
}

bool CopyOutputPicture(RgbImage& copy)
{
    OutputLayerView view;
    const std::unique_lock<std::mutex> hold = ReadOutputLayers(view);
    copy = app.outputImage;
    if (!app.outputImage.pixels) return true;
    const size_t bytes = OutputBytes();
    copy.pixels = static_cast<uint8_t*>(std::malloc(bytes > 0 ? bytes : 1));
    if (!copy.pixels) return false;
    SumLayerBytes(app.outputImage.pixels, view, 0, bytes, copy.pixels);
    return true;
}
