#pragma once
// halovane-render's command line.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/DeepOptions.h"
#include "output/Bitmap.h"

enum ExitCode { exitDone = 0, exitUsage = 2, exitMemory = 3, exitOutput = 4 };

extern const char* const usageText;

// One --set, checked against its key's kind: key as the table spells it.
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
    bool clearRuns = false;  // each chained run starts from cleared images
    bool haveRegion = false;
    double regionRe = 0.0;
    double regionIm = 0.0;
    double regionSide = 0.0;
    uint32_t runs = 1;
    const char* output = kOutputFileName;
    const char* frames = nullptr;  // the pattern as given; none: no frames
    FramePattern framePattern;
    // --recipe: the picture whose recipe replaces the scene options.
    const char* recipe = nullptr;
    // What a picture's recipe records beyond the options above: the command
    // line it was made with, the frames pattern, and which frame it is
    // (0: the final image of all the runs).
    std::string commandLine;
    std::string recipeFrames;
    uint32_t recipeFrame = 0;
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

// Reads "KEY=VALUE" strictly by the key's kind: a whole integer for integer
// keys, 0 or 1 for flags, a whole real for reals. False with a one-line
// reason naming the key, the value and what the key takes.
bool ParseSetting(const char* text, Setting& setting, std::string& reason);
// Stores a setting ParseSetting took, reals at full precision.
void StoreSetting(const Setting& setting);
// The option or setting name closest to a mistyped one, or "" when none is
// close enough to be meant.
std::string NearestName(const std::string& typed, const std::vector<std::string>& names);
// Splits "a,b,..." into exactly count whole reals.
bool ParseReals(const char* text, double* values, size_t count);
// A whole decimal count that fits 32 bits.
bool ParseCount(const char* text, uint32_t& value);
// The command line as one shell-quoted text, "halovane-render" first.
std::string QuotedCommandLine(int argc, char** argv);

// Reads a --frames pattern: exactly one integer conversion (d, i, u, o, x or
// X, with flags and a width or precision of at most two digits), and a .png
// or .bmp extension in any case. False with a one-line reason otherwise.
bool ParseFramePattern(const char* text, FramePattern& pattern, std::string& reason);
// The file name of frame number frame.
std::string FrameName(const FramePattern& pattern, uint32_t frame);
