#include "output/Png.h"

#include <cstdlib>
#include <cstring>

#include "output/Bitmap.h"
#include "platform/Platform.h"
#include "platform/Text.h"

#ifdef HALOVANE_HAVE_PNG
#include <png.h>
#endif

bool IsPngName(const char* name) { return EndsWithNoCase(name, ".png"); }

#ifdef HALOVANE_HAVE_PNG

bool PngAvailable() { return true; }

bool WriteImagePng(const RgbImage& image, const char* file, std::string& error,
                   const std::vector<PngText>& texts)
{
    if (!image.pixels) {
        error = "there is no image to save (it could not be allocated)";
        return false;
    }
    // libpng's simplified writer takes our layout as it stands: blue, green,
    // red, rows bottom-up (a negative row stride). Its fast setting (few
    // filters, light compression) keeps a 2048 x 2048 write near a tenth of
    // a second.
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_BGR;
    png.flags = PNG_IMAGE_FLAG_FAST;
    const png_int_32 stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(png));
    // The largest file the image can make, so that one encoding suffices.
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(png);
    void* bytes = std::malloc(static_cast<size_t>(size));
    if (!bytes) {
        error = "out of memory while encoding the PNG";
        return false;
    }
    if (!png_image_write_to_memory(&png, bytes, &size, 0, image.pixels, stride, nullptr)) {
        error = std::string("the PNG could not be encoded: ") + png.message;
        std::free(bytes);
        return false;
    }
    // The text chunks go between the header and the pixels, which stay as
    // libpng encoded them.
    const unsigned char* encoded = static_cast<const unsigned char*>(bytes);
    const size_t head = PngTextOffset(encoded, static_cast<size_t>(size));
    const std::string chunks = head > 0 ? PngTextChunks(texts) : std::string();
    const FilePart parts[3] = {{encoded, head},
                               {chunks.data(), chunks.size()},
                               {encoded + head, static_cast<size_t>(size) - head}};
    const bool ok = WriteWholeFile(file, parts, 3, error);
    std::free(bytes);
    return ok;
}

#else

bool PngAvailable() { return false; }

bool WriteImagePng(const RgbImage&, const char*, std::string& error, const std::vector<PngText>&)
{
    error = "this build has no PNG library";
    return false;
}

#endif

bool WriteImageFile(const RgbImage& image, const char* file, std::string& error,
                    const std::vector<PngText>& texts)
{
    return IsPngName(file) ? WriteImagePng(image, file, error, texts) : WriteImageBitmap(image, file, error);
}
