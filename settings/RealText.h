#pragma once
// Conversions between real values and text, the same on every platform and
// in every locale.
#include <cstddef>

// The classic atof grammar: leading blanks, sign, digits, point, digits,
// exponent; stops at the first character that does not fit; correctly
// rounded; no inf, nan, hex or 'd' exponents. Text without a number gives 0.
// When end is given it receives where the number stopped (text itself when
// there was none), so a caller can insist on a whole text being a number.
double TextToDouble(const char* text, const char** end = nullptr);
// As TextToDouble, but also reads back the texts FormatFixed writes for
// non-finite values ("inf", "-inf", "nan", "-nan").
double ReadReal(const char* text);
// printf's "%.<decimals>f" of value, locale-free; "inf", "-inf", "nan" or
// "-nan" for non-finite values. Returns the length written.
size_t FormatFixed(double value, int decimals, char* buffer, size_t capacity);
