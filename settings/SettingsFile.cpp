// Loading and saving the twenty settings through the platform's profile
// functions.
#include "settings/SettingsFile.h"

#include <cstdio>
#include <cstring>

#include "app/AppState.h"
#include "platform/Platform.h"
#include "settings/RealText.h"

namespace {

const char* const kSection = "HV";
const char* const kFileName = "Halovane.ini";
const uint32_t kPathSize = 260;
const uint32_t kRealTextSize = 32;  // a real is read from at most 31 characters
const int kRealDecimals = 13;

enum SettingKind { kInteger, kFlag, kReal };

struct SettingEntry {
    const char* key;
    SettingKind kind;
    int32_t integerDefault;    // integers and flags
    const char* textDefault;   // reals
    Relaxed<int32_t>* integer;
    Relaxed<bool>* flag;
    Relaxed<float>* real;
};

// Every setting, in the order they are written.
const SettingEntry kEntries[] = {
    {"Width", kInteger, 2048, nullptr, &app.settings.Width, nullptr, nullptr},
    {"Height", kInteger, 2048, nullptr, &app.settings.Height, nullptr, nullptr},
    {"Iterations", kInteger, 10000, nullptr, &app.settings.Iterations, nullptr, nullptr},
    {"SamplePoints", kInteger, 320, nullptr, &app.settings.SamplePoints, nullptr, nullptr},
    {"Brightness", kInteger, 12, nullptr, &app.settings.Brightness, nullptr, nullptr},
    {"Clear", kFlag, -1, nullptr, nullptr, &app.settings.Clear, nullptr},
    {"Julia", kFlag, 0, nullptr, nullptr, &app.settings.Julia, nullptr},
    {"BorderOnly", kFlag, 0, nullptr, nullptr, &app.settings.BorderOnly, nullptr},
    {"CheckBailout", kFlag, 0, nullptr, nullptr, &app.settings.CheckBailout, nullptr},
    {"Preview", kFlag, 0, nullptr, nullptr, &app.settings.Preview, nullptr},
    {"X", kReal, 0, "0.0", nullptr, nullptr, &app.settings.X},
    {"Y", kReal, 0, "0.0", nullptr, nullptr, &app.settings.Y},
    {"CenterX", kReal, 0, "-0.5", nullptr, nullptr, &app.settings.CenterX},
    {"CenterY", kReal, 0, "0.0", nullptr, nullptr, &app.settings.CenterY},
    {"DriftX", kReal, 0, "0.0", nullptr, nullptr, &app.settings.DriftX},
    {"DriftY", kReal, 0, "0.0", nullptr, nullptr, &app.settings.DriftY},
    {"SampleRadius", kReal, 0, "0.005", nullptr, nullptr, &app.settings.SampleRadius},
    {"BorderDistance", kReal, 0, "0.00001", nullptr, nullptr, &app.settings.BorderDistance},
    {"MaxBailout", kReal, 0, "4.0", nullptr, nullptr, &app.settings.MaxBailout},
    {"MinBailout", kReal, 0, "0.00001", nullptr, nullptr, &app.settings.MinBailout},
};
const size_t kEntryCount = sizeof kEntries / sizeof kEntries[0];

// Reading starts with Iterations, SamplePoints and Brightness, then the
// sizes; flags and reals as written.
const size_t kLoadOrder[kEntryCount] = {2, 3, 4, 0, 1, 5, 6, 7, 8, 9,
                                        10, 11, 12, 13, 14, 15, 16, 17, 18, 19};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (Lower(*a) != Lower(*b)) return false;
    return *a == *b;
}

// The value text of one setting, as SaveSettings writes it.
std::string FormatEntry(const SettingEntry& entry)
{
    char text[64];
    switch (entry.kind) {
    case kInteger:
        std::snprintf(text, sizeof text, "%i", static_cast<int>(*entry.integer));
        break;
    case kFlag:
        std::snprintf(text, sizeof text, "%i", *entry.flag ? 1 : 0);
        break;
    case kReal:
        FormatFixed(static_cast<double>(static_cast<float>(*entry.real)), kRealDecimals, text,
                    sizeof text);
        break;
    }
    return text;
}

