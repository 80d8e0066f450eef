// Loading and saving the twenty settings through the platform's profile
// functions.
#include "settings/SettingsFile.h"

#include <cstdio>
#include <cstring>

#include "app/AppState.h"
#include "platform/Platform.h"
#include "platform/ProfileText.h"
#include "platform/Text.h"
#include "settings/RealText.h"
#include "settings/SettingsTable.h"

namespace {

const char* const kSection = "HV";
const char* const kFileName = "Halovane.ini";
const uint32_t kPathSize = 260;
const uint32_t kRealTextSize = 32;  // a real is read from at most 31 characters
const int kRealDecimals = 13;

Settings& S() { return app.settings; }

// The value text of one setting, as SaveSettings writes it.
std::string FormatEntry(const SettingDef& entry)
{
    char text[64];
    switch (entry.kind) {
    case kInteger:
        std::snprintf(text, sizeof text, "%i", static_cast<int>(S().*entry.integer));
        break;
    case kFlag:
        std::snprintf(text, sizeof text, "%i", S().*entry.flag ? 1 : 0);
        break;
    case kReal:
        FormatFixed(static_cast<double>(static_cast<float>(S().*entry.real)), kRealDecimals, text,
                    sizeof text);
        break;
    }
    return text;
}

int32_t IntegerDefault(const SettingDef& entry) { return ProfileTextToInt(entry.defaultText, 0); }

void StoreInteger(const SettingDef& entry, int32_t value)
{
    if (entry.kind == kInteger) S().*entry.integer = value;
    else S().*entry.flag = value != 0;
}

// Stores a real read as text: at most its first 31 characters count.
void StoreRealText(const SettingDef& entry, const char* text)
{
    char cut[kRealTextSize];
    std::snprintf(cut, sizeof cut, "%s", text);
    S().*entry.real = static_cast<float>(ReadReal(cut));
}

void LoadEntry(const SettingDef& entry, const char* path)
{
    if (entry.kind == kReal) {
        char text[kRealTextSize] = {};
        ProfileGetString(kSection, entry.key, entry.defaultText, text, kRealTextSize, path);
        StoreRealText(entry, text);
        return;
    }
    StoreInteger(entry, ProfileGetInt(kSection, entry.key, IntegerDefault(entry), path));
}

}  // namespace

bool SettingsPathBeside(const char* executable, char* buffer)
{
    std::string directory = executable;
    const size_t last = directory.rfind(PathSeparator());
    if (last != std::string::npos) directory.erase(last);
    const std::string path = directory + PathSeparator() + kFileName;
    // A cut path would name some other file, perhaps in another directory.
    if (path.size() >= kPathSize) {
        buffer[0] = '\0';
        return false;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

bool SettingsPath(char* buffer)
{
    char work[kPathSize] = {};
    if (!ExecutablePath(work, kPathSize)) {
        buffer[0] = '\0';
        return false;
    }
    return SettingsPathBeside(work, buffer);
}

void LoadSettingsFrom(const char* path)
{
    for (size_t index : kLoadOrder) LoadEntry(kSettingTable[index], path);
}

void LoadDefaultSettings()
{
    for (size_t index : kLoadOrder) {
        const SettingDef& entry = kSettingTable[index];
        if (entry.kind == kReal) StoreRealText(entry, entry.defaultText);
        else StoreInteger(entry, IntegerDefault(entry));
    }
}

bool SaveSettingsTo(const char* path)
{
    // Every key is written even after a failure.
    bool ok = true;
    for (const SettingDef& entry : kSettingTable) {
        std::string value = FormatEntry(entry);
        if (!ProfileWriteString(kSection, entry.key, value.c_str(), path)) ok = false;
    }
    return ok;
}

void LoadSettings()
{
    // Anything but a regular file (a folder, a device, a pipe) reads like a
    // missing one: reading it could block or never end.
    char path[kPathSize];
    if (SettingsPath(path) && IsRegularFile(path)) LoadSettingsFrom(path);
    else LoadDefaultSettings();
}

void SaveSettings()
{
    char path[kPathSize];
    if (SettingsPath(path)) SaveSettingsTo(path);
}

void SettingsFileLines(std::vector<std::string>& lines)
{
    lines.clear();
    lines.push_back(std::string("[") + kSection + "]");
    for (const SettingDef& entry : kSettingTable) lines.push_back(std::string(entry.key) + "=" + FormatEntry(entry));
}

bool SetSettingFromText(const char* key, const char* value)
{
    if (!key) return false;
    std::string text = ProfileValue(value ? value : "");
    for (const SettingDef& entry : kSettingTable) {
        if (!SameName(entry.key, key)) continue;
        if (entry.kind == kReal) StoreRealText(entry, text.c_str());
        else StoreInteger(entry, ProfileTextToInt(text, IntegerDefault(entry)));
        return true;
    }
    return false;
}
