#pragma once
// The deep counts as a Portable Float Map: "PF\n", "<width> <height>\n",
// "-1.0\n" (little-endian), then 32-bit floats red, green, blue per pixel,
// rows bottom-up, as the format wants them. A count is exact in a float up
// to 2^24; above that it is rounded to the nearest float.
#include <cstdint>
#include <string>

// Counts as the deep image holds them (blue first, rows bottom-up). They are
// turned into the file's floats in place (an 8192 x 8192 picture's counts
// take 768 MiB; no second copy). Written through the platform's file writer;
// false with the reason when nothing was.
bool WriteCountsPfm(uint32_t* counts, int32_t width, int32_t height, const char* file, std::string& error);
