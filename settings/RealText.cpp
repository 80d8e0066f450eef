// Real values to and from text without the C runtime, whose conversions
// differ between platforms and follow the user's locale.
#include "settings/RealText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>

#include "platform/Text.h"

static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Lower-case comparison of text's start with word (word is lower case).
static bool StartsWithWord(const char* text, const char* word)
{
    for (; *word; ++text, ++word) {
        if (LowerAscii(*text) != *word) return false;
    }
    return true;
}

// Significant digits kept for the conversion. Every halfway point between
// two neighbouring doubles has at most 767 significant digits, so past this
// many only whether some digit is not zero can change the rounding.
static const size_t kKeptDigits = 800;
// Exponents are counted up to this size; far beyond the double range.
static const long long kExponentCap = 1000000000000LL;

// The digits of a number in text: value = digits x 10^scale, the digits
// without leading zeros and cut to kKeptDigits, with a last '1' standing for
// any non-zero digit cut off.
struct DecimalDigits {
    char digits[kKeptDigits + 2];
    size_t count;
    bool cutNonZero;
    long long scale;
};

static void AddDigit(DecimalDigits& number, char c, bool afterPoint)
{
    if (number.count == 0 && c == '0') {
        if (afterPoint) --number.scale;
        return;
    }
    if (number.count < kKeptDigits) {
        number.digits[number.count++] = c;
        if (afterPoint) --number.scale;
        return;
    }
    if (c != '0') number.cutNonZero = true;
    if (!afterPoint) ++number.scale;
}

double TextToDouble(const char* text, const char** end)
{
    if (end) *end = text;
    if (!text) return 0.0;
    const char* p = text;
    while (IsSpace(*p)) ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;

    // Mantissa: digits, optional point, digits; at least one digit in all.
    DecimalDigits number;
    number.count = 0;
    number.cutNonZero = false;
    number.scale = 0;
    size_t digits = 0;
    for (; IsDigit(*p); ++p, ++digits) AddDigit(number, *p, false);
    if (*p == '.') {
        ++p;
        for (; IsDigit(*p); ++p, ++digits) AddDigit(number, *p, true);
    }
    if (digits == 0) return 0.0;

    // Exponent: only when at least one digit follows 'e' and its sign.
    long long exponent = 0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        const bool exponentNegative = *q == '-';
        if (*q == '+' || *q == '-') ++q;
        if (IsDigit(*q)) {
            for (; IsDigit(*q); ++q)
                if (exponent < kExponentCap) exponent = exponent * 10 + (*q - '0');
            p = q;
        }
        if (exponentNegative) exponent = -exponent;
    }
    if (end) *end = p;
    if (number.count == 0) return negative ? -0.0 : 0.0;

    if (number.cutNonZero) {
        number.digits[number.count++] = '1';
        --number.scale;
    }
    // The value lies in [10^(top - 1), 10^top).
    const long long power = number.scale + exponent;
    const long long top = power + static_cast<long long>(number.count);
    const double infinity = std::numeric_limits<double>::infinity();
    double value = 0.0;
    if (top > 310) {
        value = infinity;
    } else if (top >= -330) {
        char buffer[kKeptDigits + 32];
        std::memcpy(buffer, number.digits, number.count);
        const int tail = std::snprintf(buffer + number.count, sizeof buffer - number.count, "e%lld", power);
        std::from_chars_result result = std::from_chars(buffer, buffer + number.count + tail, value,
                                                        std::chars_format::general);
        if (result.ec == std::errc::result_out_of_range) value = top > 0 ? infinity : 0.0;
        else if (result.ec != std::errc()) value = 0.0;
    }
    return negative ? -value : value;
}

double ReadReal(const char* text)
{
    if (!text) return 0.0;
    const char* p = text;
    while (IsSpace(*p)) ++p;
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
