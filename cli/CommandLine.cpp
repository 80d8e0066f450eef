// halovane-render's command line: options and their values.
#include "cli/CommandLine.h"

#include <cstdio>
#include <cstring>

#include "output/Png.h"
#include "platform/Text.h"
#include "render/RenderPath.h"
#include "settings/RealText.h"

const char* const usageText =
    "usage: halovane-render [options]\n"
    "  --settings FILE       read the settings from FILE, a pipe, or - for standard\n"
    "                        input (default: Halovane.ini beside the executable;\n"
    "                        a missing file gives the defaults)\n"
    "  --set KEY=VALUE       override one setting after loading (repeatable;\n"
    "                        default: none)\n"
    "  --start X,Y           start point (default: the settings' X, Y)\n"
    "  --snap                pull the start point onto the set border (default: off)\n"
    "  --region CX,CY,W      region mode over the square centred at (CX, CY)\n"
    "                        with side W (default: view mode, 512 x 512)\n"
    "  --runs N              N runs chained as in continuous mode (default 1)\n"
    "  -o, --output FILE     the image written at the end: PNG for a .png name,\n"
    "                        a bitmap for any other (default output.bmp;\n"
    "                        - for standard output)\n"
    "  --frames PATTERN      also write the image after every run, to PATTERN\n"
    "                        with one integer conversion numbered from 1, as PNG\n"
    "                        or bitmap by its extension, e.g. f-%04d.png\n"
    "                        (default: no frames)\n"
    "  --print-settings      print the effective settings file lines, then exit\n"
    "                        (default: off)\n"
    "  --save-settings FILE  save the effective settings into FILE, then exit\n"
    "                        (default: none)\n"
    "  --threads N           threads that share the passes, 1 to 256 (default:\n"
    "                        every processor)\n"
    "  --path NAME           reference (the plain passes), sse2, avx2 or best\n"
    "                        (default); a path the processor lacks gives best\n"
    "  --quiet               no progress output (default: progress on standard\n"
    "                        error, redrawn on a terminal, a line every 10 s\n"
    "                        otherwise)\n"
    "  --version             show the program's version\n"
    "  --help                show this text\n"
    "exit codes: 0 done, 2 bad command line or settings input, 3 out of memory,\n"
    "            4 an image could not be written\n";

// True when text is one whole real number (blanks before it, nothing after).
static bool ReadWholeReal(const std::string& text, double& value)
{
    const char* end = nullptr;
    value = TextToDouble(text.c_str(), &end);
    return end != text.c_str() && *end == '\0';
}

// Splits "a,b,..." into exactly count reals.
static bool ParseReals(const char* text, double* values, size_t count)
{
    std::string rest = text;
    for (size_t k = 0; k < count; ++k) {
        const size_t comma = rest.find(',');
        const bool last = k + 1 == count;
        if (last != (comma == std::string::npos)) return false;
        const std::string field = last ? rest : rest.substr(0, comma);
        if (!ReadWholeReal(field, values[k])) return false;
        if (!last) rest = rest.substr(comma + 1);
    }
    return true;
}

