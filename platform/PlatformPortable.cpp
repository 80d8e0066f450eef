// The platform layer of the native build: what the engine needs, without a
// window system.
#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "platform/PlatformImpl.h"

// The magic number of the /proc file system (statfs's f_type).
static const long kProcMagic = 0x9fa0;

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

void PlatformLaunchShellPreview(const char*) {}

// --- Files ----------------------------------------------------------------------

static std::string ErrorText(int code) { return std::strerror(code); }

static bool FailText(FileWrite& write, const std::string& text)
{
    if (!write.failed) write.error = text;
    write.failed = true;
    return false;
}

static bool FailWrite(FileWrite& write, int code) { return FailText(write, ErrorText(code)); }

// Temporary files being written, so that a process told to end at once can
// remove them. Never destroyed: writers may still run while the process exits.
struct Pending {
    int folder;
    std::string name;
};
static std::mutex& pendingLock = *new std::mutex();
static std::vector<Pending>& pending = *new std::vector<Pending>();
static bool abandoned = false;  // under pendingLock
static std::atomic<void (*)()> temporaryHook{nullptr};

void SetTemporaryFileHook(void (*hook)()) { temporaryHook.store(hook); }

void AbandonFileWrites()
{
    std::lock_guard<std::mutex> hold(pendingLock);
    abandoned = true;
    for (const Pending& p : pending) unlinkat(p.folder, p.name.c_str(), 0);
    pending.clear();
}

