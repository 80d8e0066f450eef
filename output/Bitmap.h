#pragma once
// The bitmap file written by Save, and the shell preview.
#include <string>

#include "base/SharedTypes.h"

// The name Save writes, in the current directory, and the preview opens.
extern const char kOutputFileName[];

// Writes the output image to file (kOutputFileName for Save). Rows whose byte length is not a multiple of 4 are filled out
// in the file. The old file is replaced only when the new one is complete.
// False with the reason in error when nothing was written.
bool WriteOutputBitmap(const char* file, std::string& error);
// The same for any image (halovane-render writes the view image with it).
bool WriteImageBitmap(const RgbImage& image, const char* file, std::string& error);
// Hands kOutputFileName to the desktop shell with the verb "preview".
void LaunchPreview();
