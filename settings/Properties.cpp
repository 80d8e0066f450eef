#include "settings/Properties.h"

#include <cstdint>

#include "app/AppState.h"
#include "resources/resource.h"
#include "settings/RealText.h"
#include "settings/SettingsTable.h"

namespace {

const int kTextCapacity = 260;

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
    for (size_t index : kFillOrder) {
        const SettingDef& f = kSettingTable[index];
        if (f.kind == kInteger) {
            ShowInt(ops, dialog, f.dialogId, s.*f.integer);
        } else if (f.kind == kFlag) {
            ops.setCheck(dialog, f.dialogId, s.*f.flag);
        } else {
            char text[kTextCapacity];
            FormatFixed(static_cast<float>(s.*f.real), f.decimals, text, sizeof text);
            ops.setText(dialog, f.dialogId, text);
        }
    }
}

bool ApplyProperties(const DialogOps& ops, const PropertiesActions& actions, void* dialog)
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
        success = actions.allocSamples();
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
            success = actions.allocOutputImage();
            // A run that began since the test above makes the allocation
            // refuse and keep its block; the size then stays as it was. A
            // failed allocation leaves no block and keeps the size that failed.
            if (!success && app.outputImage.pixels) {
                s.Width = oldWidth;
                s.Height = oldHeight;
            }
        }
    }

    for (size_t index : kReadBackOrder) {
        const SettingDef& f = kSettingTable[index];
        if (f.kind == kFlag) {
            s.*f.flag = ops.getCheck(dialog, f.dialogId);
        } else {
            char text[kTextCapacity] = {};
            ops.getText(dialog, f.dialogId, text, kTextCapacity);
            text[kTextCapacity - 1] = '\0';
            s.*f.real = static_cast<float>(ReadReal(text));
        }
    }

    if (success) {
        actions.saveSettings();
        ops.end(dialog, 1);
    }
    return success;
}

void CancelProperties(const DialogOps& ops, void* dialog) { ops.end(dialog, 2); }