// Stores a real read as text: at most its first 31 characters count.
void StoreRealText(const SettingEntry& entry, const char* text)
{
    char cut[kRealTextSize];
    std::snprintf(cut, sizeof cut, "%s", text);
    *entry.real = static_cast<float>(ReadReal(cut));
}

void LoadEntry(const SettingEntry& entry, const char* path)
{
    if (entry.kind == kReal) {
        char text[kRealTextSize] = {};
        ProfileGetString(kSection, entry.key, entry.textDefault, text, kRealTextSize, path);
        StoreRealText(entry, text);
        return;
    }
    int32_t value = ProfileGetInt(kSection, entry.key, entry.integerDefault, path);
    if (entry.kind == kInteger) *entry.integer = value;
    else *entry.flag = value != 0;
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
    for (size_t index : kLoadOrder) LoadEntry(kEntries[index], path);
}

void LoadDefaultSettings()
{
    for (size_t index : kLoadOrder) {
        const SettingEntry& entry = kEntries[index];
        if (entry.kind == kReal) StoreRealText(entry, entry.textDefault);
        else if (entry.kind == kInteger) *entry.integer = entry.integerDefault;
        else *entry.flag = entry.integerDefault != 0;
    }
}

bool SaveSettingsTo(const char* path)
{
    // Every key is written even after a failure.
    bool ok = true;
    for (const SettingEntry& entry : kEntries) {
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
    for (const SettingEntry& entry : kEntries) lines.push_back(std::string(entry.key) + "=" + FormatEntry(entry));
}

bool SetSettingFromText(const char* key, const char* value)
{
    if (!key) return false;
    std::string text = ProfileValue(value ? value : "");
    for (const SettingEntry& entry : kEntries) {
        if (!SameName(entry.key, key)) continue;
        if (entry.kind == kReal) {
            StoreRealText(entry, text.c_str());
            return true;
        }
        int32_t number = ProfileTextToInt(text, entry.integerDefault);
        if (entry.kind == kInteger) *entry.integer = number;
        else *entry.flag = number != 0;
        return true;
    }
    return false;
}

std::string ProfileValue(const std::string& raw)
{
    size_t begin = 0;
    size_t end = raw.size();
    while (begin < end && IsBlank(raw[begin])) ++begin;
    while (end > begin && IsBlank(raw[end - 1])) --end;
    if (end - begin >= 2 && (raw[begin] == '"' || raw[begin] == '\'') && raw[end - 1] == raw[begin]) {
        ++begin;
        --end;
    }
    return raw.substr(begin, end - begin);
}

int32_t ProfileTextToInt(const std::string& value, int32_t fallback)
{
    if (value.empty()) return fallback;
    const size_t kCounted = 29;
    size_t end = value.size() < kCounted ? value.size() : kCounted;
    size_t i = 0;
    while (i < end && value[i] != '\0' && static_cast<unsigned char>(value[i]) <= ' ') ++i;
    bool negative = false;
    if (i < end && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    uint32_t base = 10;
    if (i + 1 < end && value[i] == '0') {
        char prefix = value[i + 1];
        if (prefix == 'x') base = 16;
        else if (prefix == 'o') base = 8;
        else if (prefix == 'b') base = 2;
        if (base != 10) i += 2;
    }
    uint32_t number = 0;
    for (; i < end; ++i) {
        char c = value[i];
        uint32_t digit;
        if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'z') digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'Z') digit = static_cast<uint32_t>(c - 'A' + 10);
        else break;
        if (digit >= base) break;
        number = number * base + digit;  // unsigned: wraps modulo 2^32
    }
    if (negative) number = 0u - number;
    return static_cast<int32_t>(number);
}
