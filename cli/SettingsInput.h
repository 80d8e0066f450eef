#pragma once
// halovane-render's --settings: a file, a pipe or standard input, read whole
// with limits on its size and on the time it takes.
#include <cstddef>
#include <string>

// A settings file is a few hundred bytes; more than this is not one.
const size_t kSettingsInputLimit = 1 << 20;
// Input still arriving after this long is a stream that does not end.
const int kSettingsInputMilliseconds = 1000;

// Reads path ("-" for standard input) into bytes. A missing file reads as
// empty with missing set. False with the reason otherwise.
bool ReadSettingsInput(const char* path, std::string& bytes, bool& missing, std::string& reason);
// Loads the settings from the bytes of a settings file, as LoadSettings
// would from the file. False with the reason when they could not be read.
bool LoadSettingsBytes(const std::string& bytes, std::string& reason);
