#pragma once
// The one table of the twenty settings: key, kind, default, member, dialog
// field and the decimals the dialog shows. The settings file, the Properties
// dialog and the tests' snapshots all iterate it; the orders in which they
// visit the settings are lists of keys, checked here at compile time.
#include <array>
#include <cstddef>
#include <cstdint>

#include "resources/resource.h"
#include "settings/Settings.h"

enum SettingKind { kInteger, kFlag, kReal };

struct SettingDef {
    const char* key;
    SettingKind kind;
    // As a missing key reads: integers and flags through the profile's
    // integer rules, reals as text (so a default rounds like a file value).
    const char* defaultText;
    Relaxed<int32_t> Settings::*integer;  // integers
    Relaxed<bool> Settings::*flag;        // flags
    Relaxed<float> Settings::*real;       // reals
    int dialogId;                         // the Properties dialog's field
    int decimals;                         // reals as the dialog shows them
};

constexpr SettingDef Integer(const char* key, const char* text, Relaxed<int32_t> Settings::*member, int id)
{
    return {key, kInteger, text, member, nullptr, nullptr, id, 0};
}
constexpr SettingDef Flag(const char* key, const char* text, Relaxed<bool> Settings::*member, int id)
{
    return {key, kFlag, text, nullptr, member, nullptr, id, 0};
}
constexpr SettingDef Real(const char* key, const char* text, Relaxed<float> Settings::*member, int id,
                          int decimals)
{
    return {key, kReal, text, nullptr, nullptr, member, id, decimals};
}

// In the order a new settings file lists them.
inline constexpr SettingDef kSettingTable[] = {
    Integer("Width", "2048", &Settings::Width, IDC_OUTPUTWIDTH),
    Integer("Height", "2048", &Settings::Height, IDC_OUTPUTHEIGHT),
    Integer("Iterations", "10000", &Settings::Iterations, IDC_ITERATIONS),
    Integer("SamplePoints", "320", &Settings::SamplePoints, IDC_SAMPLEPOINTS),
    Integer("Brightness", "12", &Settings::Brightness, IDC_BRIGHTNESS),
    // -1, not 1: any value but 0 sets a flag, and -1 is the default the
    // program has always had.
    Flag("Clear", "-1", &Settings::Clear, IDC_CLEAR),
    Flag("Julia", "0", &Settings::Julia, IDC_JULIA),
    Flag("BorderOnly", "0", &Settings::BorderOnly, IDC_BORDERONLY),
    Flag("CheckBailout", "0", &Settings::CheckBailout, IDC_CHECKBAILOUT),
    Flag("Preview", "0", &Settings::Preview, IDC_PREVIEW),
    Real("X", "0.0", &Settings::X, IDC_X, 8),
    Real("Y", "0.0", &Settings::Y, IDC_Y, 8),
    Real("CenterX", "-0.5", &Settings::CenterX, IDC_CENTERX, 3),
    Real("CenterY", "0.0", &Settings::CenterY, IDC_CENTERY, 3),
    Real("DriftX", "0.0", &Settings::DriftX, IDC_DRIFTX, 6),
    Real("DriftY", "0.0", &Settings::DriftY, IDC_DRIFTY, 6),
    Real("SampleRadius", "0.005", &Settings::SampleRadius, IDC_SAMPLERADIUS, 6),
    Real("BorderDistance", "0.00001", &Settings::BorderDistance, IDC_BORDERDISTANCE, 13),
    Real("MaxBailout", "4.0", &Settings::MaxBailout, IDC_MAXBAILOUT, 3),
    Real("MinBailout", "0.00001", &Settings::MinBailout, IDC_MINBAILOUT, 13),
};
inline constexpr size_t kSettingCount = sizeof kSettingTable / sizeof kSettingTable[0];

namespace settings_table {

constexpr bool SameKey(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (*a != *b) return false;
    return *a == *b;
}

// The table index of key; kSettingCount when there is none.
constexpr size_t IndexOf(const char* key)
{
    for (size_t i = 0; i < kSettingCount; ++i)
        if (SameKey(kSettingTable[i].key, key)) return i;
    return kSettingCount;
}

// Table indices of the keys; a key that names no setting, or a key named
// twice, stops the compilation where the order is declared.
template <size_t N>
constexpr std::array<size_t, N> Order(const char* const (&keys)[N])
{
    std::array<size_t, N> indices = {};
    bool seen[kSettingCount] = {};
    for (size_t k = 0; k < N; ++k) {
        const size_t i = IndexOf(keys[k]);
        if (i == kSettingCount || seen[i]) throw "a key of a settings order names no setting, or names one twice";
        seen[i] = true;
        indices[k] = i;
    }
    return indices;
}

}  // namespace settings_table

// Reading starts with Iterations, SamplePoints and Brightness, then the
// sizes; flags and reals as written.
inline constexpr const char* kLoadKeys[] = {
    "Iterations", "SamplePoints", "Brightness", "Width", "Height",
    "Clear", "Julia", "BorderOnly", "CheckBailout", "Preview",
    "X", "Y", "CenterX", "CenterY", "DriftX", "DriftY",
    "SampleRadius", "BorderDistance", "MaxBailout", "MinBailout",
};
inline constexpr auto kLoadOrder = settings_table::Order(kLoadKeys);
static_assert(kLoadOrder.size() == kSettingCount, "the load order names every setting");

// The Properties dialog fills its fields in this order.
inline constexpr const char* kFillKeys[] = {
    "Iterations", "SamplePoints", "Brightness", "Width", "Height",
    "Clear", "Julia", "BorderOnly", "CheckBailout", "Preview",
    "CenterX", "CenterY", "SampleRadius", "BorderDistance", "DriftX", "DriftY",
    "X", "Y", "MaxBailout", "MinBailout",
};
inline constexpr auto kFillOrder = settings_table::Order(kFillKeys);
static_assert(kFillOrder.size() == kSettingCount, "the dialog fills every setting");

// OK reads the flags and reals back in this order, after the counts and the
// output size, which it applies by hand.
inline constexpr const char* kReadBackKeys[] = {
    "Clear", "Julia", "BorderOnly", "CheckBailout", "Preview",
    "SampleRadius", "BorderDistance", "DriftX", "DriftY", "X", "Y",
    "CenterX", "CenterY", "MaxBailout", "MinBailout",
};
inline constexpr auto kReadBackOrder = settings_table::Order(kReadBackKeys);
static_assert(kReadBackOrder.size() == 15, "OK reads back every flag and real");
