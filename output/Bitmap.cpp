#include "output/Bitmap.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/AppState.h"
#include "platform/Platform.h"

static const uint32_t fileHeaderSize = 14;
static const uint32_t infoHeaderSize = 40;

static void Put16(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

static void Put32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The 14-byte file header and the 40-byte info header, little-endian, for a
// bottom-up 24-bit image without a colour table.
static void BuildHeaders(uint8_t* out, int32_t width, int32_t height, uint32_t imageSize)
{
    std::memset(out, 0, fileHeaderSize + infoHeaderSize);
    out[0] = 'B';
    out[1] = 'M';
    Put32(out + 2, fileHeaderSize + infoHeaderSize + imageSize);
    Put32(out + 10, fileHeaderSize + infoHeaderSize);
    uint8_t* info = out + fileHeaderSize;
    Put32(info + 0, infoHeaderSize);
    Put32(info + 4, static_cast<uint32_t>(width));
    Put32(info + 8, static_cast<uint32_t>(height));
    Put16(info + 12, 1);
    Put16(info + 14, 24);
    Put32(info + 20, imageSize);
    // compression, resolutions and colour counts stay 0
}

bool WriteImageBitmap(const RgbImage& image, const char* file, std::string& error)
{
    if (!image.pixels) {
        error = "there is no image to save (it could not be allocated)";
        return false;
    }
    // An empty image (a size of 0) makes a file of headers alone.
    const uint64_t packedRow = static_cast<uint64_t>(image.width) * 3;
    const uint64_t fileRow = (packedRow + 3) & ~static_cast<uint64_t>(3);
    const uint64_t imageSize = fileRow * static_cast<uint64_t>(image.height);
    if (imageSize > UINT32_MAX - (fileHeaderSize + infoHeaderSize)) {
        error = "the image is too large for a bitmap file";
        return false;
    }

    uint8_t headers[fileHeaderSize + infoHeaderSize];
    BuildHeaders(headers, image.width, image.height, static_cast<uint32_t>(imageSize));

    // The file wants rows filled out to 4 bytes; memory holds them packed.
    // Only such widths need a copy.
    uint8_t* padded = nullptr;
    const uint8_t* pixels = image.pixels;
    if (fileRow != packedRow) {
        padded = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(imageSize), 1));
        if (!padded) {
            error = "out of memory while preparing the image";
            return false;
        }
        for (int32_t row = 0; row < image.height; ++row)
            std::memcpy(padded + row * fileRow, image.pixels + row * packedRow,
                        static_cast<size_t>(packedRow));
        pixels = padded;
    }

    FilePart parts[] = {{headers, sizeof headers}, {pixels, static_cast<size_t>(imageSize)}};
    const bool ok = WriteWholeFile(file, parts, 2, error);
    std::free(padded);
    return ok;
}

bool WriteOutputBitmap(const char* file, std::string& error)
{
    return WriteImageBitmap(app.outputImage, file, error);
}

const char kOutputFileName[] = "output.bmp";

void LaunchPreview() { LaunchShellPreview(kOutputFileName); }
