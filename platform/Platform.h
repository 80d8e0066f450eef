#pragma once
// The few services the engine needs from the platform. Two implementations:
// the *Win32.cpp files make the real Windows calls; the *Portable.cpp files
// are our own, for the native build (tests, benchmarks, halovane-render).
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/SharedTypes.h"

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
// A file being written whole. A regular file (or a new one) is written into a
// temporary file of a unique name in its folder, created afresh, which
// replaces it only when everything was written, keeping its permissions
// without set-id bits (on Windows its attributes). A file we may not write
// (read-only) is refused. Symbolic links are followed and kept, except, in a
// sticky folder others may write to, links, files, pipes and devices that
// belong neither to us nor to the folder's owner: those are refused. A pipe
// or a character device is written into directly, opened without following
// a link and checked after the open; a block device is refused. The name
// "-" and names of our open descriptors (/dev/stdout, /dev/stderr,
// /proc/self/fd/N, /dev/fd/N) write into that descriptor. Any failure leaves
// the old file whole and removes the temporary file. POSIX details and the
// reasons for them: docs/files.md.
struct FileWrite {
    intptr_t handle;        // the file written (descriptor or HANDLE)
    intptr_t folder;        // portable: the target's folder, or -1
    std::string target;     // the name replaced (portable: inside folder)
    std::string temporary;  // empty when written directly
    uint32_t attributes;    // Windows: the old file's attributes to keep
    bool failed;
    std::string error;      // the first failure's reason
};
// False, with the reason in error, when nothing could be opened.
bool BeginFileWrite(const char* path, FileWrite& write, std::string& error);
// Appends bytes; a failure is remembered for FinishFileWrite.
void AppendFileWrite(FileWrite& write, const void* bytes, size_t count);
// Puts the file in place when commit is set and every step succeeded;
// otherwise removes the temporary file. False with the reason in error when
// the file was not written.
bool FinishFileWrite(FileWrite& write, bool commit, std::string& error);

// One whole file made of parts, written as above.
struct FilePart {
    const void* bytes;
    size_t count;
};
bool WriteWholeFile(const char* path, const FilePart* parts, size_t partCount, std::string& error);
// Removes every temporary file being written and makes every later write
// fail: for a process that is about to end at once.
void AbandonFileWrites();
// Called, when set, on the writing thread each time a temporary file has
// been created, before anything is written into it (a test point).
void SetTemporaryFileHook(void (*hook)());
// True when path names a regular file (after links): not a folder, device
// or pipe. Reading anything else could block or never end.
bool IsRegularFile(const char* path);

// --- Observer -----------------------------------------------------------------
// Tests and halovane-render watch what the engine asks of the platform. Each
// hook is called, when set, on the calling thread. onTitle and onRepaint come
// in addition to the platform's own effect; onMemoryError replaces the box,
// so that a test or the renderer is never stopped by a modal window, and
// onPreview the shell's viewer, so that no test opens one.
struct PlatformObserver {
    void (*onTitle)(const char* text);
    void (*onRepaint)(const ClientRect& area);
    void (*onMemoryError)(const char* text);
    void (*onPreview)(const char* file);
};
void SetPlatformObserver(const PlatformObserver* observer);
const PlatformObserver* CurrentPlatformObserver();
