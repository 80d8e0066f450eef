#include "cli/DeepOutput.h"

#include <cstdio>
#include <vector>

#include "app/AppState.h"
#include "cli/CommandLine.h"
#include "output/Pfm.h"
#include "output/Png.h"
#include "output/Png16.h"
#include "platform/Text.h"
#include "render/Deep.h"

// Set once before the runs; read at run ends on the worker thread.
static const DeepOptions* active = nullptr;
static const Recipe* activeRecipe = nullptr;
static FramePattern deepFrames;
static bool deepFramesPfm = false;

// A .pfm pattern is checked as the same pattern ending in .bmp.
static bool ReadDeepFramePattern(const char* text, std::string& reason)
{
    const std::string given = text;
    deepFramesPfm = EndsWithNoCase(text, ".pfm");
    if (!deepFramesPfm && !IsPngName(text)) {
        reason = "--deep-frames needs a pattern ending in .png or .pfm: " + given;
        return false;
    }
    const std::string stem = given.substr(0, given.size() - 4);
    if (!ParseFramePattern((stem + (deepFramesPfm ? ".bmp" : ".png")).c_str(), deepFrames, reason)) {
        reason = "--deep-frames needs a pattern with exactly one integer conversion, such as d-%04d.png: " + given;
        return false;
    }
    deepFrames.after = deepFrames.after.substr(0, deepFrames.after.size() - 4) + given.substr(given.size() - 4);
    return true;
}

bool CheckDeepOptions(const DeepOptions& deep, bool haveRegion, std::string& reason)
{
    if (!DeepWanted(deep)) return true;
    if (!haveRegion) {
        reason = "the deep outputs need --region: the deep image holds the region's splats";
        return false;
    }
    return !deep.frames || ReadDeepFramePattern(deep.frames, reason);
}

bool PrepareDeepImage(const DeepOptions& deep, const Recipe& recipe)
{
    if (!DeepWanted(deep)) return true;
    active = &deep;
    activeRecipe = &recipe;
    const RgbImage& out = app.outputImage;
    return AllocDeepImage(out.width, out.height);
}

std::string ToneText(const ToneSettings& tone)
{
    static const char* const names[] = {"linear", "sqrt", "log", "gamma"};
    char text[160];
    if (tone.autoExposure)
        std::snprintf(text, sizeof text, "Curve=%s\nGamma=%.9g\nExposure=auto\nPercentile=%.9g", names[tone.curve],
                      tone.gamma, tone.percentile);
    else
        std::snprintf(text, sizeof text, "Curve=%s\nGamma=%.9g\nExposure=%.17g", names[tone.curve], tone.gamma,
                      tone.white);
    return text;
}

// frame: the run whose end wrote it, 0 for the final picture.
static bool WriteDeepFile(const char* file, bool pfm, uint32_t frame, std::string& error)
{
    const DeepImage& image = HeldDeepImage();
    uint32_t* counts = ResolveDeepCounts();
    if (!counts) {
        error = "out of memory while adding up the deep counts";
        return false;
    }
    bool ok;
    if (pfm) {
        ok = WriteCountsPfm(counts, image.width, image.height, file, error);
    } else {
        std::vector<uint16_t> rgb;
        TonePicture(counts, image.width, image.height, active->tone, rgb);
        std::vector<PngText> texts;
        if (activeRecipe) texts = RecipeTexts(*activeRecipe, frame);
        texts.push_back({"Halovane tone", ToneText(active->tone)});
        ok = WritePng16(rgb.data(), image.width, image.height, file, error, texts);
    }
    delete[] counts;
    return ok;
}

std::string DeepFrameName(uint32_t frame)
{
    return deepFrames.conversion.empty() ? std::string() : FrameName(deepFrames, frame);
}

bool WriteDeepFrame(uint32_t frame, std::string& error)
{
    if (!active || !active->frames) return true;
    const std::string name = FrameName(deepFrames, frame);
    if (WriteDeepFile(name.c_str(), deepFramesPfm, frame, error)) return true;
    error = "cannot write the deep frame " + name + ": " + error;
    return false;
}

bool WriteDeepOutputs(std::string& error)
{
    if (!active) return true;
    const char* files[2] = {active->png, active->pfm};
    for (int k = 0; k < 2; ++k) {
        if (!files[k]) continue;
        if (!WriteDeepFile(files[k], k == 1, 0, error)) {
            error = std::string("cannot write ") + files[k] + ": " + error;
            return false;
        }
    }
    return true;
}
