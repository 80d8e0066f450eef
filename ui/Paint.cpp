// WM_PAINT: the left pane as stored, the right pane as an area average, and
// the selection rectangle over them.
#include <windows.h>

#include <mutex>
#include <new>

#include "app/AppState.h"
#include "render/OutputLayers.h"
#include "ui/Paint.h"
#include "ui/PaneAverage.h"

static void PaintViewPane(HDC dc)
{
    const RgbImage& view = app.viewImage;
    if (!view.pixels) return;
    SetDIBitsToDevice(dc, 0, 0, view.width, view.height, 0, 0, 0, view.height, view.pixels,
                      reinterpret_cast<const BITMAPINFO*>(&view.info), DIB_RGB_COLORS);
}

// The output image is averaged here rather than with StretchDIBits: Wine's
// HALFTONE mode point-samples, which shows a noisy, aliased picture and a
// different one again for a partly repainted band. Only the repainted part
// of the pane is computed, into a buffer held for this paint alone, with
// rows padded to 4 bytes whatever the output width.
static void PaintOutputPane(HDC dc, const RECT& area)
{
    const RgbImage& output = app.outputImage;
    if (!output.pixels || output.width <= 0 || output.height <= 0) return;
    const int32_t paneLeft = app.viewWidth;
    ClientRect part = {area.left - paneLeft, area.top, area.right - paneLeft, area.bottom};
    if (part.left < 0) part.left = 0;
    if (part.top < 0) part.top = 0;
    if (part.right > app.viewWidth) part.right = app.viewWidth;
    if (part.bottom > app.viewHeight) part.bottom = app.viewHeight;
    const int32_t width = part.right - part.left;
    const int32_t height = part.bottom - part.top;
    if (width <= 0 || height <= 0) return;

    const size_t bytes = static_cast<size_t>(PaneRowStride(width)) * static_cast<size_t>(height);
    uint8_t* buffer = new (std::nothrow) uint8_t[bytes];
    if (!buffer) return;
    {
        // During a shared run the helpers' layers hold part of the picture.
        OutputLayerView layers;
        const std::unique_lock<std::mutex> hold = ReadOutputLayers(layers);
        AveragePaneArea(output, app.viewWidth, app.viewHeight, part, buffer, &layers);
    }

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, like the images
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(bytes);
    SetDIBitsToDevice(dc, paneLeft + part.left, part.top, width, height, 0, 0, 0, height, buffer, &info,
                      DIB_RGB_COLORS);
    delete[] buffer;
}

// Black border, inside lightened by OR 64 in every channel.
static void PaintSelection(HDC dc)
{
    if (!app.dragging) return;
    SelectObject(dc, GetStockObject(DKGRAY_BRUSH));
    SetROP2(dc, R2_MERGEPEN);
    Rectangle(dc, app.dragStartX, app.dragStartY, app.dragEndX, app.dragEndY);
}

void PaintPanes(HDC dc, const RECT& area)
{
    PaintViewPane(dc);
    PaintOutputPane(dc, area);
    PaintSelection(dc);
}
