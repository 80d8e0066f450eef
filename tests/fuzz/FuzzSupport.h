#pragma once
// What the settings fuzz targets share: a scratch file of their own, and
// every setting's bits to compare two loads exactly.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "app/AppState.h"
#include "settings/SettingsTable.h"

// A file name unique to this process, in memory where the machine has it.
inline std::string FuzzFilePath(const char* tag)
{
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : ".";
    return std::string(folder) + "/halovane-fuzz-" + tag + std::to_string(getpid()) + ".ini";
}

// Every setting's bits, in the table's order.
inline std::string SettingsBits()
{
    std::string bits;
    for (const SettingDef& d : kSettingTable) {
        if (d.kind == kInteger) {
            const int32_t v = app.settings.*d.integer;
            bits.append(reinterpret_cast<const char*>(&v), sizeof v);
        } else if (d.kind == kFlag) {
            bits += app.settings.*d.flag ? '1' : '0';
        } else {
            const float v = app.settings.*d.real;
            bits.append(reinterpret_cast<const char*>(&v), sizeof v);
        }
    }
    return bits;
}
