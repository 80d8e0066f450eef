#include "settings/Properties.h"

#include <cstdint>

#include "app/AppState.h"
#include "render/Image.h"
#include "render/Samples.h"
#include "resources/resource.h"
#include "settings/RealText.h"

namespace {

const int kTextCapacity = 260;

struct RealField {
    int id;
    Relaxed<float> Settings::*setting;
    int decimals;
};

// Fill order.
const RealField kRealFillOrder[] = {
    {IDC_CENTERX, &Settings::CenterX, 3},          {IDC_CENTERY, &Settings::CenterY, 3},
    {IDC_SAMPLERADIUS, &Settings::SampleRadius, 6}, {IDC_BORDERDISTANCE, &Settings::BorderDistance, 13},
    {IDC_DRIFTX, &Settings::DriftX, 6},            {IDC_DRIFTY, &Settings::DriftY, 6},
    {IDC_X, &Settings::X, 8},                      {IDC_Y, &Settings::Y, 8},
    {IDC_MAXBAILOUT, &Settings::MaxBailout, 3},    {IDC_MINBAILOUT, &Settings::MinBailout, 13},
};

// Read-back order.
const RealField kRealReadOrder[] = {
    {IDC_SAMPLERADIUS, &Settings::SampleRadius, 6}, {IDC_BORDERDISTANCE, &Settings::BorderDistance, 13},
    {IDC_DRIFTX, &Settings::DriftX, 6},            {IDC_DRIFTY, &Settings::DriftY, 6},
    {IDC_X, &Settings::X, 8},                      {IDC_Y, &Settings::Y, 8},
    {IDC_CENTERX, &Settings::CenterX, 3},          {IDC_CENTERY, &Settings::CenterY, 3},
    {IDC_MAXBAILOUT, &Settings::MaxBailout, 3},    {IDC_MINBAILOUT, &Settings::MinBailout, 13},
};

struct FlagField {
    int id;
    Relaxed<bool> Settings::*setting;
};

const FlagField kFlags[] = {
    {IDC_CLEAR, &Settings::Clear},
    {IDC_JULIA, &Settings::Julia},
    {IDC_BORDERONLY, &Settings::BorderOnly},
    {IDC_CHECKBAILOUT, &Settings::CheckBailout},
    {IDC_PREVIEW, &Settings::Preview},
};

// Unsigned text to the signed setting: the same 32 bits.
int32_t ReadInt(const DialogOps& ops, void* dialog, int id)
{
    return static_cast<int32_t>(ops.getInt(dialog, id));
}

void ShowInt(const DialogOps& ops, void* dialog, int id, int32_t value)
{
    ops.setInt(dialog, id, static_cast<uint32_t>(value));
}

}  // namespace

void FillProperties(const DialogOps& ops, void* dialog)
{
    Settings& s = app.settings;
    ShowInt(ops, dialog, IDC_ITERATIONS, s.Iterations);
    ShowInt(ops, dialog, IDC_SAMPLEPOINTS, s.SamplePoints);
    ShowInt(ops, dialog, IDC_BRIGHTNESS, s.Brightness);
    ShowInt(ops, dialog, IDC_OUTPUTWIDTH, s.Width);
    ShowInt(ops, dialog, IDC_OUTPUTHEIGHT, s.Height);
    for (const FlagField& f : kFlags) ops.setCheck(dialog, f.id, s.*f.setting);
    for (const RealField& f : kRealFillOrder) {
        char text[kTextCapacity];
        FormatFixed(static_cast<float>(s.*f.setting), f.decimals, text, sizeof text);
        ops.setText(dialog, f.id, text);
    }
}

bool ApplyProperties(const DialogOps& ops, void* dialog)
{
    Settings& s = app.settings;
    bool success = true;

    s.Iterations = ReadInt(ops, dialog, IDC_ITERATIONS);
    const int32_t count = ReadInt(ops, dialog, IDC_SAMPLEPOINTS);
    const int32_t brightness = ReadInt(ops, dialog, IDC_BRIGHTNESS);
    const int32_t size = ReadInt(ops, dialog, IDC_OUTPUTWIDTH);

    // After a failed allocation the settings already hold the values that
    // failed, so an absent block is allocated again even when no field changed.
    const bool samplesAbsent = app.samples.z == nullptr;
    if (count != s.SamplePoints || brightness != s.Brightness || samplesAbsent) {
        s.SamplePoints = count;
        s.Brightness = brightness;
        success = AllocSamples();
    }

    const bool sizeChanged = size != s.Width;
    const bool outputAbsent = app.outputImage.pixels == nullptr;
    if ((sizeChanged || outputAbsent) && success) {
        if (app.running) {
            // The worker may be splatting into the block: refused, silently.
            success = false;
        } else {
            const int32_t oldWidth = s.Width;
            const int32_t oldHeight = s.Height;
            if (sizeChanged) {
                s.Width = size;
                s.Height = size;
            }
            success = AllocOutputImage();
            // A run that began since the test above makes the allocation
            // refuse and keep its block; the size then stays as it was. A
            // failed allocation leaves no block and keeps the size that failed.
            if (!success && app.outputImage.pixels) {
                s.Width = oldWidth;
                s.Height = oldHeight;
            }
        }
    }

    for (const FlagField& f : kFlags) s.*f.setting = ops.getCheck(dialog, f.id);
    for (const RealField& f : kRealReadOrder) {
        char text[kTextCapacity] = {};
        ops.getText(dialog, f.id, text, kTextCapacity);
        text[kTextCapacity - 1] = '\0';
        s.*f.setting = static_cast<float>(ReadReal(text));
    }

    if (success) {
        ops.saveSettings();
        ops.end(dialog, 1);
    }
    return success;
}

void CancelProperties(const DialogOps& ops, void* dialog) { ops.end(dialog, 2); }
