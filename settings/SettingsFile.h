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

// How a profile value reads, shared by the portable profile and
// SetSettingFromText so that both builds agree.
// The value as read: surrounding blanks removed, then one pair of matching
// quotes (" or ') around it.
std::string ProfileValue(const std::string& raw);
// The value as an integer: only its first 29 characters count; leading
// blanks, one sign, a lower-case 0x, 0o or 0b prefix, digits up to the first
// that does not fit, wrapping modulo 2^32. An empty value gives fallback;
// one without digits gives 0.
int32_t ProfileTextToInt(const std::string& value, int32_t fallback);
