// The platform layer of the Windows program: the real Win32 calls.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "platform/Platform.h"
#include "platform/PlatformImpl.h"
#include "platform/Win32Messages.h"

bool ExecutablePath(char* buffer, uint32_t capacity)
{
    if (capacity == 0) return false;
    buffer[0] = '\0';
    // A path that does not fit comes back cut, with the full capacity as its length.
    const DWORD length = GetModuleFileNameA(nullptr, buffer, capacity);
    buffer[capacity - 1] = '\0';
    return length < capacity;
}

char PathSeparator() { return '\\'; }

void SleepMilliseconds(uint32_t ms) { Sleep(ms); }

void CloseThreadHandle(void* handle)
{
    if (handle) CloseHandle(static_cast<HANDLE>(handle));
}

// Set by the window thread when the main window exists; read by the worker.
static std::atomic<HWND> mainWindow{nullptr};

void SetPlatformWindow(void* window)
{
    mainWindow.store(static_cast<HWND>(window), std::memory_order_relaxed);
}

static HWND MainWindow() { return mainWindow.load(std::memory_order_relaxed); }

void PlatformPostWindowTitle(const char* text)
{
    HWND window = MainWindow();
    if (window) PostMessageA(window, kSetTitleMessage, 0, reinterpret_cast<LPARAM>(text));
}

void PlatformRequestRepaint(const ClientRect& area)
{
    HWND window = MainWindow();
    if (!window) return;
    RECT rect = {area.left, area.top, area.right, area.bottom};
    RedrawWindow(window, &rect, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE);
}

void PlatformShowMemoryError(const char* text)
{
    // Owned by the main window's active pop-up (the Properties dialog when
    // it is open): closing the box then returns to the dialog instead of
    // raising the main window over it. No owner before the window exists.
    HWND window = MainWindow();
    HWND owner = window ? GetLastActivePopup(window) : nullptr;
    MessageBoxA(owner, text, "Memory Error.", MB_OK);
}

void LaunchShellPreview(const char* file)
{
    ShellExecuteA(MainWindow(), "preview", file, nullptr, nullptr, SW_HIDE);
}

// The system's text for an error code, as a phrase: without the trailing
// full stop and line break, like the portable build's strerror texts.
static std::string ErrorText(DWORD code)
{
    char text[256] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.'))
        text[--n] = '\0';
    if (n == 0) std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(code));
    return text;
}

bool WriteWholeFile(const char* path, const FilePart* parts, size_t partCount, std::string& error)
{
    // Written beside the destination and then moved over it: a failed write,
    // or a destination another program holds open, leaves the old file whole.
    std::string temporary = std::string(path) + ".tmp";
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ErrorText(GetLastError());
        return false;
    }
    bool ok = true;
    for (size_t i = 0; ok && i < partCount; ++i) {
        DWORD written = 0;
        ok = WriteFile(file, parts[i].bytes, static_cast<DWORD>(parts[i].count), &written, nullptr) &&
             written == parts[i].count;
        if (!ok) error = ErrorText(GetLastError());
    }
    if (!CloseHandle(file) && ok) {
        ok = false;
        error = ErrorText(GetLastError());
    }
    if (ok && !MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING)) {
        ok = false;
        error = ErrorText(GetLastError());
    }
    if (!ok) DeleteFileA(temporary.c_str());
    return ok;
}
