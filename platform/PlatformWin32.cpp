// The platform layer of the Windows program: the real Win32 calls.
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

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

void PlatformLaunchShellPreview(const char* file)
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

static bool FailWrite(FileWrite& write, DWORD code)
{
    if (!write.failed) write.error = ErrorText(code);
    write.failed = true;
    return false;
}

// Temporary files being written, so that a process told to end at once can
// remove them. Never destroyed: writers may still run while the process exits.
static std::mutex& pendingLock = *new std::mutex();
static std::vector<std::string>& pending = *new std::vector<std::string>();
static bool abandoned = false;  // under pendingLock
static std::atomic<void (*)()> temporaryHook{nullptr};

void SetTemporaryFileHook(void (*hook)()) { temporaryHook.store(hook); }

void AbandonFileWrites()
{
    std::lock_guard<std::mutex> hold(pendingLock);
    abandoned = true;
    // Opened with FILE_SHARE_DELETE: a file still open goes when its handle closes.
    for (const std::string& name : pending) DeleteFileA(name.c_str());
    pending.clear();
}

static void Forget(const std::string& name)
{
    for (size_t i = 0; i < pending.size(); ++i) {
        if (pending[i] == name) {
            pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

// A short name, unique in practice; CREATE_NEW makes sure of it.
static std::string TemporaryName()
{
    static LONG counter = 0;
    LARGE_INTEGER ticks = {};
    QueryPerformanceCounter(&ticks);
    uint32_t bits = static_cast<uint32_t>(ticks.QuadPart) * 2654435761u ^ GetCurrentProcessId() * 40503u ^
                    static_cast<uint32_t>(InterlockedIncrement(&counter)) * 0x9E3779B9u;
    char name[16];
    std::snprintf(name, sizeof name, ".hv%06x", static_cast<unsigned>(bits & 0xFFFFFF));
    return name;
}

// The replacement is made in the target's folder under a name of its own,
// created afresh, and moved over the target only once it is whole.
static bool BeginReplace(const char* path, FileWrite& write)
{
    write.target = path;
    write.attributes = GetFileAttributesA(path);
    if (write.attributes != INVALID_FILE_ATTRIBUTES && (write.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        write.failed = true;
        write.error = "it is a folder";
        return false;
    }
    std::string folder = path;
    const size_t slash = folder.find_last_of("\\/:");
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    DWORD code = ERROR_FILE_EXISTS;
    {
        std::lock_guard<std::mutex> hold(pendingLock);
        if (abandoned) return FailWrite(write, ERROR_CANCELLED);
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string temporary = folder + TemporaryName();
            HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                write.handle = reinterpret_cast<intptr_t>(file);
                write.temporary = temporary;
                pending.push_back(temporary);
                code = ERROR_SUCCESS;
                break;
            }
            code = GetLastError();
            if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) break;
        }
    }
    if (code != ERROR_SUCCESS) return FailWrite(write, code);
    void (*hook)() = temporaryHook.load();
    if (hook) hook();
    return true;
}

bool BeginFileWrite(const char* path, FileWrite& write, std::string& error)
{
    write = FileWrite{reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE), -1, std::string(), std::string(),
                      INVALID_FILE_ATTRIBUTES, false, std::string()};
    if (std::strcmp(path, "-") == 0) {
        write.handle = reinterpret_cast<intptr_t>(GetStdHandle(STD_OUTPUT_HANDLE));
        return true;
    }
    if (BeginReplace(path, write)) return true;
    FinishFileWrite(write, false, error);
    return false;
}

void AppendFileWrite(FileWrite& write, const void* bytes, size_t count)
{
    HANDLE file = reinterpret_cast<HANDLE>(write.handle);
    const char* at = static_cast<const char*>(bytes);
    while (!write.failed && count > 0) {
        const DWORD chunk = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(file, at, chunk, &written, nullptr)) {
            FailWrite(write, GetLastError());
            return;
        }
        if (written == 0) {
            FailWrite(write, ERROR_WRITE_FAULT);
            return;
        }
        at += written;
        count -= written;
    }
}

bool FinishFileWrite(FileWrite& write, bool commit, std::string& error)
{
    HANDLE file = reinterpret_cast<HANDLE>(write.handle);
    const bool replacing = !write.temporary.empty();
    if (!commit && !write.failed) FailWrite(write, ERROR_CANCELLED);
    // Standard output is not ours to close.
    if (replacing && file != INVALID_HANDLE_VALUE) {
        if (!write.failed && !FlushFileBuffers(file)) FailWrite(write, GetLastError());
        if (!CloseHandle(file) && !write.failed) FailWrite(write, GetLastError());
    }
    if (replacing) {
        std::lock_guard<std::mutex> hold(pendingLock);
        if (abandoned) FailWrite(write, ERROR_CANCELLED);
        if (!write.failed) {
            // The replaced file's attributes go to its successor (read-only
            // files refuse the move below and stay as they are).
            const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                               FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
            if (write.attributes != INVALID_FILE_ATTRIBUTES && (write.attributes & kept))
                SetFileAttributesA(write.temporary.c_str(), write.attributes & kept);
            // A target another program holds open refuses the move: the old
            // file stays whole. MoveFileEx rather than ReplaceFile: see
            // docs/files.md.
            if (!MoveFileExA(write.temporary.c_str(), write.target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
                FailWrite(write, GetLastError());
        }
        if (write.failed) DeleteFileA(write.temporary.c_str());
        Forget(write.temporary);
    }
    write.handle = reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE);
    error = write.error;
    return !write.failed;
}

bool IsRegularFile(const char* path)
{
    // Devices and pipes that Wine finds in the Unix file system have no
    // attributes at all.
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}
