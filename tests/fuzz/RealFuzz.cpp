// libFuzzer target: any text as a real number. Where the text holds nothing
// beyond the classic decimal grammar, the C library's strtod (correctly
// rounded in the C locale) must give the very same value.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/RealText.h"

// strtod also reads hex numbers, infinities and NaNs; our grammar does not.
static bool DecimalOnly(const std::string& text)
{
    return text.find_first_of("xXiInNpP") == std::string::npos;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);  // stops at a NUL when read
    const double value = TextToDouble(text.c_str());
    const double read = ReadReal(text.c_str());
    if (DecimalOnly(text)) {
        const double expected = std::strtod(text.c_str(), nullptr);
        if (std::memcmp(&value, &expected, sizeof value) != 0 || std::memcmp(&read, &expected, sizeof read) != 0) {
            std::fprintf(stderr, "TextToDouble gives %.17g, strtod %.17g\n", value, expected);
            std::abort();
        }
    }
    char buffer[64];
    FormatFixed(value, 13, buffer, sizeof buffer);
    // Formatting and reading again gives the value back when it fits in 13 decimals.
    if (std::isfinite(value) && std::fabs(value) < 1e15 && value == std::round(value * 8) / 8) {
        if (ReadReal(buffer) != value) std::abort();
    }
    return 0;
}
