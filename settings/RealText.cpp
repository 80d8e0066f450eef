// Real values to and from text without the C runtime, whose conversions
// differ between platforms and follow the user's locale.
#include "settings/RealText.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

static bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Lower-case comparison of text's start with word (word is lower case).
static bool StartsWithWord(const char* text, const char* word)
{
    for (; *word; ++text, ++word) {
        char c = *text;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != *word) return false;
    }
    return true;
}

double TextToDouble(const char* text)
{
    if (!text) return 0.0;
    const char* p = text;
    while (IsBlank(*p)) ++p;
    bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;

    // Mantissa: digits, optional point, digits; at least one digit in all.
    const char* start = p;
    long long magnitude = 0;  // decimal position of the first significant digit
    bool seenSignificant = false;
    int digits = 0;
    for (; IsDigit(*p); ++p, ++digits) {
        if (*p != '0') seenSignificant = true;
        if (seenSignificant && magnitude < 100000) ++magnitude;
    }
    if (*p == '.') {
        ++p;
        for (; IsDigit(*p); ++p, ++digits) {
            if (*p != '0') seenSignificant = true;
            if (!seenSignificant && magnitude > -100000) --magnitude;
        }
    }
    if (digits == 0) return 0.0;
    if (!seenSignificant) return negative ? -0.0 : 0.0;

    // Exponent: only when at least one digit follows 'e' and its sign.
    const char* end = p;
    long long exponent = 0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        bool exponentNegative = *q == '-';
        if (*q == '+' || *q == '-') ++q;
        if (IsDigit(*q)) {
            for (; IsDigit(*q); ++q)
                if (exponent < 100000) exponent = exponent * 10 + (*q - '0');
            if (exponentNegative) exponent = -exponent;
            end = q;
        }
    }

    double value = 0.0;
    std::from_chars_result result = std::from_chars(start, end, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Beyond the double range: a huge value overflows, a tiny one is 0.
        value = magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (result.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

double ReadReal(const char* text)
{
    if (!text) return 0.0;
    const char* p = text;
    while (IsBlank(*p)) ++p;
    bool negative = *p == '-';
    const char* word = (*p == '+' || *p == '-') ? p + 1 : p;
    if (StartsWithWord(word, "inf")) {
        double infinity = std::numeric_limits<double>::infinity();
        return negative ? -infinity : infinity;
    }
    if (StartsWithWord(word, "nan")) {
        double nan = std::numeric_limits<double>::quiet_NaN();
        return negative ? -nan : nan;
    }
    return TextToDouble(text);
}

size_t FormatFixed(double value, int decimals, char* buffer, size_t capacity)
{
    if (capacity == 0) return 0;
    const char* special = nullptr;
    if (std::isnan(value)) special = std::signbit(value) ? "-nan" : "nan";
    else if (std::isinf(value)) special = value < 0 ? "-inf" : "inf";
    size_t length = 0;
    if (special) {
        size_t n = std::strlen(special);
        if (n < capacity) {
            std::memcpy(buffer, special, n);
            length = n;
        }
    } else {
        std::to_chars_result result = std::to_chars(buffer, buffer + capacity - 1, value,
                                                    std::chars_format::fixed, decimals);
        if (result.ec == std::errc()) length = static_cast<size_t>(result.ptr - buffer);
    }
    buffer[length] = '\0';
    return length;
}
