// The platform layer of the native build: what the engine needs, without a
// window system.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/Platform.h"
#include "platform/PlatformImpl.h"

bool ExecutablePath(char* buffer, uint32_t capacity)
{
    if (capacity == 0) return false;
    // readlink fills the buffer without a terminator: a full buffer may be a cut path.
    ssize_t n = readlink("/proc/self/exe", buffer, capacity);
    if (n >= static_cast<ssize_t>(capacity)) {
        buffer[capacity - 1] = '\0';
        return false;
    }
    buffer[n > 0 ? n : 0] = '\0';
    return true;
}

char PathSeparator() { return '/'; }

void SleepMilliseconds(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void CloseThreadHandle(void*) {}

// No window here: titles and repaints reach only the observer.
void SetPlatformWindow(void*) {}

void PlatformPostWindowTitle(const char*) {}

void PlatformRequestRepaint(const ClientRect&) {}

void PlatformShowMemoryError(const char* text) { std::fprintf(stderr, "Memory Error.: %s\n", text); }

void LaunchShellPreview(const char*) {}

bool WriteWholeFile(const char* path, const FilePart* parts, size_t partCount, std::string& error)
{
    std::string temporary = std::string(path) + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = true;
    for (size_t i = 0; ok && i < partCount; ++i)
        ok = std::fwrite(parts[i].bytes, 1, parts[i].count, file) == parts[i].count;
    if (!ok) error = std::strerror(errno);
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = std::strerror(errno);
    }
    if (ok && std::rename(temporary.c_str(), path) != 0) {
        ok = false;
        error = std::strerror(errno);
    }
    if (!ok) std::remove(temporary.c_str());
    return ok;
}
