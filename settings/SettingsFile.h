#pragma once
// The settings file "Halovane.ini" beside the executable.
#include <cstdint>
#include <string>
#include <vector>

// The full path of the settings file, in a buffer of 260 bytes. False, with
// an empty buffer, when the path does not fit; then LoadSettings gives the
// defaults and SaveSettings writes nothing.
bool SettingsPath(char* buffer);
// The same beside the executable at the given path.
bool SettingsPathBeside(const char* executable, char* buffer);
void LoadSettings();
void SaveSettings();
// The same, on a file of the caller's choosing (halovane-render --settings).
void LoadSettingsFrom(const char* path);
// False when any write failed.
bool SaveSettingsTo(const char* path);
// Every setting at the value a missing key gives.
void LoadDefaultSettings();

// The lines, without line ends, that saving the current settings into a new
// file writes: "[HV]" and the twenty key=value lines in writing order.
void SettingsFileLines(std::vector<std::string>& lines);
// Sets one setting from text as LoadSettings would read it from the file
// (key without regard to case). False for an unknown key.
bool SetSettingFromText(const char* key, const char* value);
