#include "cli/DeepOptions.h"

#include <cmath>
#include <cstring>

#include "output/Png.h"
#include "settings/RealText.h"

const char* const deepUsageText =
    "deep picture (region mode; 32-bit counts per channel beside the 8-bit image):\n"
    "  --deep-png FILE       write the tone-mapped picture as a 16-bit RGB PNG\n"
    "                        (default: none)\n"
    "  --deep-pfm FILE       write the raw counts as a 32-bit float PFM file\n"
    "                        (default: none)\n"
    "  --deep-frames PATTERN also after every run, as --frames does; .png for\n"
    "                        the tone-mapped picture, .pfm for the counts\n"
    "                        (default: none)\n"
    "  --curve NAME          linear, sqrt (default), log or gamma\n"
    "  --gamma G             the gamma curve's exponent 1/G, G above 0 (default 2.2)\n"
    "  --exposure E          auto (default): the --percentile of the lit pixels\n"
    "                        is white; or the count (above 0) that is white\n"
    "  --percentile P        0 to 100 (default 99.5)\n";

bool DeepWanted(const DeepOptions& deep) { return deep.png || deep.pfm || deep.frames; }

bool IsDeepOption(const std::string& name)
{
    return name == "--deep-png" || name == "--deep-pfm" || name == "--deep-frames" || name == "--curve" ||
           name == "--gamma" || name == "--exposure" || name == "--percentile";
}

static bool Refuse(std::string& reason, const std::string& text)
{
    reason = text;
    return false;
}

// One whole finite real (blanks before it allowed, nothing after).
static bool ReadNumber(const char* text, double& value)
{
    const char* end = nullptr;
    value = TextToDouble(text, &end);
    return end != text && *end == '\0' && std::isfinite(value);
}

bool ParseDeepOption(const std::string& name, const char* value, DeepOptions& deep, std::string& reason)
{
    const std::string given = value;
    double number = 0.0;
    if (name == "--deep-png" || name == "--deep-pfm") {
        if (!*value) return Refuse(reason, "empty file name after " + name);
        // The option names the format: any name will do, "-" for standard output.
        const bool png = name == "--deep-png";
        if (png && !PngAvailable()) return Refuse(reason, "this build cannot write PNG files: " + given);
        (png ? deep.png : deep.pfm) = value;
    } else if (name == "--deep-frames") {
        deep.frames = value;  // checked with the other frame patterns' rules before rendering
    } else if (name == "--curve") {
        ToneCurve& c = deep.tone.curve;
        if (given == "linear") c = toneLinear;
        else if (given == "sqrt") c = toneSqrt;
        else if (given == "log") c = toneLog;
        else if (given == "gamma") c = toneGamma;
        else return Refuse(reason, "--curve needs linear, sqrt, log or gamma: " + given);
    } else if (name == "--gamma") {
        if (!ReadNumber(value, number) || !(number > 0.0))
            return Refuse(reason, "--gamma needs a number above 0: " + given);
        deep.tone.gamma = number;
    } else if (name == "--exposure") {
        if (given == "auto") {
            deep.tone.autoExposure = true;
        } else {
            if (!ReadNumber(value, number) || !(number > 0.0))
                return Refuse(reason, "--exposure needs auto or a count above 0: " + given);
            deep.tone.autoExposure = false;
            deep.tone.white = number;
        }
    } else if (name == "--percentile") {
        if (!ReadNumber(value, number) || number < 0.0 || number > 100.0)
            return Refuse(reason, "--percentile needs a number from 0 to 100: " + given);
        deep.tone.percentile = number;
    } else {
        return Refuse(reason, "unknown option " + name);
    }
    return true;
}
