#include "output/Png16.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "platform/Platform.h"

#ifdef HALOVANE_HAVE_PNG
#include <png.h>

// The encoded file grows in one malloc'd block; libpng calls back into C,
// so nothing here has a destructor to skip when it jumps out on an error.
struct PngBuffer {
    uint8_t* bytes;
    size_t size;
    size_t capacity;
    bool failed;
};

static void AppendBytes(png_structp png, png_bytep data, png_size_t length)
{
    PngBuffer* b = static_cast<PngBuffer*>(png_get_io_ptr(png));
    if (b->failed) return;
    if (b->size + length > b->capacity) {
        size_t capacity = b->capacity ? b->capacity : 65536;
        while (capacity < b->size + length) capacity *= 2;
        uint8_t* grown = static_cast<uint8_t*>(std::realloc(b->bytes, capacity));
        if (!grown) {
            b->failed = true;
            return;
        }
        b->bytes = grown;
        b->capacity = capacity;
    }
    std::memcpy(b->bytes + b->size, data, length);
    b->size += length;
}

static void NoFlush(png_structp) {}

// Encodes into buffer; false when libpng gave up or memory ran out.
static bool EncodePng16(const uint16_t* rgb, int32_t width, int32_t height, PngBuffer* buffer, uint8_t* row)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, buffer, AppendBytes, NoFlush);
    png_set_compression_level(png, 1);  // fast: the levels are noisy anyway
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 16,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t levels = static_cast<size_t>(width) * 3u;
    for (int32_t y = 0; y < height; ++y) {
        // PNG samples are big-endian.
        const uint16_t* from = rgb + static_cast<size_t>(y) * levels;
        for (size_t k = 0; k < levels; ++k) {
            row[2 * k] = static_cast<uint8_t>(from[k] >> 8);
            row[2 * k + 1] = static_cast<uint8_t>(from[k]);
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return !buffer->failed;
}

bool WritePng16(const uint16_t* rgb, int32_t width, int32_t height, const char* file, std::string& error,
                const std::vector<PngText>& texts)
{
    if (width <= 0 || height <= 0) {
        error = "a PNG needs at least one pixel";
        return false;
    }
    PngBuffer buffer = {nullptr, 0, 0, false};
    uint8_t* row = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(width) * 6u));
    const bool encoded = row && EncodePng16(rgb, width, height, &buffer, row);
    std::free(row);
    if (!encoded) {
        std::free(buffer.bytes);
        error = "the 16-bit PNG could not be encoded (out of memory?)";
        return false;
    }
    // The text chunks go between the header and the pixels, as in 8-bit PNGs.
    const size_t head = PngTextOffset(buffer.bytes, buffer.size);
    const std::string chunks = head > 0 ? PngTextChunks(texts) : std::string();
    const FilePart parts[3] = {{buffer.bytes, head},
                               {chunks.data(), chunks.size()},
                               {buffer.bytes + head, buffer.size - head}};
    const bool ok = WriteWholeFile(file, parts, 3, error);
    std::free(buffer.bytes);
    return ok;
}

#else

bool WritePng16(const uint16_t*, int32_t, int32_t, const char*, std::string& error, const std::vector<PngText>&)
{
    error = "this build has no PNG library";
    return false;
}

#endif
