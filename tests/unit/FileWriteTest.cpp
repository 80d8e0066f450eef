// Whole-file writes: the destination is replaced only by a complete file,
// and nothing else in its folder is touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include "TestSupport.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) { return ReadBytes(path.string()); }

void Put(const fs::path& path, const std::string& bytes)
{
    WriteBytes(path.string(), bytes);
}

bool Write(const fs::path& path, const std::string& bytes, std::string& error)
{
    FilePart parts[] = {{bytes.data(), bytes.size()}};
    return WriteWholeFile(path.string().c_str(), parts, 1, error);
}

// Every test works in a folder of its own and checks what it holds.
class FileWriteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::absolute(std::string("file-write-") +
                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder;
};

}  // namespace

TEST_F(FileWriteTest, WritesThePartsInOrderAndReplacesAnOldFile)
{
    const fs::path path = folder / "whole.bin";
    std::string error;
    ASSERT_TRUE(Write(path, "old", error)) << error;
    FilePart parts[] = {{"ab", 2}, {"", 0}, {"cde", 3}};
    ASSERT_TRUE(WriteWholeFile(path.string().c_str(), parts, 3, error)) << error;
    EXPECT_EQ(ReadAll(path), "abcde");
    EXPECT_EQ(Names(), std::vector<std::string>{"whole.bin"}) << "no temporary file is left behind";
}

