#pragma once
// The settings file "Halovane.ini" beside the executable.
#include <cstdint>

void SettingsPath(char* buffer);  // buffer of 260 bytes
void LoadSettings();
void SaveSettings();
// The same, on a file of the caller's choosing (halovane-render --settings).
void LoadSettingsFrom(const char* path);
// False when any write failed.
bool SaveSettingsTo(const char* path);
