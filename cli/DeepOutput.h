#pragma once
// halovane-render's deep picture: the deep image kept beside the output
// image and its files written at the end and after every run.
#include <cstdint>
#include <string>

#include "cli/DeepOptions.h"
#include "cli/Recipe.h"

// The options taken together, before anything renders: the deep image
// follows the region's splats, and a frame pattern has --frames' rules.
// False with a one-line reason.
bool CheckDeepOptions(const DeepOptions& deep, bool haveRegion, std::string& reason);
// Keeps the deep image at the output image's size when a deep output is
// asked for (the blocks are allocated). Its 16-bit pictures carry recipe
// and the tone settings as text. False after the memory error is shown.
bool PrepareDeepImage(const DeepOptions& deep, const Recipe& recipe);
// The tone settings as the text of a picture's "Halovane tone" chunk.
std::string ToneText(const ToneSettings& tone);
// The name of deep frame k, or empty without deep frames (after
// CheckDeepOptions).
std::string DeepFrameName(uint32_t frame);
// The deep frame of a run end, when asked for. False with the reason.
bool WriteDeepFrame(uint32_t frame, std::string& error);
// The deep outputs at the end. False with the reason.
bool WriteDeepOutputs(std::string& error);
