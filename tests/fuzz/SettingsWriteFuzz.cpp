// libFuzzer target: any bytes as a settings file that is read, changed and
// written back. Reading the written file must give the changed settings as
// their written texts read: the writer finds every key it writes, whatever
// else the file holds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "app/AppState.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTable.h"

namespace {

// The last bytes of the input pick settings and new raw values for them.
void ChangeSettings(const uint8_t* data, size_t size)
{
    const size_t kTable = sizeof kSettingTable / sizeof kSettingTable[0];
    for (size_t at = size >= 15 ? size - 15 : 0; at + 5 <= size; at += 5) {
        const SettingDef& d = kSettingTable[data[at] % kTable];
        uint32_t raw;
        std::memcpy(&raw, data + at + 1, sizeof raw);
        if (d.kind == kInteger) {
            app.settings.*d.integer = static_cast<int32_t>(raw);
        } else if (d.kind == kFlag) {
            app.settings.*d.flag = (raw & 1) != 0;
        } else {
            float value;
            std::memcpy(&value, &raw, sizeof value);
            app.settings.*d.real = value;
        }
    }
}

// The settings as the texts they are written as read back.
std::string AsWrittenBits()
{
    std::vector<std::string> lines;
    SettingsFileLines(lines);
    for (size_t i = 1; i < lines.size(); ++i) {
        const size_t equals = lines[i].find('=');
        SetSettingFromText(lines[i].substr(0, equals).c_str(), lines[i].c_str() + equals + 1);
    }
    return SettingsBits();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = FuzzFilePath("write-");
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    LoadSettingsFrom(path.c_str());
    ChangeSettings(data, size);
    const std::string expected = AsWrittenBits();
    // A UTF-16 file is read but not rewritten.
    if (SaveSettingsTo(path.c_str())) {
        LoadSettingsFrom(path.c_str());
        if (SettingsBits() != expected) {
            std::fprintf(stderr, "the settings read back differ from those written\n");
            std::abort();
        }
    }
    std::remove(path.c_str());
    return 0;
}
