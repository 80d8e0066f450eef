#pragma once
// The few services the engine needs from the platform. Two implementations:
// the *Win32.cpp files make the real Windows calls; the *Portable.cpp files
// are our own, for the native build (tests, benchmarks, halovane-render).
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/SharedTypes.h"

// --- Private-profile settings file -------------------------------------------
// Windows: GetPrivateProfileIntA / GetPrivateProfileStringA /
// WritePrivateProfileStringA. Section and key names match without regard to
// case; a missing file, section or key gives the default.
int32_t ProfileGetInt(const char* section, const char* key, int32_t fallback, const char* path);
// Copies at most size - 1 characters of the value and a terminator.
void ProfileGetString(const char* section, const char* key, const char* fallback, char* buffer,
                      uint32_t size, const char* path);
// Sets key=value in place, appending the key or the section when missing.
// Writing an unchanged value writes nothing. Returns false when the file
// could not be written.
bool ProfileWriteString(const char* section, const char* key, const char* value,
                        const char* path);

// --- Process ------------------------------------------------------------------
// The running executable's full path, cut to capacity - 1 characters and
// terminated; empty when the platform gives none. False when the path was
// cut. The directory separator is '\\' on Windows and '/' elsewhere.
bool ExecutablePath(char* buffer, uint32_t capacity);
char PathSeparator();
void SleepMilliseconds(uint32_t ms);
// Releases a thread handle stored in AppState (no-op for null).
void CloseThreadHandle(void* handle);

// --- Window -------------------------------------------------------------------
// The window that titles, repaints, the memory box and the preview address
// (a HWND on Windows; null until the main window exists). The platform layer
// keeps it so that nothing below the program needs the program's state.
void SetPlatformWindow(void* window);
// Shows the status text as the main window's title. Never waits for the
// window thread: the change is posted and applied there. text must be a
// string with static lifetime.
void PostWindowTitle(const char* text);
// Marks an area of the main window's client area for repainting
// (invalidate, internal paint, erase). Does not wait.
void RequestRepaint(const ClientRect& area);
// "Memory Error." box owned by the main window (none at start-up); the
// portable build prints caption and text on standard error.
void ShowMemoryError(const char* text);
// Asks the desktop shell to open file with the verb "preview"; the result is
// ignored. Nothing happens on the portable build.
void LaunchShellPreview(const char* file);

// --- Files --------------------------------------------------------------------
// Writes parts to path as one new file: the bytes go to a temporary file
// beside it, which replaces path only when everything was written. On
// failure path is left as it was and error holds the reason.
struct FilePart {
    const void* bytes;
    size_t count;
};
bool WriteWholeFile(const char* path, const FilePart* parts, size_t partCount, std::string& error);

// --- Observer -----------------------------------------------------------------
// Tests and halovane-render watch what the engine asks of the platform. Each
// hook is called, when set, on the calling thread. onTitle and onRepaint come
// in addition to the platform's own effect; onMemoryError replaces the box,
// so that a test or the renderer is never stopped by a modal window.
struct PlatformObserver {
    void (*onTitle)(const char* text);
    void (*onRepaint)(const ClientRect& area);
    void (*onMemoryError)(const char* text);
};
void SetPlatformObserver(const PlatformObserver* observer);
const PlatformObserver* CurrentPlatformObserver();
