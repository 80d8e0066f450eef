// Reading --settings: only poll() decides when a read may wait, so neither a
// stream that never ends nor one that never starts can hold the program.
#include "cli/SettingsInput.h"

#include <fcntl.h>
#include <unistd.h>
#if defined(_WIN32)
// Windows has no poll() for files and pipes: there a read may wait, and only
// the size is bounded.
const int kOpenFlags = O_RDONLY | O_BINARY;
#else
#include <poll.h>
// Non-blocking open: a pipe without a writer would otherwise wait forever.
const int kOpenFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
#endif

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/SettingsFile.h"

static bool Fail(std::string& reason, const std::string& text)
{
    reason = text;
    return false;
}

// Reads fd to its end within the size and time limits.
static bool ReadBounded(int fd, std::string& bytes, std::string& reason)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kSettingsInputMilliseconds);
    char chunk[65536];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return Fail(reason, "the input did not end within " +
                                    std::to_string(kSettingsInputMilliseconds / 1000) + " s");
#if defined(_WIN32)
        const int ready = 1;
#else
        struct pollfd wait = {fd, POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(left));
#endif
        if (ready < 0 && errno != EINTR) return Fail(reason, std::strerror(errno));
        if (ready <= 0) continue;
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return Fail(reason, std::strerror(errno));
        }
        if (n == 0) return true;
        if (bytes.size() + static_cast<size_t>(n) > kSettingsInputLimit)
            return Fail(reason, "it is longer than " + std::to_string(kSettingsInputLimit) +
                                    " bytes, too long for a settings file");
        bytes.append(chunk, static_cast<size_t>(n));
    }
}

bool ReadSettingsInput(const char* path, std::string& bytes, bool& missing, std::string& reason)
{
    bytes.clear();
    missing = false;
    const bool standardInput = std::strcmp(path, "-") == 0;
    const int fd = standardInput ? STDIN_FILENO : open(path, kOpenFlags);
    if (fd < 0) {
        missing = errno == ENOENT;
        return missing || Fail(reason, std::strerror(errno));
    }
    const bool ok = ReadBounded(fd, bytes, reason);
    if (!standardInput) close(fd);
    return ok;
}

bool LoadSettingsBytes(const std::string& bytes, std::string& reason)
{
    // The profile reader takes a file: give it a private copy.
    const char* folder = std::getenv("TMPDIR");
    if (!folder || !*folder) folder = std::getenv("TEMP");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/halovane-settings-XXXXXX";
    const int fd = mkstemp(&name[0]);
    if (fd < 0) return Fail(reason, std::string("cannot make a temporary copy: ") + std::strerror(errno));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const int writeError = done == bytes.size() ? 0 : errno ? errno : EIO;
    close(fd);
    if (writeError == 0) LoadSettingsFrom(name.c_str());
    unlink(name.c_str());
    return writeError == 0 ||
           Fail(reason, std::string("cannot make a temporary copy: ") + std::strerror(writeError));
}
