#include "output/Pfm.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/Platform.h"

bool WriteCountsPfm(const uint32_t* counts, int32_t width, int32_t height, const char* file, std::string& error)
{
    if (!counts) {
        error = "there is no deep image to save";
        return false;
    }
    char header[64];
    const int headerBytes = std::snprintf(header, sizeof header, "PF\n%d %d\n-1.0\n", width, height);
    const size_t values = static_cast<size_t>(width) * static_cast<size_t>(height) * 3u;
    uint8_t* body = new (std::nothrow) uint8_t[values * 4 + 1];
    if (!body) {
        error = "out of memory while preparing the PFM file";
        return false;
    }
    for (size_t p = 0; p < values; p += 3) {
        // Blue first in memory, red first in the file; each float stored little-endian.
        const uint32_t rgb[3] = {counts[p + 2], counts[p + 1], counts[p]};
        for (int k = 0; k < 3; ++k) {
            const float f = static_cast<float>(rgb[k]);
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            uint8_t* at = body + (p + k) * 4;
            for (int b = 0; b < 4; ++b) at[b] = static_cast<uint8_t>(bits >> (8 * b));
        }
    }
    const FilePart parts[] = {{header, static_cast<size_t>(headerBytes)}, {body, values * 4}};
    const bool ok = WriteWholeFile(file, parts, 2, error);
    delete[] body;
    return ok;
}
