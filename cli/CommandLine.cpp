// halovane-render's command line: options and their values.
#include "cli/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "app/AppState.h"
#include "output/Png.h"
#include "platform/Text.h"
#include "render/RenderPath.h"
#include "settings/RealText.h"
#include "settings/SettingsTable.h"

const char* const usageText =
    "usage: halovane-render [options]\n"
    "  --settings FILE       read the settings from FILE, a pipe, or - for standard\n"
    "                        input, which must exist (default: Halovane.ini\n"
    "                        beside the executable, the defaults when missing)\n"
    "  --set KEY=VALUE       override one setting after loading: a whole number,\n"
    "                        0 or 1 for a flag, or a real (repeatable; default:\n"
    "                        none)\n"
    "  --start X,Y           start point (default: the settings' X, Y)\n"
    "  --snap                pull the start point onto the set border (default: off)\n"
    "  --region CX,CY,W      region mode over the square centred at (CX, CY)\n"
    "                        with side W (default: view mode, 512 x 512)\n"
    "  --runs N              N runs chained as in continuous mode (default 1)\n"
    "  --clear-runs          clear the images before each chained run, so that\n"
    "                        every frame shows its own run alone (default: the\n"
    "                        runs pile up, as in continuous mode)\n"
    "  -o, --output FILE     the image written at the end: PNG for a .png name,\n"
    "                        a bitmap for any other (default output.bmp;\n"
    "                        - for standard output)\n"
    "  --frames PATTERN      also write the image after every run, to PATTERN\n"
    "                        with one integer conversion numbered from 1, as PNG\n"
    "                        or bitmap by its extension, e.g. f-%04d.png\n"
    "                        (default: no frames)\n"
    "  --recipe PICTURE      render the scene a PNG written by halovane-render\n"
    "                        records, the same again (default: the scene comes\n"
    "                        from the options above)\n"
    "  --print-settings      print the effective settings file lines (with\n"
    "                        --recipe, the picture's recipe too), then exit\n"
    "                        (default: off)\n"
    "  --save-settings FILE  save the effective settings into FILE, then exit\n"
    "                        (default: none)\n"
    "  --threads N           threads that share the passes, 1 to 256 (default:\n"
    "                        every processor)\n"
    "  --path NAME           reference (the plain passes), sse2, avx2 or best\n"
    "                        (default); a path the processor lacks gives best\n"
    "  --quiet               no progress output (default: progress on standard\n"
    "                        error, redrawn on a terminal, otherwise a line\n"
    "                        every 10 s and at the end)\n"
    "  --version             show the program's version\n"
    "  --help                show this text\n"
    "exit codes: 0 done, 2 bad command line or settings input, 3 out of memory,\n"
    "            4 an image could not be written (nothing is rendered when the\n"
    "            output's folder is missing or cannot be written)\n";

namespace {

struct OptionName {
    const char* name;
    bool takesValue;
    bool scene;  // part of the scene, which --recipe gives instead
};

const OptionName kOptions[] = {
    {"--settings", true, true},      {"--set", true, true},        {"--start", true, true},
    {"--snap", false, true},         {"--region", true, true},     {"--runs", true, true},
    {"--clear-runs", false, true},   {"-o", true, false},          {"--output", true, false},
    {"--frames", true, false},       {"--recipe", true, false},    {"--print-settings", false, false},
    {"--save-settings", true, false}, {"--threads", true, false},  {"--path", true, false},
    {"--quiet", false, false},       {"--version", false, false},  {"--help", false, false},
    {"-h", false, false},
    // The deep picture's outputs and tone (cli/DeepOptions.h).
    {"--deep-png", true, false},     {"--deep-pfm", true, false},  {"--deep-frames", true, false},
    {"--curve", true, false},        {"--gamma", true, false},     {"--exposure", true, false},
    {"--percentile", true, false},
};

const OptionName* FindOption(const std::string& name)
{
    for (const OptionName& o : kOptions)
        if (name == o.name) return &o;
    return nullptr;
}

}  // namespace

// True when text is one whole real number (blanks before it, nothing after).
static bool ReadWholeReal(const std::string& text, double& value)
{
    const char* end = nullptr;
    value = TextToDouble(text.c_str(), &end);
    return end != text.c_str() && *end == '\0';
}

bool ParseReals(const char* text, double* values, size_t count)
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

bool ParseCount(const char* text, uint32_t& value)
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

