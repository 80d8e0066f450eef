// Area average of the output image into the right pane.
#include "ui/PaneAverage.h"

#include <cstring>
#include <new>

uint32_t PaneRowStride(int32_t width)
{
    return (static_cast<uint32_t>(width) * 3u + 3u) & ~3u;
}

void PaneSourceSpan(int32_t paneIndex, int32_t paneSize, int32_t sourceSize, int32_t& first,
                    int32_t& last)
{
    // 64-bit products: a large output size times a pane index overflows 32 bits.
    const int64_t from = static_cast<int64_t>(paneIndex) * sourceSize / paneSize;
    const int64_t to = (static_cast<int64_t>(paneIndex) + 1) * sourceSize / paneSize - 1;
    first = static_cast<int32_t>(from);
    last = static_cast<int32_t>(to > from ? to : from);
}

void AveragePaneArea(const RgbImage& image, int32_t paneWidth, int32_t paneHeight,
                     const ClientRect& area, uint8_t* out, const OutputLayerView* layers)
{
    const int32_t width = area.right - area.left;
    const int32_t height = area.bottom - area.top;
    if (width <= 0 || height <= 0 || !image.pixels || image.width <= 0 || image.height <= 0) return;
    const uint32_t outStride = PaneRowStride(width);
    const size_t sourceStride = static_cast<size_t>(image.width) * 3u;

    // Column spans of the area, and one row of channel sums.
    int32_t* firstCol = new (std::nothrow) int32_t[2 * static_cast<size_t>(width)];
    uint64_t* sums = new (std::nothrow) uint64_t[3 * static_cast<size_t>(width)];
    if (!firstCol || !sums) {
        delete[] firstCol;
        delete[] sums;
        return;
    }
    int32_t* lastCol = firstCol + width;
    for (int32_t i = 0; i < width; ++i)
        PaneSourceSpan(area.left + i, paneWidth, image.width, firstCol[i], lastCol[i]);
    // With layers, the columns the area reads are summed into a row of their own.
    const bool summed = layers && layers->count > 0;
    const size_t spanFrom = static_cast<size_t>(firstCol[0]) * 3u;
    const size_t spanBytes = static_cast<size_t>(lastCol[width - 1] + 1) * 3u - spanFrom;
    uint8_t* sumRow = summed ? new (std::nothrow) uint8_t[sourceStride] : nullptr;
    if (summed && !sumRow) {
        delete[] firstCol;
        delete[] sums;
        return;
    }

    for (int32_t r = 0; r < height; ++r) {
        // out row r is the r-th pane row from the bottom of the area.
        const int32_t paneRow = paneHeight - area.bottom + r;
        int32_t firstRow = 0;
        int32_t lastRow = 0;
        PaneSourceSpan(paneRow, paneHeight, image.height, firstRow, lastRow);
        std::memset(sums, 0, 3 * static_cast<size_t>(width) * sizeof(uint64_t));
        // Row by row through the source, so each source row is read once.
        for (int32_t sy = firstRow; sy <= lastRow; ++sy) {
            const uint8_t* row = image.pixels + static_cast<size_t>(sy) * sourceStride;
            if (summed) {
                SumLayerBytes(image.pixels, *layers, static_cast<size_t>(sy) * sourceStride + spanFrom, spanBytes,
                              sumRow + spanFrom);
                row = sumRow;
            }
            for (int32_t i = 0; i < width; ++i) {
                uint64_t b = 0, g = 0, red = 0;
                for (int32_t sx = firstCol[i]; sx <= lastCol[i]; ++sx) {
                    const uint8_t* p = row + static_cast<size_t>(sx) * 3u;
                    b += p[0];
                    g += p[1];
                    red += p[2];
                }
                sums[3 * i] += b;
                sums[3 * i + 1] += g;
                sums[3 * i + 2] += red;
            }
        }
        const uint64_t rows = static_cast<uint64_t>(lastRow - firstRow + 1);
        uint8_t* dest = out + static_cast<size_t>(r) * outStride;
        for (int32_t i = 0; i < width; ++i) {
            const uint64_t n = rows * static_cast<uint64_t>(lastCol[i] - firstCol[i] + 1);
            for (int k = 0; k < 3; ++k) dest[3 * i + k] = static_cast<uint8_t>((sums[3 * i + k] + n / 2) / n);
        }
        std::memset(dest + 3 * static_cast<size_t>(width), 0, outStride - 3u * static_cast<uint32_t>(width));
    }
    delete[] firstCol;
    delete[] sums;
    delete[] sumRow;
}
