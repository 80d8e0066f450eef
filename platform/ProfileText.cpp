#include "platform/ProfileText.h"

#include "platform/Text.h"

std::string ProfileValue(const std::string& raw)
{
    size_t begin = 0;
    size_t end = raw.size();
    while (begin < end && IsSpace(raw[begin])) ++begin;
    while (end > begin && IsSpace(raw[end - 1])) --end;
    if (end - begin >= 2 && (raw[begin] == '"' || raw[begin] == '\'') && raw[end - 1] == raw[begin]) {
        ++begin;
        --end;
    }
    return raw.substr(begin, end - begin);
}

int32_t ProfileTextToInt(const std::string& value, int32_t fallback)
{
    if (value.empty()) return fallback;
    const size_t kCounted = 29;
    size_t end = value.size() < kCounted ? value.size() : kCounted;
    size_t i = 0;
    while (i < end && value[i] != '\0' && static_cast<unsigned char>(value[i]) <= ' ') ++i;
    bool negative = false;
    if (i < end && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    uint32_t base = 10;
    if (i + 1 < end && value[i] == '0') {
        char prefix = value[i + 1];
        if (prefix == 'x') base = 16;
        else if (prefix == 'o') base = 8;
        else if (prefix == 'b') base = 2;
        if (base != 10) i += 2;
    }
    uint32_t number = 0;
    for (; i < end; ++i) {
        char c = value[i];
        uint32_t digit;
        if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'z') digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'Z') digit = static_cast<uint32_t>(c - 'A' + 10);
        else break;
        if (digit >= base) break;
        number = number * base + digit;  // unsigned: wraps modulo 2^32
    }
    if (negative) number = 0u - number;
    return static_cast<int32_t>(number);
}
