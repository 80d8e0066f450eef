#pragma once
// PNG files for halovane-render: 8-bit RGB with exactly the image's pixels.
// Builds without a PNG library (the Windows one) refuse PNG names instead.
#include <string>
#include <vector>

#include "base/SharedTypes.h"
#include "output/PngText.h"

// True when name ends in ".png", in any case.
bool IsPngName(const char* name);
// True when this build can write PNG files.
bool PngAvailable();
// Writes image as a PNG through the platform's file writer (unique
// temporary, atomic replace, "-" for standard output), with the text chunks
// before the pixels. False with the reason in error when nothing was written.
bool WriteImagePng(const RgbImage& image, const char* file, std::string& error,
                   const std::vector<PngText>& texts = {});
// A PNG for a PNG name (with the text chunks), a bitmap for any other.
bool WriteImageFile(const RgbImage& image, const char* file, std::string& error,
                    const std::vector<PngText>& texts = {});
