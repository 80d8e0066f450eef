#pragma once
// halovane-render's --settings: a file, a pipe or standard input, read whole
// with a limit on its size and, on POSIX systems, on how long it may stay
// silent: a slow producer is waited for, one that never writes is not.
#include <cstddef>
#include <string>

// A settings file is a few hundred bytes; more than this is not one.
const size_t kSettingsInputLimit = 1 << 20;
// How long the input may stay silent: before its first byte (a producer
// may take a while to start) and between bytes.
struct InputPatience {
    int firstMilliseconds;
    int idleMilliseconds;
};
const InputPatience kSettingsInputPatience = {30000, 10000};

// Reads path ("-" for standard input) into bytes. A missing file reads as
// empty with missing set. False with the reason otherwise.
bool ReadSettingsInput(const char* path, std::string& bytes, bool& missing, std::string& reason);
// The same with the patience given (POSIX only).
bool ReadSettingsInputWithin(const char* path, const InputPatience& patience, std::string& bytes, bool& missing,
                             std::string& reason);
// Loads the settings from the bytes of a settings file, as LoadSettings
// would from the file, without needing a writable folder where the system
// offers files in memory. False with the reason when they could not be read.
bool LoadSettingsBytes(const std::string& bytes, std::string& reason);
