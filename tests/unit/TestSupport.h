#pragma once
// What many tests need: a plain copy of the twenty settings (so a test can put
// back what it changed), the values a missing settings file gives, and files
// of their own in the working directory.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/AppState.h"

struct SettingsValues {
    int32_t integers[5];  // Iterations, SamplePoints, Brightness, Width, Height
    bool flags[5];        // Clear, Julia, BorderOnly, CheckBailout, Preview
    float reals[10];      // X, Y, CenterX, CenterY, DriftX, DriftY,
                          // SampleRadius, BorderDistance, MaxBailout, MinBailout
};

// The settings a missing or empty settings file gives.
inline constexpr SettingsValues kDefaultSettings = {
    {10000, 320, 12, 2048, 2048},
    {true, false, false, false, false},
    {0.0f, 0.0f, -0.5f, 0.0f, 0.0f, 0.0f, 0.005f, 0.00001f, 4.0f, 0.00001f},
};

inline SettingsValues CaptureSettings()
{
    const Settings& s = app.settings;
    return SettingsValues{{s.Iterations, s.SamplePoints, s.Brightness, s.Width, s.Height},
                          {s.Clear, s.Julia, s.BorderOnly, s.CheckBailout, s.Preview},
                          {s.X, s.Y, s.CenterX, s.CenterY, s.DriftX, s.DriftY, s.SampleRadius,
                           s.BorderDistance, s.MaxBailout, s.MinBailout}};
}

inline void RestoreSettings(const SettingsValues& v)
{
    Settings& s = app.settings;
    Relaxed<int32_t>* integers[] = {&s.Iterations, &s.SamplePoints, &s.Brightness, &s.Width, &s.Height};
    Relaxed<bool>* flags[] = {&s.Clear, &s.Julia, &s.BorderOnly, &s.CheckBailout, &s.Preview};
    Relaxed<float>* reals[] = {&s.X,       &s.Y,      &s.CenterX,      &s.CenterY,        &s.DriftX,
                               &s.DriftY, &s.SampleRadius, &s.BorderDistance, &s.MaxBailout, &s.MinBailout};
    for (int i = 0; i < 5; ++i) *integers[i] = v.integers[i];
    for (int i = 0; i < 5; ++i) *flags[i] = v.flags[i];
    for (int i = 0; i < 10; ++i) *reals[i] = v.reals[i];
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

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
