#pragma once
// A picture's recipe: everything halovane-render needs to make a PNG again,
// byte for byte, kept in the PNG's own text chunks.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "output/PngText.h"

struct Recipe {
    std::vector<std::string> settingsLines;  // as --print-settings shows them
    std::vector<std::string> lines;          // "Key=value": the scene, the settings exactly
    std::string command;                     // the command line it was made with
};

// The recipe of the options and the settings as they are now: taken after
// the settings and overrides are applied, before the start point is placed.
Recipe TakeRecipe(const Options& options);
// The text chunks of the picture after run frame of a --frames render (0:
// the final image).
std::vector<PngText> RecipeTexts(const Recipe& recipe, uint32_t frame);
// What --print-settings shows of a recipe: the settings file lines, then the
// rest in a section of its own, which settings readers skip.
std::vector<std::string> RecipeListing(const Recipe& recipe, uint32_t frame);
// Reads the recipe of the PNG picture into options (the scene options, the
// settings as --set overrides, the command line, the frame). False with the
// reason when the picture has none or it cannot be read.
bool ReadRecipe(const char* picture, Options& options, std::string& reason);