TEST_F(FileWriteTest, AFailureKeepsNothingAndReportsTheReason)
{
    std::string error;
    EXPECT_FALSE(Write(folder / "no-such-directory" / "output.bmp", "x", error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(Names().empty());
}

TEST_F(FileWriteTest, FilesAndFoldersOfAnyNameBesideItAreLeftAlone)
{
    Put(folder / "output.bmp.tmp", "mine");
    fs::create_directory(folder / "output.bmp.tmp.d");
    fs::create_directory(folder / "settings.ini.tmp");
    std::string error;
    ASSERT_TRUE(Write(folder / "output.bmp", "image", error)) << error;
    ASSERT_TRUE(Write(folder / "settings.ini", "[HV]", error)) << error;
    EXPECT_EQ(ReadAll(folder / "output.bmp"), "image");
    EXPECT_EQ(ReadAll(folder / "output.bmp.tmp"), "mine");
    const std::vector<std::string> expected = {"output.bmp", "output.bmp.tmp", "output.bmp.tmp.d",
                                               "settings.ini", "settings.ini.tmp"};
    EXPECT_EQ(Names(), expected);
}

TEST_F(FileWriteTest, AFolderOfTheNameIsRefusedAndKept)
{
    fs::create_directory(folder / "output.bmp");
    std::string error;
    EXPECT_FALSE(Write(folder / "output.bmp", "image", error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(folder / "output.bmp"));
    EXPECT_EQ(Names(), std::vector<std::string>{"output.bmp"});
}

#ifdef _WIN32
// A file another program holds open without sharing cannot be replaced: the
// write fails and leaves it whole.
TEST_F(FileWriteTest, ALockedFileIsKeptWhole)
{
    const fs::path path = folder / "output.bmp";
    Put(path, "old");
    HANDLE lock = CreateFileA(path.string().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    std::string error;
    EXPECT_FALSE(Write(path, "new", error));
    EXPECT_FALSE(error.empty());
    CloseHandle(lock);
    EXPECT_EQ(ReadAll(path), "old");
    EXPECT_EQ(Names(), std::vector<std::string>{"output.bmp"});
}

TEST_F(FileWriteTest, TheReplacementKeepsTheAttributes)
{
    const fs::path path = folder / "output.bmp";
    Put(path, "old");
    ASSERT_TRUE(SetFileAttributesA(path.string().c_str(), FILE_ATTRIBUTE_HIDDEN));
    std::string error;
    ASSERT_TRUE(Write(path, "new", error)) << error;
    EXPECT_EQ(ReadAll(path), "new");
    EXPECT_TRUE(GetFileAttributesA(path.string().c_str()) & FILE_ATTRIBUTE_HIDDEN);
}
#else
TEST_F(FileWriteTest, AFileSizeLimitFailsTheWriteAndKeepsTheOldFile)
{
    const fs::path path = folder / "output.bmp";
    Put(path, "old");
    // As halovane-render does: the limit gives an error, not a signal.
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit limit = saved;
    limit.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::string error;
    const bool written = Write(path, std::string(5000, 'x'), error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, "File too large");
    EXPECT_EQ(ReadAll(path), "old");
    EXPECT_EQ(Names(), std::vector<std::string>{"output.bmp"});
}

TEST_F(FileWriteTest, ConcurrentWritersAllSucceedAndOneWholeFileWins)
{
    const fs::path path = folder / "output.bmp";
    const int kWriters = 6;
    std::vector<std::thread> writers;
    std::vector<int> failures(kWriters, 0);
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w]() {
            const std::string bytes(100000, static_cast<char>('a' + w));
            for (int round = 0; round < 20; ++round) {
                std::string error;
                if (!Write(path, bytes, error)) ++failures[w];
            }
        });
    }
    for (std::thread& t : writers) t.join();
    for (int w = 0; w < kWriters; ++w) EXPECT_EQ(failures[w], 0) << "writer " << w;
    const std::string last = ReadAll(path);
    ASSERT_EQ(last.size(), 100000u);
    EXPECT_EQ(last, std::string(last.size(), last[0]));
    EXPECT_EQ(Names(), std::vector<std::string>{"output.bmp"});
}

TEST_F(FileWriteTest, AnyNameTheFileSystemTakesCanBeWritten)
{
    std::string error;
    for (size_t length : {1u, 200u, 252u, 255u}) {
        const std::string name(length, 'n');
        ASSERT_TRUE(Write(folder / name, "x", error)) << length << ": " << error;
        EXPECT_EQ(ReadAll(folder / name), "x");
        fs::remove(folder / name);
    }
    EXPECT_TRUE(Names().empty());
}

TEST_F(FileWriteTest, TheReplacementKeepsThePermissionBits)
{
    const fs::path kept = folder / "private.bmp";
    Put(kept, "old");
    ASSERT_EQ(chmod(kept.c_str(), 0600), 0);
    std::string error;
    ASSERT_TRUE(Write(kept, "new", error)) << error;
    struct stat info;
    ASSERT_EQ(stat(kept.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    // A new file gets 0666 less the umask.
    const mode_t mask = umask(022);
    ASSERT_TRUE(Write(folder / "new.bmp", "new", error)) << error;
    umask(mask);
    ASSERT_EQ(stat((folder / "new.bmp").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST_F(FileWriteTest, ALinkUpdatesItsTargetAndStays)
{
    fs::create_directory(folder / "real");
    Put(folder / "real" / "image.bmp", "old");
    fs::create_symlink("real/image.bmp", folder / "output.bmp");
    fs::create_symlink(folder / "real" / "missing.bmp", folder / "dangling.bmp");
    std::string error;
    ASSERT_TRUE(Write(folder / "output.bmp", "new", error)) << error;
    EXPECT_TRUE(fs::is_symlink(folder / "output.bmp"));
    EXPECT_EQ(ReadAll(folder / "real" / "image.bmp"), "new");
    ASSERT_TRUE(Write(folder / "dangling.bmp", "made", error)) << error;
    EXPECT_TRUE(fs::is_symlink(folder / "dangling.bmp"));
    EXPECT_EQ(ReadAll(folder / "real" / "missing.bmp"), "made");
    const std::vector<std::string> expected = {"dangling.bmp", "output.bmp", "real"};
    EXPECT_EQ(Names(), expected);
}

// Links planted where an older writer put its temporary files lead nowhere.
TEST_F(FileWriteTest, PlantedLinksAreNeverFollowed)
{
    Put(folder / "victim", "yours");
    fs::create_symlink(folder / "victim", folder / "output.bmp.tmp");
    fs::create_symlink(folder / "victim", folder / "Halovane.ini.tmp");
    std::string error;
    ASSERT_TRUE(Write(folder / "output.bmp", "image", error)) << error;
    ASSERT_TRUE(Write(folder / "Halovane.ini", "[HV]", error)) << error;
    EXPECT_EQ(ReadAll(folder / "victim"), "yours");
    EXPECT_TRUE(fs::is_symlink(folder / "output.bmp.tmp"));
    EXPECT_TRUE(fs::is_symlink(folder / "Halovane.ini.tmp"));
}

// In a sticky folder open to all, another user's link named like the output
// is not followed to a file of ours, as the kernel would not open through it.
TEST_F(FileWriteTest, AnotherUsersLinkInASharedFolderIsRefused)
{
    const fs::path shared = folder / "shared";
    fs::create_directory(shared);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    Put(folder / "victim", "yours");
    fs::create_symlink(folder / "victim", shared / "output.bmp");
    if (lchown((shared / "output.bmp").c_str(), geteuid() + 1, static_cast<gid_t>(-1)) != 0)
        GTEST_SKIP() << "giving a link to another user needs the superuser";
    std::string error;
    EXPECT_FALSE(Write(shared / "output.bmp", "image", error));
    EXPECT_EQ(error, "Permission denied");
    EXPECT_EQ(ReadAll(folder / "victim"), "yours");
    EXPECT_TRUE(fs::is_symlink(shared / "output.bmp"));
}

// Devices and pipes are written into, never replaced by a regular file.
TEST_F(FileWriteTest, AFifoIsWrittenIntoAndStays)
{
    const fs::path fifo = folder / "pipe.bmp";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&]() { received = ReadAll(fifo); });
    std::string error;
    EXPECT_TRUE(Write(fifo, "through the pipe", error)) << error;
    reader.join();
    EXPECT_EQ(received, "through the pipe");
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(Names(), std::vector<std::string>{"pipe.bmp"});
}

TEST_F(FileWriteTest, ADeviceIsWrittenIntoAndStays)
{
    // A copy of the null device's node, so a fault cannot hurt the real one.
    const fs::path device = folder / "null";
    if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "making a device node needs the superuser";
    std::string error;
    EXPECT_TRUE(Write(device, "nothing", error)) << error;
    EXPECT_TRUE(fs::is_character_file(device));
    EXPECT_EQ(Names(), std::vector<std::string>{"null"});
}
// Ids of users that exist only as numbers: the kernel's checks need no account.
const uid_t kOtherUser = 4242;
const uid_t kThirdUser = 4343;

// Runs check in a child process under another user's ids; true when it
// returned true there.
template <typename Check>
bool AsUser(uid_t user, Check check)
{
    const pid_t child = fork();
    if (child == 0) {
        const bool ok = setgroups(0, nullptr) == 0 && setresgid(user, user, user) == 0 &&
                        setresuid(user, user, user) == 0 && check();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

uid_t OwnerOf(const fs::path& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 ? info.st_uid : static_cast<uid_t>(-1);
}

// In a shared sticky folder, nothing of another user's is followed or
// written, whatever it is, even by the superuser and with the kernel's own
// link and FIFO protection off.
TEST_F(FileWriteTest, AnotherUsersEntriesInASharedFolderAreRefused)
{
    if (geteuid() != 0) GTEST_SKIP() << "giving files to another user needs the superuser";
    const fs::path shared = folder / "shared";
    fs::create_directory(shared);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    Put(folder / "victim", "yours");
    ASSERT_EQ(mkfifo((folder / "mine.fifo").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((shared / "fifo.bmp").c_str(), 0600), 0);
    fs::create_symlink(folder / "mine.fifo", shared / "to-fifo.bmp");
    fs::create_symlink(folder / "victim", shared / "to-file.bmp");
    Put(shared / "file.bmp", "theirs");
    ASSERT_EQ(mknod((shared / "null.bmp").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    // Readers on both pipes, so that a write into one would not wait.
    const int readers[] = {open((folder / "mine.fifo").c_str(), O_RDONLY | O_NONBLOCK),
                           open((shared / "fifo.bmp").c_str(), O_RDONLY | O_NONBLOCK)};
    const char* names[] = {"fifo.bmp", "to-fifo.bmp", "to-file.bmp", "file.bmp", "null.bmp"};
    for (const char* name : names) ASSERT_EQ(lchown((shared / name).c_str(), kOtherUser, kOtherUser), 0);
    for (const char* name : names) {
        SCOPED_TRACE(name);
        std::string error;
        EXPECT_FALSE(Write(shared / name, "image", error));
        EXPECT_EQ(error, "Permission denied");
        EXPECT_EQ(OwnerOf(shared / name), kOtherUser);
    }
    char got[16];
    for (int reader : readers) {
        EXPECT_EQ(read(reader, got, sizeof got), 0) << "nothing went into a pipe";
        close(reader);
    }
    EXPECT_EQ(ReadAll(folder / "victim"), "yours");
    EXPECT_EQ(ReadAll(shared / "file.bmp"), "theirs");
    EXPECT_TRUE(fs::is_symlink(shared / "to-file.bmp"));
    const std::vector<std::string> kept(std::begin(names), std::end(names));
    std::vector<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(shared))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    std::vector<std::string> sorted = kept;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(left, sorted) << "no temporary file is left";
}

// What a user may and may not replace: a file of another user in a folder
// the user may write is replaced and becomes the user's; a file the user
// may not write (read-only) is refused, as on Windows.
TEST_F(FileWriteTest, AUserReplacesWhatTheUserMayWriteAndNothingElse)
{
    if (geteuid() != 0) GTEST_SKIP() << "running as other users needs the superuser";
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    Put(folder / "theirs.bmp", "theirs");
    ASSERT_EQ(chown((folder / "theirs.bmp").c_str(), kThirdUser, kThirdUser), 0);
    ASSERT_EQ(chmod((folder / "theirs.bmp").c_str(), 0666), 0);
    Put(folder / "locked.bmp", "locked");
    ASSERT_EQ(chown((folder / "locked.bmp").c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(chmod((folder / "locked.bmp").c_str(), 0444), 0);
    const fs::path theirs = folder / "theirs.bmp", locked = folder / "locked.bmp";
    EXPECT_TRUE(AsUser(kOtherUser, [&]() {
        std::string error;
        return Write(theirs, "mine", error) && !Write(locked, "new", error) && error == "Permission denied";
    }));
    EXPECT_EQ(ReadAll(theirs), "mine");
    EXPECT_EQ(OwnerOf(theirs), kOtherUser);
    struct stat info;
    ASSERT_EQ(stat(theirs.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0666u);
    EXPECT_EQ(ReadAll(locked), "locked");
    EXPECT_EQ(Names(), (std::vector<std::string>{"locked.bmp", "theirs.bmp"}));
}

TEST_F(FileWriteTest, SetIdBitsAreDropped)
{
    const fs::path path = folder / "output.bmp";
    Put(path, "old");
    ASSERT_EQ(chmod(path.c_str(), 06755), 0);
    std::string error;
    ASSERT_TRUE(Write(path, "new", error)) << error;
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
}

TEST_F(FileWriteTest, ABlockDeviceIsRefused)
{
    // A major number no driver has: nothing could be written even by a fault.
    const fs::path device = folder / "disk.bmp";
    if (mknod(device.c_str(), S_IFBLK | 0600, makedev(240, 0)) != 0)
        GTEST_SKIP() << "making a device node needs the superuser";
    std::string error;
    EXPECT_FALSE(Write(device, "image", error));
    EXPECT_EQ(error, "it is a block device");
    EXPECT_TRUE(fs::is_block_file(device));
}

// A name of an open descriptor writes into that descriptor, at its offset:
// the file behind it is not replaced.
TEST_F(FileWriteTest, DescriptorNamesWriteIntoTheOpenFile)
{
    const fs::path log = folder / "log";
    Put(log, "keep\n");
    const int fd = open(log.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    struct stat before;
    ASSERT_EQ(fstat(fd, &before), 0);
    std::string error;
    for (const char* prefix : {"/proc/self/fd/", "/dev/fd/"}) {
        const std::string name = std::string(prefix) + std::to_string(fd);
        FilePart parts[] = {{name.data(), name.size()}};
        EXPECT_TRUE(WriteWholeFile(name.c_str(), parts, 1, error)) << name << ": " << error;
    }
    close(fd);
    EXPECT_EQ(ReadAll(log), "keep\n/proc/self/fd/" + std::to_string(fd) + "/dev/fd/" + std::to_string(fd));
    struct stat after;
    ASSERT_EQ(stat(log.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_FALSE(Write("/dev/fd/987654", "x", error));
    EXPECT_EQ(error, "Bad file descriptor");
}

// A process that must end at once takes its temporary files with it and
// writes nothing more.
TEST_F(FileWriteTest, AbandonedWritesLeaveTheOldFileAndNoTemporaryFile)
{
    const fs::path path = folder / "output.bmp";
    Put(path, "old");
    const pid_t child = fork();
    if (child == 0) {
        FileWrite write;
        std::string error;
        bool ok = BeginFileWrite(path.c_str(), write, error);
        AppendFileWrite(write, "new", 3);
        AbandonFileWrites();
        ok = ok && !FinishFileWrite(write, true, error) && !Write(folder / "later.bmp", "x", error);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadAll(path), "old");
    EXPECT_EQ(Names(), std::vector<std::string>{"output.bmp"});
}
#endif
