// The platform layer of the native build: what the engine needs, without a
// window system.
#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
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

void PlatformLaunchShellPreview(const char*) {}

// --- Files ----------------------------------------------------------------------

static std::string ErrorText(int code) { return std::strerror(code); }

static bool FailWrite(FileWrite& write, int code)
{
    if (!write.failed) write.error = ErrorText(code);
    write.failed = true;
    return false;
}

// The folder part of a path with its trailing '/', or "" for a bare name.
static std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The rule the kernel applies when it opens through a link: in a sticky
// folder anyone may write to (a shared temporary folder), only links of our
// own or of the folder's owner are followed.
static bool MayFollow(const std::string& link, const struct stat& info)
{
    if (info.st_uid == geteuid()) return true;
    const std::string folder = FolderOf(link);
    struct stat holder;
    if (stat(folder.empty() ? "." : folder.c_str(), &holder) != 0) return false;
    const bool shared = (holder.st_mode & S_ISVTX) && (holder.st_mode & S_IWOTH);
    return !shared || holder.st_uid == info.st_uid;
}

// Follows symbolic links to the name the file has (or will have when it does
// not exist yet), so that writing updates a link's target and keeps the link.
static bool FollowLinks(const std::string& path, std::string& target, int& code)
{
    target = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info;
        if (lstat(target.c_str(), &info) != 0) {
            code = errno;
            return code == ENOENT;
        }
        if (!S_ISLNK(info.st_mode)) return true;
        if (!MayFollow(target, info)) {
            code = EACCES;
            return false;
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t n = readlink(target.c_str(), &link[0], link.size());
        if (n < 0) {
            code = errno;
            return false;
        }
        link.resize(static_cast<size_t>(n));
        target = link[0] == '/' ? link : FolderOf(target) + link;
    }
    code = ELOOP;
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

// Opens a file that is not a regular one (a device, a pipe) to write into it.
static bool BeginDirectWrite(const char* path, FileWrite& write)
{
    const int fd = std::strcmp(path, "-") == 0 ? dup(STDOUT_FILENO)
                                               : open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return FailWrite(write, errno);
    write.handle = fd;
    return true;
}

// Creates the temporary file in the target's folder: exclusively and never
// through a link, so a name someone else holds is simply passed over.
static bool CreateTemporary(FileWrite& write)
{
    const int dir = static_cast<int>(write.folder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TemporaryName();
        const int fd = openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            write.handle = fd;
            write.temporary = name;
            return true;
        }
        if (errno != EEXIST) break;
    }
    return FailWrite(write, errno);
}

// A regular file, or a new one: written beside it and moved over it.
static bool BeginReplace(const char* path, FileWrite& write)
{
    std::string target;
    int code = 0;
    if (!FollowLinks(path, target, code)) return FailWrite(write, code);
    if (target.empty() || target.back() == '/') return FailWrite(write, EISDIR);
    const std::string folder = FolderOf(target);
    write.target = target.substr(folder.size());
    const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return FailWrite(write, errno);
    write.folder = dir;

    struct stat old;
    const bool haveOld = fstatat(dir, write.target.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (haveOld && S_ISDIR(old.st_mode)) return FailWrite(write, EISDIR);
    if (!CreateTemporary(write)) return false;
    if (haveOld) {
        // The replacement keeps the old file's owner where we may set it
        // (owner first: changing it clears the set-id bits) and its mode;
        // a new file has 0666 less the umask, as open gave it.
        const int fd = static_cast<int>(write.handle);
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only the superuser may give a file away; the mode still counts.
        }
        fchmod(fd, old.st_mode & 07777);
    }
    return true;
}

bool BeginFileWrite(const char* path, FileWrite& write, std::string& error)
{
    write = FileWrite{-1, -1, std::string(), std::string(), 0, false, std::string()};
    struct stat info;
    const bool direct = std::strcmp(path, "-") == 0 ||
                        (stat(path, &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode));
    const bool ok = direct ? BeginDirectWrite(path, write) : BeginReplace(path, write);
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
        if (!write.failed && renameat(dir, write.temporary.c_str(), dir, write.target.c_str()) != 0)
            FailWrite(write, errno);
        if (write.failed) unlinkat(dir, write.temporary.c_str(), 0);
    }
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
