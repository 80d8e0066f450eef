#pragma once
// halovane-render's deep picture options: the outputs of the deep image and
// the tone mapping of its 16-bit picture.
#include <string>

#include "output/Tone.h"

struct DeepOptions {
    const char* png = nullptr;     // the tone-mapped 16-bit PNG
    const char* pfm = nullptr;     // the raw counts
    const char* frames = nullptr;  // after every run; .png or .pfm by the pattern
    ToneSettings tone;
};

extern const char* const deepUsageText;

// True when any deep output is asked for: the deep image is kept then.
bool DeepWanted(const DeepOptions& deep);
// True for the names of the options below; each takes a value.
bool IsDeepOption(const std::string& name);
// Reads one of them. False with a one-line reason for a bad value.
bool ParseDeepOption(const std::string& name, const char* value, DeepOptions& deep, std::string& reason);
