#pragma once
// halovane-render's command line.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/DeepOptions.h"
#include "output/Bitmap.h"

enum ExitCode { exitDone = 0, exitUsage = 2, exitMemory = 3, exitOutput = 4 };

extern const char* const usageText;

struct Setting {
    std::string key;
    std::string value;
};

// A --frames pattern split at its one integer conversion, "%%" made "%".
struct FramePattern {
    std::string before;
    std::string conversion;  // printf conversion for a long long, e.g. "%04lld"
    std::string after;
};

struct Options {
    const char* settingsFile = nullptr;
    std::vector<Setting> sets;
    bool haveStart = false;
    double startRe = 0.0;
    double startIm = 0.0;
    bool snap = false;
    bool haveRegion = false;
    double regionRe = 0.0;
    double regionIm = 0.0;
    double regionSide = 0.0;
    uint32_t runs = 1;
    const char* output = kOutputFileName;
    const char* frames = nullptr;  // the pattern as given; none: no frames
    FramePattern framePattern;
    bool printSettings = false;
    const char* saveSettings = nullptr;
    uint32_t threads = 0;  // 0: every processor
    const char* path = "best";
    bool quiet = false;
    bool version = false;
    bool help = false;
    DeepOptions deep;
};

// Reads argv into options. False with a one-line reason for a bad line.
bool ParseCommandLine(int argc, char** argv, Options& options, std::string& reason);

// Reads a --frames pattern: exactly one integer conversion (d, i, u, o, x or
// X, with flags and a width or precision of at most two digits), and a .png
// or .bmp extension in any case. False with a one-line reason otherwise.
bool ParseFramePattern(const char* text, FramePattern& pattern, std::string& reason);
// The file name of frame number frame.
std::string FrameName(const FramePattern& pattern, uint32_t frame);
