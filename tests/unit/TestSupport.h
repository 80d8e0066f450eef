#pragma once
// What many tests need: a plain copy of the twenty settings (so a test can put
// back what it changed), the values a missing settings file gives, pixels,
// and files of their own in the working directory.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/AppState.h"
#include "settings/SettingsTable.h"

struct SettingsValues {
    int32_t integers[5];  // Width, Height, Iterations, SamplePoints, Brightness
    bool flags[5];        // Clear, Julia, BorderOnly, CheckBailout, Preview
    float reals[10];      // X, Y, CenterX, CenterY, DriftX, DriftY,
                          // SampleRadius, BorderDistance, MaxBailout, MinBailout
};

// The settings a missing or empty settings file gives, written out here as
// literals so that they check the program's table instead of restating it.
inline constexpr SettingsValues kDefaultSettings = {
    {2048, 2048, 10000, 320, 12},
    {true, false, false, false, false},
    {0.0f, 0.0f, -0.5f, 0.0f, 0.0f, 0.0f, 0.005f, 0.00001f, 4.0f, 0.00001f},
};

// Copies every setting, kind by kind in the settings table's order.
inline SettingsValues CaptureSettings()
{
    SettingsValues v = {};
    int counts[3] = {};
    for (const SettingDef& d : kSettingTable) {
        int& k = counts[d.kind];
        if (d.kind == kInteger) v.integers[k++] = app.settings.*d.integer;
        else if (d.kind == kFlag) v.flags[k++] = app.settings.*d.flag;
        else v.reals[k++] = app.settings.*d.real;
    }
    return v;
}

inline void RestoreSettings(const SettingsValues& v)
{
    int counts[3] = {};
    for (const SettingDef& d : kSettingTable) {
        int& k = counts[d.kind];
        if (d.kind == kInteger) app.settings.*d.integer = v.integers[k++];
        else if (d.kind == kFlag) app.settings.*d.flag = v.flags[k++];
        else app.settings.*d.real = v.reals[k++];
    }
}

// Bit for bit, so that NaNs and the sign of zero count.
inline bool SameBits(const SettingsValues& a, const SettingsValues& b)
{
    return std::memcmp(a.integers, b.integers, sizeof a.integers) == 0 &&
           std::memcmp(a.flags, b.flags, sizeof a.flags) == 0 &&
           std::memcmp(a.reals, b.reals, sizeof a.reals) == 0;
}

// An absolute name: the Windows profile functions look for relative names in
// the Windows directory. Tests that run side by side use different names.
inline std::string TestFilePath(const std::string& prefix, const std::string& name)
{
    return std::filesystem::absolute(prefix + "-" + name + ".ini").string();
}

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The three bytes (blue, green, red) of one pixel; rows count from the bottom.
inline uint8_t* PixelAt(const RgbImage& image, int32_t col, int32_t row)
{
    return image.pixels + (static_cast<size_t>(row) * image.width + col) * 3;
}

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
