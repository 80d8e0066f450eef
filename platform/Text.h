#pragma once
// Small text rules shared by the profile emulation, the settings file and
// the real-number reader. Locale-free on purpose: a settings file must read
// the same everywhere.
#include <cstddef>

// Blanks inside one line of a profile file (line ends never reach it).
inline bool IsLineBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// Blanks around a value or a number, line ends included.
inline bool IsSpace(char c) { return IsLineBlank(c) || c == '\r' || c == '\n'; }

inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Names compare without regard to ASCII case; a is aLength bytes long, b is
// terminated.
inline bool SameName(const char* a, size_t aLength, const char* b)
{
    size_t i = 0;
    for (; i < aLength && b[i]; ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return i == aLength && b[i] == '\0';
}

inline bool SameName(const char* a, const char* b)
{
    size_t n = 0;
    while (a[n]) ++n;
    return SameName(a, n, b);
}

// True when text ends in tail, without regard to ASCII case (".png").
inline bool EndsWithNoCase(const char* text, const char* tail)
{
    size_t n = 0, t = 0;
    while (text[n]) ++n;
    while (tail[t]) ++t;
    return n >= t && SameName(text + n - t, t, tail);
}