static bool ParseCount(const char* text, uint32_t& value)
{
    if (!*text) return false;
    uint64_t v = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + static_cast<uint64_t>(*p - '0');
        if (v > UINT32_MAX) return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

static bool Fail(std::string& reason, const std::string& text)
{
    reason = text;
    return false;
}

// Reads one printf integer conversion at text[at] (just after its '%'):
// flags (- + space 0), a width and a precision of at most two digits each, a length
// modifier (ignored: the number is formatted as long long), then d, i, u,
// o, x or X. Gives the conversion for a long long and the index after it.
static bool ReadConversion(const std::string& text, size_t at, std::string& conversion, size_t& next)
{
    std::string format = "%";
    size_t k = at;
    while (k < text.size() && std::strchr("-+ 0", text[k])) format += text[k++];
    for (int part = 0; part < 2; ++part) {
        if (part == 1) {
            if (k >= text.size() || text[k] != '.') break;
            format += text[k++];
        }
        size_t digits = 0;
        while (k < text.size() && text[k] >= '0' && text[k] <= '9' && digits < 3) {
            format += text[k++];
            ++digits;
        }
        if (digits > 2) return false;
    }
    while (k < text.size() && std::strchr("hljzt", text[k])) ++k;
    if (k >= text.size() || !std::strchr("diuoxX", text[k])) return false;
    conversion = format + "ll" + text[k];
    next = k + 1;
    return true;
}

bool ParseFramePattern(const char* text, FramePattern& pattern, std::string& reason)
{
    const std::string whole = text;
    const std::string refusal = "--frames needs a pattern with exactly one integer conversion, "
                                "such as f-%04d.png: " + whole;
    pattern = FramePattern();
    bool found = false;
    for (size_t k = 0; k < whole.size();) {
        if (whole[k] != '%') {
            (found ? pattern.after : pattern.before) += whole[k++];
        } else if (k + 1 < whole.size() && whole[k + 1] == '%') {
            (found ? pattern.after : pattern.before) += '%';
            k += 2;
        } else {
            if (found || !ReadConversion(whole, k + 1, pattern.conversion, k)) return Fail(reason, refusal);
            found = true;
        }
    }
    if (!found) return Fail(reason, refusal);
    const bool png = IsPngName(text);
    if (!png && !EndsWithNoCase(text, ".bmp"))
        return Fail(reason, "--frames needs a pattern ending in .png or .bmp: " + whole);
    if (png && !PngAvailable()) return Fail(reason, "this build cannot write PNG frames: " + whole);
    return true;
}

std::string FrameName(const FramePattern& pattern, uint32_t frame)
{
    char number[160];
    std::snprintf(number, sizeof number, pattern.conversion.c_str(), static_cast<long long>(frame));
    return pattern.before + number + pattern.after;
}

bool ParseCommandLine(int argc, char** argv, Options& options, std::string& reason)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        const char* value = nullptr;
        // "--name=value" as well as "--name value"
        const size_t equals = name.find('=');
        if (name.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            value = argv[i] + equals + 1;
            name = name.substr(0, equals);
        }
        const bool takesValue = name == "--settings" || name == "--set" || name == "--start" ||
                                name == "--region" || name == "--runs" || name == "-o" ||
                                name == "--output" || name == "--save-settings" ||
                                name == "--threads" || name == "--path" || name == "--frames" ||
                                IsDeepOption(name);
        if (takesValue && !value) {
            if (i + 1 >= argc) return Fail(reason, "missing value after " + name);
            value = argv[++i];
        } else if (!takesValue && value) {
            return Fail(reason, name + " takes no value");
        }

        if (name == "--settings") {
            options.settingsFile = value;
        } else if (name == "--set") {
            const char* eq = std::strchr(value, '=');
            if (!eq || eq == value) return Fail(reason, std::string("--set needs KEY=VALUE: ") + value);
            options.sets.push_back({std::string(value, eq), std::string(eq + 1)});
        } else if (name == "--start") {
            double v[2];
            if (!ParseReals(value, v, 2))
                return Fail(reason, std::string("--start needs two numbers X,Y: ") + value);
            options.haveStart = true;
            options.startRe = v[0];
            options.startIm = v[1];
        } else if (name == "--snap") {
            options.snap = true;
        } else if (name == "--region") {
            double v[3];
            if (!ParseReals(value, v, 3))
                return Fail(reason, std::string("--region needs three numbers CX,CY,W: ") + value);
            options.haveRegion = true;
            options.regionRe = v[0];
            options.regionIm = v[1];
            options.regionSide = v[2];
        } else if (name == "--runs") {
            if (!ParseCount(value, options.runs))
                return Fail(reason, std::string("--runs needs a whole number: ") + value);
        } else if (name == "-o" || name == "--output") {
            if (!*value) return Fail(reason, "empty output file name");
            if (IsPngName(value) && !PngAvailable())
                return Fail(reason, std::string("this build cannot write PNG files: ") + value);
            options.output = value;
        } else if (name == "--frames") {
            if (!ParseFramePattern(value, options.framePattern, reason)) return false;
            options.frames = value;
        } else if (name == "--print-settings") {
            options.printSettings = true;
        } else if (name == "--save-settings") {
            if (!*value) return Fail(reason, "empty settings file name");
            options.saveSettings = value;
        } else if (name == "--threads") {
            if (!ParseCount(value, options.threads) || options.threads == 0 || options.threads > 256)
                return Fail(reason, std::string("--threads needs a count from 1 to 256: ") + value);
        } else if (name == "--path") {
            RenderPath path;
            if (std::strcmp(value, "best") != 0 && !RenderPathFromName(value, path))
                return Fail(reason, std::string("--path needs reference, sse2, avx2 or best: ") + value);
            options.path = value;
        } else if (IsDeepOption(name)) {
            if (!ParseDeepOption(name, value, options.deep, reason)) return false;
        } else if (name == "--quiet") {
            options.quiet = true;
        } else if (name == "--version") {
            options.version = true;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else {
            return Fail(reason, "unknown option " + name);
        }
    }
    return true;
}

