#include "output/Pfm.h"

#include <cstdio>
#include <cstring>

#include "platform/Platform.h"

// A float's bits in the file's order (little-endian) whatever the machine's.
static uint32_t LittleEndianBits(uint32_t count)
{
    const float f = static_cast<float>(count);
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    uint8_t bytes[4];
    for (int b = 0; b < 4; ++b) bytes[b] = static_cast<uint8_t>(bits >> (8 * b));
    std::memcpy(&bits, bytes, 4);
    return bits;
}

bool WriteCountsPfm(uint32_t* counts, int32_t width, int32_t height, const char* file, std::string& error)
{
    if (!counts) {
        error = "there is no deep image to save";
        return false;
    }
    char header[64];
    const int headerBytes = std::snprintf(header, sizeof header, "PF\n%d %d\n-1.0\n", width, height);
    const size_t values = static_cast<size_t>(width) * static_cast<size_t>(height) * 3u;
    for (size_t p = 0; p < values; p += 3) {
        // Blue first in memory, red first in the file.
        const uint32_t blue = counts[p];
        counts[p] = LittleEndianBits(counts[p + 2]);
        counts[p + 1] = LittleEndianBits(counts[p + 1]);
        counts[p + 2] = LittleEndianBits(blue);
    }
    const FilePart parts[] = {{header, static_cast<size_t>(headerBytes)}, {counts, values * 4}};
    return WriteWholeFile(file, parts, 2, error);
}
