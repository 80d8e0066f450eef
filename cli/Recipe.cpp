#include "cli/Recipe.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/AppState.h"
#include "settings/RealText.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTable.h"

namespace {

const char* const kSoftwareKey = "Software";
const char* const kSettingsKey = "Halovane settings";
const char* const kRecipeKey = "Halovane recipe";
const char* const kCommandKey = "Halovane command";

bool Fail(std::string& reason, const std::string& text)
{
    reason = text;
    return false;
}

// A double that reads back as itself; infinities as a number that
// overflows, since the real reader takes no "inf".
std::string ExactDouble(double value)
{
    if (std::isinf(value)) return value < 0 ? "-1e999" : "1e999";
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// A float to nine digits, which read back as the same float; NaN as the
// settings file writes it.
std::string ExactFloat(float value)
{
    char text[40];
    if (std::isnan(value)) {
        FormatFixed(static_cast<double>(value), 0, text, sizeof text);
        return text;
    }
    if (std::isinf(value)) return value < 0 ? "-1e999" : "1e999";
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string SettingText(const SettingDef& entry)
{
    switch (entry.kind) {
    case kInteger:
        return std::to_string(static_cast<int32_t>(app.settings.*entry.integer));
    case kFlag:
        return app.settings.*entry.flag ? "1" : "0";
    case kReal:
        break;
    }
    return ExactFloat(app.settings.*entry.real);
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

std::vector<std::string> WithFrame(const Recipe& recipe, uint32_t frame)
{
    std::vector<std::string> lines = recipe.lines;
    if (frame > 0) lines.push_back("Frame=" + std::to_string(frame));
    return lines;
}

// One "Key=value" line of a recipe into options.
bool ReadLine(const std::string& line, Options& options, size_t& settingsRead, std::string& reason)
{
    const size_t eq = line.find('=');
    const std::string key = line.substr(0, eq == std::string::npos ? line.size() : eq);
    const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
    const std::string bad = "its recipe line \"" + line + "\" cannot be read";
    if (key == "Version") return true;
    if (key == "Start") {
        double v[2];
        if (!ParseReals(value.c_str(), v, 2)) return Fail(reason, bad);
        options.haveStart = true;
        options.startRe = v[0];
        options.startIm = v[1];
    } else if (key == "Region") {
        double v[3];
        if (!ParseReals(value.c_str(), v, 3)) return Fail(reason, bad);
        options.haveRegion = true;
        options.regionRe = v[0];
        options.regionIm = v[1];
        options.regionSide = v[2];
    } else if (key == "Snap" || key == "ClearRuns") {
        if (value != "1") return Fail(reason, bad);
        (key == "Snap" ? options.snap : options.clearRuns) = true;
    } else if (key == "Runs" || key == "Frame") {
        if (!ParseCount(value.c_str(), key == "Runs" ? options.runs : options.recipeFrame)) return Fail(reason, bad);
    } else if (key == "Frames") {
        options.recipeFrames = value;
    } else {
        Setting setting;
        std::string why;
        const bool nonFinite = value == "nan" || value == "-nan";
        if (!ParseSetting((key + "=" + (nonFinite ? "0" : value)).c_str(), setting, why))
            return Fail(reason, bad);
        setting.value = value;
        options.sets.push_back(setting);
        ++settingsRead;
    }
    return true;
}

}  // namespace

Recipe TakeRecipe(const Options& options)
{
    Recipe recipe;
    SettingsFileLines(recipe.settingsLines);
    std::vector<std::string>& lines = recipe.lines;
    lines.push_back(std::string("Version=") + HALOVANE_VERSION);
    if (options.haveStart) lines.push_back("Start=" + ExactDouble(options.startRe) + "," + ExactDouble(options.startIm));
    if (options.snap) lines.push_back("Snap=1");
    if (options.haveRegion)
        lines.push_back("Region=" + ExactDouble(options.regionRe) + "," + ExactDouble(options.regionIm) + "," +
                        ExactDouble(options.regionSide));
    lines.push_back("Runs=" + std::to_string(options.runs));
    if (options.clearRuns) lines.push_back("ClearRuns=1");
    if (!options.recipeFrames.empty()) lines.push_back("Frames=" + options.recipeFrames);
    for (const SettingDef& entry : kSettingTable) lines.push_back(std::string(entry.key) + "=" + SettingText(entry));
    recipe.command = options.commandLine;
    return recipe;
}

std::vector<PngText> RecipeTexts(const Recipe& recipe, uint32_t frame)
{
    return {
        {kSoftwareKey, std::string("halovane-render ") + HALOVANE_VERSION},
        {kSettingsKey, Joined(recipe.settingsLines)},
        {kRecipeKey, Joined(WithFrame(recipe, frame))},
        {kCommandKey, recipe.command},
    };
}

std::vector<std::string> RecipeListing(const Recipe& recipe, uint32_t frame)
{
    std::vector<std::string> listing = recipe.settingsLines;
    listing.push_back("[Recipe]");
    for (const std::string& line : WithFrame(recipe, frame)) listing.push_back(line);
    listing.push_back("Command=" + recipe.command);
    return listing;
}

bool ReadRecipe(const char* picture, Options& options, std::string& reason)
{
    std::vector<PngText> texts;
    if (!ReadPngTexts(picture, texts, reason)) return false;
    const PngText* recipe = nullptr;
    const PngText* command = nullptr;
    for (const PngText& t : texts) {
        if (t.keyword == kRecipeKey) recipe = &t;
        if (t.keyword == kCommandKey) command = &t;
    }
    if (!recipe || !command) return Fail(reason, "it carries no halovane-render recipe");
    options.commandLine = command->text;
    options.recipeFrames.clear();
    size_t settingsRead = 0;
    size_t start = 0;
    while (start < recipe->text.size()) {
        size_t end = recipe->text.find('\n', start);
        if (end == std::string::npos) end = recipe->text.size();
        if (!ReadLine(recipe->text.substr(start, end - start), options, settingsRead, reason)) return false;
        start = end + 1;
    }
    if (settingsRead != kSettingCount) return Fail(reason, "its recipe does not give every setting");
    return true;
}