static void Forget(int folder, const std::string& name)
{
    for (size_t i = 0; i < pending.size(); ++i) {
        if (pending[i].folder == folder && pending[i].name == name) {
            pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

// The descriptor that a name such as /dev/stdout or /proc/self/fd/3 stands
// for, or -1. Such a name is an open file of ours: the image goes into it,
// at its offset, instead of replacing whatever file is behind it.
static int NamedDescriptor(const std::string& path)
{
    if (path == "/dev/stdin") return STDIN_FILENO;
    if (path == "/dev/stdout") return STDOUT_FILENO;
    if (path == "/dev/stderr") return STDERR_FILENO;
    const std::string prefixes[] = {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/",
                                    "/proc/" + std::to_string(getpid()) + "/fd/"};
    for (const std::string& prefix : prefixes) {
        if (path.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = path.substr(prefix.size());
        if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            return -1;
        return std::atoi(digits.c_str());
    }
    return -1;
}

// A sticky folder that others may write to: a shared temporary folder.
static bool SharedFolder(const struct stat& folder)
{
    return (folder.st_mode & S_ISVTX) && (folder.st_mode & (S_IWGRP | S_IWOTH));
}

// The rule of the kernel's link and FIFO protection, here for every kind of
// entry and whether the protection is on or not: in a shared folder only
// what belongs to us or to the folder's owner is followed or written.
static bool MayUse(int folder, const struct stat& entry)
{
    struct stat holder;
    if (fstat(folder, &holder) != 0) return false;
    return !SharedFolder(holder) || entry.st_uid == geteuid() || entry.st_uid == holder.st_uid;
}

// Links in /proc (a descriptor's, a process's folder) say where something
// was opened, not where it is: never followed by their text.
static bool OnProcFileSystem(int folder)
{
    struct statfs info;
    return fstatfs(folder, &info) == 0 && info.f_type == kProcMagic;
}

// Where a path leads: the folder holding the file (open, O_PATH) and its
// name there, or the descriptor the path names. Every part of the path is
// looked at before it is used and opened without following a link; links
// are followed by their text, under MayUse's rule.
struct Place {
    int folder = -1;
    std::string name;
    int descriptor = -1;
};

static bool FindPlace(std::string rest, Place& place, int& code)
{
    if (rest.empty()) {
        code = ENOENT;
        return false;
    }
    int at = open(rest[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (at < 0) {
        code = errno;
        return false;
    }
    for (int links = 0;;) {
        const size_t begin = rest.find_first_not_of('/');
        if (begin == std::string::npos) {
            code = EISDIR;  // "/" or a name ending in '/': a folder
            break;
        }
        const size_t end = rest.find('/', begin);
        const bool last = end == std::string::npos;
        const std::string name = rest.substr(begin, last ? std::string::npos : end - begin);
        struct stat entry;
        if (fstatat(at, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            code = errno;
            if (code != ENOENT || !last) break;
            place.folder = at;  // a new file
            place.name = name;
            return true;
        }
        if (S_ISLNK(entry.st_mode)) {
            if (++links > 40) {
                code = ELOOP;
                break;
            }
            if (!MayUse(at, entry) || OnProcFileSystem(at)) {
                code = EACCES;
                break;
            }
            std::string text(PATH_MAX, '\0');
            const ssize_t n = readlinkat(at, name.c_str(), &text[0], text.size());
            if (n <= 0) {
                code = n < 0 ? errno : ENOENT;
                break;
            }
            text.resize(static_cast<size_t>(n));
            rest = text + (last ? std::string() : rest.substr(end));
            place.descriptor = NamedDescriptor(rest);
            if (place.descriptor >= 0) {
                close(at);
                return true;
            }
            if (text[0] == '/') {
                close(at);
                at = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
                if (at < 0) {
                    code = errno;
                    return false;
                }
            }
            continue;
        }
        if (last) {
            place.folder = at;
            place.name = name;
            return true;
        }
        const int next = openat(at, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            code = errno;
            break;
        }
        close(at);
        at = next;
        rest.erase(0, end);
    }
    close(at);
    return false;
}

// A short name, so that the temporary file fits wherever the target does.
static std::string TemporaryName()
{
    static std::atomic<uint32_t> counter{0};
    uint64_t bits = 0;
    if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        bits = static_cast<uint64_t>(now.tv_nsec) * 0x9E3779B97F4A7C15ull ^
               static_cast<uint64_t>(getpid()) << 32 ^ static_cast<uint64_t>(now.tv_sec);
    }
    bits += counter.fetch_add(1, std::memory_order_relaxed);
    static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = ".hv";
    for (int i = 0; i < 8; ++i, bits /= 36) name += kDigits[bits % 36];
    return name;
}

// Writes into an open descriptor of ours (a copy of it, closed at the end).
static bool BeginDescriptorWrite(int source, FileWrite& write)
{
    const int fd = fcntl(source, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) return FailWrite(write, errno);
    write.handle = fd;
    struct stat info;
    if (fstat(fd, &info) != 0) return FailWrite(write, errno);
    if (S_ISDIR(info.st_mode)) return FailWrite(write, EISDIR);
    return true;
}

// Creates the temporary file in the target's folder: exclusively and never
// through a link, so a name someone else holds is simply passed over.
static bool CreateTemporary(FileWrite& write)
{
    const int dir = static_cast<int>(write.folder);
    int code = EEXIST;
    {
        std::lock_guard<std::mutex> hold(pendingLock);
        if (abandoned) return FailWrite(write, ECANCELED);
        for (int attempt = 0; attempt < 100 && code == EEXIST; ++attempt) {
            const std::string name = TemporaryName();
            const int fd = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd < 0) {
                code = errno;
                continue;
            }
            write.handle = fd;
            write.temporary = name;
            pending.push_back(Pending{dir, name});
            code = 0;
        }
    }
    if (code != 0) return FailWrite(write, code);
    void (*hook)() = temporaryHook.load();
    if (hook) hook();
    return true;
}

// The replacement keeps the old file's owner where we may set it (owner
// first: changing it clears the set-id bits), else its group where we may,
// and its permission bits. Set-id and sticky bits are dropped: an image or
// a settings file is no program.
static void KeepOwnerAndMode(int fd, const struct stat& old)
{
    if (fchown(fd, old.st_uid, old.st_gid) != 0 && fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        // Only the superuser may give a file away; a group we are not in stays ours.
    }
    if (fchmod(fd, old.st_mode & 0777) != 0) {
        // The file keeps 0666 less the umask.
    }
}

// A pipe or a character device: written into. Opened without following a
// link and without waiting, then checked to be the very entry looked at.
static bool OpenInPlace(FileWrite& write, const struct stat& seen)
{
    const int dir = static_cast<int>(write.folder);
    const int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd;
    // A pipe nobody reads yet refuses a non-blocking open: wait for a
    // reader, as a blocking open would.
    while ((fd = openat(dir, write.target.c_str(), flags)) < 0 && errno == ENXIO && S_ISFIFO(seen.st_mode))
        SleepMilliseconds(10);
    if (fd < 0) return FailWrite(write, errno);
    write.handle = fd;
    struct stat opened;
    if (fstat(fd, &opened) != 0) return FailWrite(write, errno);
    if (opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino)
        return FailText(write, "it was replaced while it was opened");
    const int now = fcntl(fd, F_GETFL);
    if (now < 0 || fcntl(fd, F_SETFL, now & ~O_NONBLOCK) != 0) return FailWrite(write, errno);
    return true;
}

// What the path leads to decides the write: a new or regular file is
// written beside it and moved over it; a pipe or a character device is
// written into; anything else is refused.
static bool BeginAt(const Place& place, FileWrite& write)
{
    const int dir = place.folder;
    write.folder = dir;
    write.target = place.name;
    struct stat old;
    if (fstatat(dir, place.name.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) return FailWrite(write, errno);
        return CreateTemporary(write);
    }
    if (S_ISLNK(old.st_mode)) return FailText(write, "it was replaced by a link while it was opened");
    if (S_ISDIR(old.st_mode)) return FailWrite(write, EISDIR);
    if (!MayUse(dir, old)) return FailWrite(write, EACCES);
    if (S_ISBLK(old.st_mode)) return FailText(write, "it is a block device");
    if (S_ISSOCK(old.st_mode)) return FailText(write, "it is a socket");
    if (!S_ISREG(old.st_mode)) return OpenInPlace(write, old);
    // A file we may not write is not replaced either, as on Windows.
    if (faccessat(dir, place.name.c_str(), W_OK, AT_EACCESS) != 0) return FailWrite(write, errno);
    if (!CreateTemporary(write)) return false;
    KeepOwnerAndMode(static_cast<int>(write.handle), old);
    return true;
}

bool BeginFileWrite(const char* path, FileWrite& write, std::string& error)
{
    write = FileWrite{-1, -1, std::string(), std::string(), 0, false, std::string()};
    Place place;
    place.descriptor = std::strcmp(path, "-") == 0 ? STDOUT_FILENO : NamedDescriptor(path);
    int code = 0;
    bool ok = place.descriptor >= 0 || FindPlace(path, place, code) || FailWrite(write, code);
    if (ok) ok = place.descriptor >= 0 ? BeginDescriptorWrite(place.descriptor, write) : BeginAt(place, write);
    if (!ok) FinishFileWrite(write, false, error);
    return ok;
}

void AppendFileWrite(FileWrite& write, const void* bytes, size_t count)
{
    const char* at = static_cast<const char*>(bytes);
    while (!write.failed && count > 0) {
        const ssize_t n = ::write(static_cast<int>(write.handle), at, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            FailWrite(write, n < 0 ? errno : EIO);
            return;
        }
        at += n;
        count -= static_cast<size_t>(n);
    }
}

// The rename on disk too, so that a crash soon after a save keeps the new file.
static void SyncFolder(int dir)
{
    const int fd = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    if (fsync(fd) != 0) {
        // The file is in place; some file systems cannot sync a folder.
    }
    close(fd);
}

bool FinishFileWrite(FileWrite& write, bool commit, std::string& error)
{
    const int fd = static_cast<int>(write.handle);
    const int dir = static_cast<int>(write.folder);
    const bool replacing = !write.temporary.empty();
    if (!commit && !write.failed) FailWrite(write, ECANCELED);
    if (fd >= 0) {
        // On disk before it replaces the old file, so that a crash leaves one or the other.
        if (replacing && !write.failed && fsync(fd) != 0) FailWrite(write, errno);
        if (close(fd) != 0 && !write.failed) FailWrite(write, errno);
    }
    if (replacing) {
        std::lock_guard<std::mutex> hold(pendingLock);
        if (abandoned) FailWrite(write, ECANCELED);
        if (!write.failed && renameat(dir, write.temporary.c_str(), dir, write.target.c_str()) != 0)
            FailWrite(write, errno);
        if (write.failed) unlinkat(dir, write.temporary.c_str(), 0);
        Forget(dir, write.temporary);
    }
    if (replacing && !write.failed) SyncFolder(dir);
    if (dir >= 0) close(dir);
    write.handle = -1;
    write.folder = -1;
    error = write.error;
    return !write.failed;
}

bool IsRegularFile(const char* path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode);
}
