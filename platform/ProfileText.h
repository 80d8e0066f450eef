#pragma once
// How a private-profile value reads: the rules of the Windows profile
// functions, which the portable profile emulates and SetSettingFromText
// follows so that every build agrees.
#include <cstdint>
#include <string>

// The value as read: surrounding blanks removed, then one pair of matching
// quotes (" or ') around it.
std::string ProfileValue(const std::string& raw);
// The value as an integer: only its first 29 characters count; leading
// blanks, one sign, a lower-case 0x, 0o or 0b prefix, digits up to the first
// that does not fit, wrapping modulo 2^32. An empty value gives fallback;
// one without digits gives 0.
int32_t ProfileTextToInt(const std::string& value, int32_t fallback);
