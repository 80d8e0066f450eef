#pragma once
// 16-bit RGB PNG files (the tone-mapped deep picture). Builds without a PNG
// library refuse them, as they refuse 8-bit ones.
#include <cstdint>
#include <string>
#include <vector>

#include "output/PngText.h"

// rgb: width x height x 3 levels, red first, rows top-down. Written through
// the platform's file writer, with texts as chunks after the header; false
// with the reason when nothing was.
bool WritePng16(const uint16_t* rgb, int32_t width, int32_t height, const char* file, std::string& error,
                const std::vector<PngText>& texts = {});
