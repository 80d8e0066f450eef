// Reading --settings on POSIX systems: only poll() decides when a read may
// wait, so neither a stream that never starts nor one that stops part way can
// hold the program; the size limit ends a stream that never ends.
#include "cli/SettingsInput.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

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

// Whole seconds where they are whole: "30 s", "0.05 s".
static std::string Seconds(int milliseconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g s", milliseconds / 1000.0);
    return text;
}

// Reads fd to its end within the size limit, waiting at most the patience
// for each next byte.
static bool ReadBounded(int fd, const InputPatience& patience, std::string& bytes, std::string& reason)
{
    using Clock = std::chrono::steady_clock;
    char chunk[65536];
    bool started = false;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(patience.firstMilliseconds);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return Fail(reason, started ? "the input paused for over " + Seconds(patience.idleMilliseconds) +
                                              " before it ended"
                                        : "no input arrived within " + Seconds(patience.firstMilliseconds));
        struct pollfd wait = {fd, POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(left));
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
        started = true;
        deadline = Clock::now() + std::chrono::milliseconds(patience.idleMilliseconds);
    }
}

bool ReadSettingsInputWithin(const char* path, const InputPatience& patience, std::string& bytes, bool& missing,
                             std::string& reason)
{
    bytes.clear();
    missing = false;
    const bool standardInput = std::strcmp(path, "-") == 0;
    // Non-blocking open: a pipe without a writer would otherwise wait forever.
    const int fd = standardInput ? STDIN_FILENO : open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT;
        return missing || Fail(reason, std::strerror(errno));
    }
    const bool ok = ReadBounded(fd, patience, bytes, reason);
    if (!standardInput) close(fd);
    return ok;
}

bool ReadSettingsInput(const char* path, std::string& bytes, bool& missing, std::string& reason)
{
    return ReadSettingsInputWithin(path, kSettingsInputPatience, bytes, missing, reason);
}

// Writes all bytes to fd; the error number, or 0.
static int WriteAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

// The profile reader takes a file's name: a file in memory where the system
// has them, named through our descriptor.
static bool LoadFromMemory(const std::string& bytes)
{
    const int fd = memfd_create("halovane-settings", MFD_CLOEXEC);
    if (fd < 0) return false;
    const std::string name = "/proc/self/fd/" + std::to_string(fd);
    const bool ok = WriteAll(fd, bytes) == 0 && access(name.c_str(), R_OK) == 0;
    if (ok) LoadSettingsFrom(name.c_str());
    close(fd);
    return ok;
}

// Otherwise a private copy in the temporary folder.
static bool LoadFromCopy(const std::string& bytes, std::string& reason)
{
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/halovane-settings-XXXXXX";
    const int fd = mkstemp(&name[0]);
    if (fd < 0) return Fail(reason, std::string("cannot make a temporary copy: ") + std::strerror(errno));
    const int writeError = WriteAll(fd, bytes);
    close(fd);
    if (writeError == 0) LoadSettingsFrom(name.c_str());
    unlink(name.c_str());
    return writeError == 0 ||
           Fail(reason, std::string("cannot make a temporary copy: ") + std::strerror(writeError));
}

bool LoadSettingsBytes(const std::string& bytes, std::string& reason)
{
    return LoadFromMemory(bytes) || LoadFromCopy(bytes, reason);
}
