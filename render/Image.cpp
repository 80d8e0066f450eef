#include "render/Image.h"

#include <cstring>
#include <mutex>
#include <new>

#include "app/AppState.h"
#include "platform/Platform.h"
#include "render/Deep.h"
#include "render/OutputLayers.h"

int32_t FloatToInt(double value)
{
    // The 32-bit program's conversion gives INT32_MIN for anything it cannot
    // represent; NaN fails both comparisons and lands there too.
    if (value > -2147483649.0 && value < 2147483648.0) return static_cast<int32_t>(value);
    return INT32_MIN;
}

// Sums of pixel offsets wrap as in 32-bit two's complement.
static int32_t WrapAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

static int32_t WrapSub(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

void InitBitmapHeaders()
{
    BitmapInfo& view = app.viewImage.info;
    std::memset(&view, 0, sizeof view);
    view.headerSize = 40;
    view.planes = 1;
    view.bitCount = 24;
    app.outputImage.info = view;
}

bool ImageByteSize(int32_t width, int32_t height, uint32_t& bytes)
{
    // Both builds refuse the same sizes: nothing above INT32_MAX bytes.
    if (width < 0 || height < 0) return false;
    const int64_t area = static_cast<int64_t>(width) * height;
    if (area > INT32_MAX / 3) return false;
    bytes = static_cast<uint32_t>(area * 3);
    return true;
}

// Width and height keep the size of the block last held: every writer
// tests the pixels, and the view pass sizes its step from the width.
static void MakeAbsent(RgbImage& image)
{
    delete[] image.pixels;
    image.pixels = nullptr;
}

// Sets the header, replaces the block and records its size; the image is
// absent when the size is refused or the allocation fails.
static bool ReplaceImage(RgbImage& image, int32_t width, int32_t height)
{
    uint32_t bytes = 0;
    const bool sizeFits = ImageByteSize(width, height, bytes);
    image.info.width = width;
    image.info.height = height;
    image.info.imageSize = bytes;
    MakeAbsent(image);
    if (!sizeFits) return false;
    image.pixels = new (std::nothrow) uint8_t[bytes];
    if (!image.pixels) return false;
    image.width = width;
    image.height = height;
    return true;
}

bool AllocViewImage()
{
    app.clientRect = {0, 0, 2 * app.viewWidth, app.viewHeight};
    bool ok;
    {
        std::lock_guard<std::mutex> hold(app.blocksLock);
        ok = ReplaceImage(app.viewImage, app.viewWidth, app.viewHeight);
    }
    // The box waits for the user, so it is shown with the lock released.
    if (!ok) ShowMemoryError("Out of memory. Choose a smaller window size.");
    return ok;
}

bool AllocOutputImage()
{
    // The worker may be splatting into the block during a run. Refuse at
    // once rather than wait for its pass to end; test again under the lock,
    // since a run may have started meanwhile.
    if (app.running) return false;
    bool ok;
    {
        std::lock_guard<std::mutex> hold(app.blocksLock);
        if (app.running) return false;
        ReleaseOutputLayers();
        ok = ReplaceImage(app.outputImage, app.settings.Width, app.settings.Height);
        if (ok) std::memset(app.outputImage.pixels, 0, app.outputImage.info.imageSize);
    }
    if (!ok) ShowMemoryError("Out of memory. Choose a smaller output size.");
    return ok;
}

// Called at shutdown after the worker has gone. No lock: a terminated worker
// may have died holding it.
void ReleaseImages()
{
    MakeAbsent(app.viewImage);
    MakeAbsent(app.outputImage);
    ReleaseOutputLayersAtExit();
}

void ZeroImage(RgbImage& image)
{
    if (!image.pixels) return;
    std::memset(image.pixels, 0, static_cast<size_t>(image.width) * image.height * 3);
}

PixelPoint PlaneToViewPixel(PlanePoint p)
{
    const int32_t w = app.viewWidth;
    const int32_t h = app.viewHeight;
    const double centerX = app.settings.CenterX;
    const double centerY = app.settings.CenterY;
    int32_t col = WrapAdd(FloatToInt(w * 0.5), FloatToInt(((p.re - centerX) * 0.5) * w));
    const int32_t r = WrapAdd(FloatToInt(h * 0.5), FloatToInt(((p.im - centerY) * 0.5) * h));
    int32_t row = WrapSub(h, r);
    if (col < 0) col = 0;
    if (col >= w) col = w - 1;
    if (row < 0) row = 0;
    if (row >= h) row = h - 1;
    return {col, row};
}

PlanePoint ViewPixelToPlane(int32_t col, int32_t rowFromBottom)
{
    const int32_t w = app.viewWidth;
    const int32_t h = app.viewHeight;
    const double scale = app.viewScale;
    const double dx = WrapSub(col, FloatToInt(w * 0.5));
    const double dy = WrapSub(FloatToInt(h * 0.5), rowFromBottom);
    PlanePoint p;
    p.re = static_cast<float>(dx / w * scale + static_cast<double>(app.settings.CenterX));
    p.im = static_cast<float>(dy / h * scale + static_cast<double>(app.settings.CenterY));
    return p;
}

// Multiplies by (regionWidth / w) where ViewPixelToPlane divides first and
// multiplies after: the orders differ on purpose, the last bits of a dragged
// region depend on them, and merging the two would change stored regions.
PlanePoint RegionPixelToPlane(int32_t col, int32_t rowFromBottom)
{
    const int32_t w = app.viewWidth;
    const int32_t h = app.viewHeight;
    const double regionWidth = app.regionWidth;
    const double dx = WrapSub(col, FloatToInt(w * 0.5));
    const double dy = WrapSub(FloatToInt(h * 0.5), rowFromBottom);
    PlanePoint p;
    p.re = static_cast<float>(dx * (regionWidth / w) + static_cast<double>(app.regionCenterRe));
    p.im = static_cast<float>(dy * (regionWidth / h) + static_cast<double>(app.regionCenterIm));
    return p;
}

PixelPoint PlaneToOutputPixel(PlanePoint p)
{
    const double k = app.regionReciprocal;
    const double ow = app.outputImage.width;
    const double oh = app.outputImage.height;
    const double centerRe = app.regionCenterRe;
    const double centerIm = app.regionCenterIm;
    PixelPoint pixel;
    pixel.col = FloatToInt(((p.re - centerRe) * k + 0.5) * ow);
    pixel.row = FloatToInt((0.5 - (p.im - centerIm) * k) * oh);
    return pixel;
}

void AddSaturated(uint8_t* pixel, Colour3 c)
{
    const uint8_t add[3] = {c.blue, c.green, c.red};
    for (int i = 0; i < 3; ++i) {
        const int sum = pixel[i] + add[i];
        pixel[i] = static_cast<uint8_t>(sum > 255 ? 255 : sum);
    }
}

// The same add in a deep render: what clips is kept in the excess.
static void AddSaturatedKeeping(uint8_t* pixels, uint32_t* excess, size_t at, Colour3 c)
{
    const uint8_t add[3] = {c.blue, c.green, c.red};
    for (size_t i = 0; i < 3; ++i) AddByteKeeping(pixels[at + i], excess[at + i], add[i]);
}

Colour3 QuarterColour(Colour3 c)
{
    return {static_cast<uint8_t>(c.blue / 4), static_cast<uint8_t>(c.green / 4),
            static_cast<uint8_t>(c.red / 4)};
}

static uint8_t* PixelAt(const RgbImage& image, int32_t col, int32_t row)
{
    const size_t index = static_cast<size_t>(row) * static_cast<size_t>(image.width) + col;
    return image.pixels + index * 3;
}

void SetViewPixel(int32_t col, int32_t row, Colour3 c)
{
    const RgbImage& view = app.viewImage;
    if (!view.pixels || col < 0 || row < 0 || col >= view.width || row >= view.height) return;
    uint8_t* pixel = PixelAt(view, col, row);
    pixel[0] = c.blue;
    pixel[1] = c.green;
    pixel[2] = c.red;
}

void PlotView(PlanePoint z, Colour3 colour)
{
    const RgbImage& view = app.viewImage;
    if (!view.pixels) return;
    const PixelPoint at = PlaneToViewPixel(z);
    // The mapping clamps to the 512 x 512 pane; the block is that size.
    if (at.col >= view.width || at.row >= view.height) return;
    AddSaturated(PixelAt(view, at.col, at.row), colour);
}

void SplatOutput(PlanePoint z, Colour3 colour)
{
    const RgbImage& out = app.outputImage;
    if (!out.pixels) return;
    const PixelPoint at = PlaneToOutputPixel(z);
    // The splat's neighbours must stay inside, so the outermost rows and
    // columns are never a centre.
    if (at.col < 1 || at.col > out.width - 2 || at.row < 1 || at.row > out.height - 2) return;
    const Colour3 quarter = QuarterColour(colour);
    const struct {
        int32_t col, row;
        Colour3 add;
    } adds[5] = {{at.col, at.row, colour},
                 {at.col + 1, at.row, quarter},
                 {at.col - 1, at.row, quarter},
                 {at.col, at.row - 1, quarter},
                 {at.col, at.row + 1, quarter}};
    uint32_t* excess = DeepSumsFor(out);
    for (const auto& a : adds) {
        if (excess)
            AddSaturatedKeeping(out.pixels, excess, static_cast<size_t>(PixelAt(out, a.col, a.row) - out.pixels), a.add);
        else
            AddSaturated(PixelAt(out, a.col, a.row), a.add);
    }
}
