#pragma once
// The Properties dialog's fill and OK logic, written against a small table of
// dialog operations so that it runs without a window system. The Windows
// program plugs in the real dialog calls; tests plug in a fake dialog.
#include <cstdint>

struct DialogOps {
    // The field shows value as an unsigned decimal number.
    void (*setInt)(void* dialog, int id, uint32_t value);
    // The field's text as an unsigned 32-bit decimal number; 0 when it holds
    // no such number.
    uint32_t (*getInt)(void* dialog, int id);
    void (*setText)(void* dialog, int id, const char* text);
    // At most capacity - 1 characters and a terminator.
    void (*getText)(void* dialog, int id, char* buffer, int capacity);
    void (*setCheck)(void* dialog, int id, bool on);
    bool (*getCheck)(void* dialog, int id);
    void (*end)(void* dialog, intptr_t result);
};

// What confirming the dialog asks of the program above it: the program plugs
// in AllocSamples, AllocOutputImage and SaveSettings.
struct PropertiesActions {
    // Replace the sample arrays / the output image for the settings now held;
    // false (after the "Memory Error." box) when that failed. The output
    // image is refused, silently, while a run is in progress.
    bool (*allocSamples)();
    bool (*allocOutputImage)();
    void (*saveSettings)();
};

// Shows every setting in its field.
void FillProperties(const DialogOps& ops, void* dialog);
// Applies the fields; on success saves the settings and ends the dialog with
// 1. False (dialog left open) when an allocation failed or the output size
// was refused because a run is in progress.
bool ApplyProperties(const DialogOps& ops, const PropertiesActions& actions, void* dialog);
// Ends the dialog with 2; nothing is read.
void CancelProperties(const DialogOps& ops, void* dialog);