// Edit distance with swaps of neighbours counted as one edit, ignoring case.
static size_t EditDistance(const std::string& a, const std::string& b)
{
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t change = LowerAscii(a[i - 1]) == LowerAscii(b[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && LowerAscii(a[i - 1]) == LowerAscii(b[j - 2]) &&
                LowerAscii(a[i - 2]) == LowerAscii(b[j - 1]))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

std::string NearestName(const std::string& typed, const std::vector<std::string>& names)
{
    // Close enough: a third of the name may be wrong, and at least one edit.
    // Nothing long is a near miss of a short name.
    std::string best;
    if (typed.size() > 64) return best;
    size_t bestDistance = 0;
    for (const std::string& name : names) {
        const size_t distance = EditDistance(typed, name);
        const size_t allowed = std::max<size_t>(1, name.size() / 3);
        if (distance <= allowed && (best.empty() || distance < bestDistance)) {
            best = name;
            bestDistance = distance;
        }
    }
    return best;
}

static std::string Suggestion(const std::string& typed, const std::vector<std::string>& names)
{
    const std::string nearest = NearestName(typed, names);
    return nearest.empty() ? "" : ", did you mean " + nearest + "?";
}

// A whole decimal integer in the int32 range, with an optional sign.
static bool ReadWholeInteger(const std::string& text, int32_t& value)
{
    if (text.empty()) return false;
    size_t i = text[0] == '+' || text[0] == '-' ? 1 : 0;
    if (i >= text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
        if (v > int64_t(INT32_MAX) + 1) return false;
    }
    if (text[0] == '-') v = -v;
    if (v > INT32_MAX) return false;
    value = static_cast<int32_t>(v);
    return true;
}

static const SettingDef* FindSetting(const std::string& key)
{
    for (const SettingDef& entry : kSettingTable)
        if (SameName(entry.key, key.c_str())) return &entry;
    return nullptr;
}

bool ParseSetting(const char* text, Setting& setting, std::string& reason)
{
    const char* eq = std::strchr(text, '=');
    if (!eq || eq == text) return Fail(reason, std::string("--set needs KEY=VALUE: ") + text);
    const std::string key(text, eq), value(eq + 1);
    const SettingDef* entry = FindSetting(key);
    if (!entry) {
        std::vector<std::string> keys;
        for (const SettingDef& e : kSettingTable) keys.push_back(e.key);
        return Fail(reason, "unknown setting " + key + Suggestion(key, keys));
    }
    setting = {entry->key, value};
    const std::string given = "--set " + key + "=" + value + ": " + entry->key;
    int32_t integer = 0;
    double real = 0.0;
    switch (entry->kind) {
    case kInteger:
        if (value.empty() || !ReadWholeInteger(value, integer))
            return Fail(reason, given + " takes a whole number from -2147483648 to 2147483647");
        break;
    case kFlag:
        if (value != "0" && value != "1") return Fail(reason, given + " takes 0 (off) or 1 (on)");
        break;
    case kReal:
        if (value.empty() || IsSpace(value[0]) || !ReadWholeReal(value, real))
            return Fail(reason, given + " takes a real number such as -0.75 or 1e-5");
        break;
    }
    return true;
}

void StoreSetting(const Setting& setting)
{
    const SettingDef* entry = FindSetting(setting.key);
    if (!entry) return;
    int32_t integer = 0;
    switch (entry->kind) {
    case kInteger:
        if (ReadWholeInteger(setting.value, integer)) app.settings.*entry->integer = integer;
        break;
    case kFlag:
        app.settings.*entry->flag = setting.value == "1";
        break;
    case kReal:
        // Not through the settings file's 31-character cut: the whole text
    // counts. ReadReal also reads back a recipe's non-finite values.
        app.settings.*entry->real = static_cast<float>(ReadReal(setting.value.c_str()));
        break;
    }
}

// Words the shell passes through unquoted.
static bool PlainWord(const std::string& word)
{
    if (word.empty()) return false;
    for (char c : word)
        if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr("%+,-./:=@_", c)) return false;
    return true;
}

std::string QuotedCommandLine(int argc, char** argv)
{
    std::string text = "halovane-render";
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        text += ' ';
        if (PlainWord(word)) {
            text += word;
            continue;
        }
        text += '\'';
        for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
        text += '\'';
    }
    return text;
}

bool ParseCommandLine(int argc, char** argv, Options& options, std::string& reason)
{
    options.commandLine = QuotedCommandLine(argc, argv);
    const char* sceneOption = nullptr;  // the first one given, which --recipe refuses
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        const char* value = nullptr;
        // "--name=value" as well as "--name value"
        const size_t equals = name.find('=');
        if (name.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            value = argv[i] + equals + 1;
            name = name.substr(0, equals);
        }
        const OptionName* option = FindOption(name);
        if (!option && name.compare(0, 1, "-") != 0) {
            // A bare file name: say which option takes it.
            const char* guess = EndsWithNoCase(argv[i], ".ini")   ? "--settings "
                                : EndsWithNoCase(argv[i], ".png") || EndsWithNoCase(argv[i], ".bmp") ? "-o "
                                                                                                     : nullptr;
            return Fail(reason, std::string("unexpected argument ") + argv[i] +
                                    (guess ? std::string(", did you mean ") + guess + argv[i] + "?" : ""));
        }
        if (!option) {
            std::vector<std::string> names;
            for (const OptionName& o : kOptions) names.push_back(o.name);
            return Fail(reason, "unknown option " + name + Suggestion(name, names));
        }
        if (option->takesValue && !value) {
            if (i + 1 >= argc) return Fail(reason, "missing value after " + name);
            value = argv[++i];
        } else if (!option->takesValue && value) {
            return Fail(reason, name + " takes no value");
        }
        if (option->scene && !sceneOption) sceneOption = option->name;

        if (name == "--settings") {
            options.settingsFile = value;
        } else if (name == "--set") {
            Setting setting;
            if (!ParseSetting(value, setting, reason)) return false;
            options.sets.push_back(setting);
        } else if (name == "--start") {
            double v[2];
            if (!ParseReals(value, v, 2))
                return Fail(reason, std::string("--start needs two numbers X,Y: ") + value);
            options.haveStart = true;
            options.startRe = v[0];
            options.startIm = v[1];
        } else if (name == "--snap") {
            options.snap = true;
        } else if (name == "--clear-runs") {
            options.clearRuns = true;
        } else if (name == "--recipe") {
            if (!*value) return Fail(reason, "empty picture name after --recipe");
            options.recipe = value;
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
        }
    }
    if (options.recipe && sceneOption)
        return Fail(reason, std::string("--recipe takes the whole scene from the picture: leave out ") +
                                sceneOption);
    if (options.frames) options.recipeFrames = options.frames;
    return true;
}

