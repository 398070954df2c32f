#include <gtest/gtest.h>

#include "TempDir.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "FileMove.h"
#include "FileMoveIo.h"

using namespace shoebox;
using shoebox::testing::names;
using shoebox::testing::readFile;
using shoebox::testing::writeFile;

namespace {

std::string makeTempDir(const std::string& parent)
{
    std::string path = parent + "/shoebox-move-test-XXXXXX";
    return ::mkdtemp(path.data()) ? path : std::string();
}




using Names = std::vector<std::string>;

// A few MiB of bytes that differ from position to position, so that a
// dropped or repeated chunk changes the result.
std::string photoBytes(size_t size = 3 << 20)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    return bytes;
}

// A call that fails with `error` the `nth` time it is made, and otherwise
// does what `real` does.
template <typename R, typename... Args>
std::function<R(Args...)> failOnCall(int nth, int error, std::function<R(Args...)> real)
{
    return [nth, error, real, calls = 0](Args... args) mutable -> R {
        if (++calls == nth) {
            errno = error;
            return -1;
        }
        return real(args...);
    };
}

class MoveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = makeTempDir("/tmp");
        ASSERT_FALSE(dir.empty()) << std::strerror(errno);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // A failure reported in one line that gives the system's reason.
    static void expectFailure(const Result<>& result, const char* reason)
    {
        ASSERT_FALSE(result);
        EXPECT_NE(result.error().description.find(reason), std::string::npos) << result.error().description;
        EXPECT_EQ(result.error().description.find('\n'), std::string::npos);
    }

    std::string dir;
};

// A second folder on another filesystem; /dev/shm is tmpfs where /tmp is
// usually the root filesystem.
class CrossMoveTest : public MoveTest {
protected:
    void SetUp() override
    {
        MoveTest::SetUp();
        struct stat shm {};
        struct stat tmp {};
        if (::stat("/dev/shm", &shm) != 0 || ::stat(dir.c_str(), &tmp) != 0 || shm.st_dev == tmp.st_dev) {
            GTEST_SKIP() << "needs /dev/shm on another filesystem than /tmp";
        }
        other = makeTempDir("/dev/shm");
        ASSERT_FALSE(other.empty()) << std::strerror(errno);
        source = dir + "/IMG_0412.JPG";
        target = other + "/Beach.JPG";
        writeFile(source, original);
    }
    void TearDown() override
    {
        if (!other.empty()) {
            std::filesystem::remove_all(other);
        }
        MoveTest::TearDown();
    }

    void expectNothingMoved(const Result<>& result, const char* reason)
    {
        expectFailure(result, reason);
        EXPECT_EQ(readFile(source), original);
    }

    std::string other, source, target;
    std::string original = photoBytes();
};

} // namespace

// ---- Same filesystem ------------------------------------------------------

TEST_F(MoveTest, NeverReplacesAFileOrAnEmptyFolder)
{
    writeFile(dir + "/a.jpg", "new");
    writeFile(dir + "/b.jpg", "old"); // taken after the caller found the name free
    Result<> result = moveItemNoReplace(dir + "/a.jpg", dir + "/b.jpg");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().description,
              "Could not move \u201C" + dir + "/a.jpg\u201D to \u201C" + dir + "/b.jpg\u201D: File exists");
    EXPECT_EQ(readFile(dir + "/a.jpg"), "new");
    EXPECT_EQ(readFile(dir + "/b.jpg"), "old");

    // Plain rename() would silently replace an empty folder with a folder.
    std::filesystem::create_directories(dir + "/Holiday.mov/inner");
    std::filesystem::create_directory(dir + "/Beach.mov");
    expectFailure(moveItemNoReplace(dir + "/Holiday.mov", dir + "/Beach.mov"), "File exists");
    EXPECT_TRUE(std::filesystem::exists(dir + "/Holiday.mov/inner"));
    EXPECT_TRUE(std::filesystem::is_empty(dir + "/Beach.mov"));
}

TEST_F(MoveTest, MissingSourceFailsWithOneLineAndCreatesNothing)
{
    Result<> result = moveItemNoReplace(dir + "/gone.jpg", dir + "/b.jpg");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().description, "Could not move \u201C" + dir + "/gone.jpg\u201D to \u201C" + dir +
                                              "/b.jpg\u201D: No such file or directory");
    expectFailure(moveItemNoReplace(dir + "/line\nbreak.jpg", dir + "/x.jpg"), "No such file");
    EXPECT_TRUE(names(dir).empty());
}

TEST_F(MoveTest, NamesNeedNotBeUtf8)
{
    writeFile(dir + "/caf\xE9 \xFF.jpg", "photo");
    ASSERT_TRUE(moveItemNoReplace(dir + "/caf\xE9 \xFF.jpg", dir + "/\xC3\x28.jpg"));
    EXPECT_EQ(names(dir), (Names{"\xC3\x28.jpg"}));
    EXPECT_EQ(readFile(dir + "/\xC3\x28.jpg"), "photo");
}

// Filesystems that refuse RENAME_NOREPLACE (NFS, CIFS) get link + unlink.
TEST_F(MoveTest, WithoutNoReplaceFilesAreLinkedAndFoldersRefused)
{
    FileMoveIo io = systemFileMoveIo();
    io.renameat2 = [](int, const char*, int, const char*, unsigned) {
        errno = EINVAL;
        return -1;
    };
    ScopedFileMoveIo scoped(io);
    writeFile(dir + "/a.jpg", "a");
    writeFile(dir + "/b.jpg", "b");
    std::filesystem::create_directory(dir + "/Holiday.mov");

    ASSERT_TRUE(moveItemNoReplace(dir + "/a.jpg", dir + "/c.jpg"));
    expectFailure(moveItemNoReplace(dir + "/c.jpg", dir + "/b.jpg"), "File exists");
    EXPECT_FALSE(moveItemNoReplace(dir + "/Holiday.mov", dir + "/Trip.mov"));
    EXPECT_EQ(names(dir), (Names{"Holiday.mov", "b.jpg", "c.jpg"}));
    EXPECT_EQ(readFile(dir + "/b.jpg"), "b");
    EXPECT_EQ(readFile(dir + "/c.jpg"), "a");
}

// ---- Across filesystems ---------------------------------------------------

TEST_F(CrossMoveTest, KeepsBytesTimesAndModeBothWays)
{
    const struct timespec times[2] = {{1500000000, 123456789}, {1600000000, 987654321}};
    ASSERT_EQ(::chmod(source.c_str(), 0640), 0);

    // tmpfs and ext4 differ in what they offer (copy_file_range, O_TMPFILE
    // behaviour), so go there and back.
    for (auto [from, to] : {std::pair{source, target}, std::pair{target, source}}) {
        ASSERT_EQ(::utimensat(AT_FDCWD, from.c_str(), times, 0), 0); // reading it below moves the atime
        ASSERT_TRUE(moveItemNoReplace(from, to)) << from;
        struct stat moved {};
        ASSERT_EQ(::stat(to.c_str(), &moved), 0);
        EXPECT_EQ(moved.st_mode & 07777, 0640u);
        EXPECT_EQ(moved.st_atim.tv_sec, times[0].tv_sec);
        EXPECT_EQ(moved.st_atim.tv_nsec, times[0].tv_nsec);
        EXPECT_EQ(moved.st_mtim.tv_sec, times[1].tv_sec);
        EXPECT_EQ(moved.st_mtim.tv_nsec, times[1].tv_nsec);
        EXPECT_EQ(readFile(to), original);
        EXPECT_FALSE(std::filesystem::exists(from));
    }
    EXPECT_EQ(names(other), Names{});
    EXPECT_EQ(names(dir), (Names{"IMG_0412.JPG"}));
}

TEST_F(CrossMoveTest, NameTakenAtTheLastMomentIsNotReplaced)
{
    FileMoveIo io = systemFileMoveIo();
    io.linkat = [&, real = io.linkat](int a, const char* b, int c, const char* d, int e) {
        writeFile(target, "someone else's");
        return real(a, b, c, d, e);
    };
    ScopedFileMoveIo scoped(io);
    ASSERT_NO_FATAL_FAILURE(expectNothingMoved(moveItemNoReplace(source, target), "File exists"));
    EXPECT_EQ(readFile(target), "someone else's");
    EXPECT_EQ(names(other), (Names{"Beach.JPG"}));
}

// Each fault strikes part-way through the copy; the last flag also takes
// away O_TMPFILE, as on FAT, so the copy goes under a hidden name that must
// be cleaned up.
struct Fault {
    const char* name;
    std::function<void(FileMoveIo&)> inject;
    const char* reason;
};

class CrossMoveFaultTest : public CrossMoveTest, public ::testing::WithParamInterface<std::tuple<Fault, bool>> {};

TEST_P(CrossMoveFaultTest, LeavesNoTraceAndTheSourceWhole)
{
    auto [fault, withoutTmpfile] = GetParam();
    FileMoveIo io = systemFileMoveIo();
    fault.inject(io);
    if (withoutTmpfile) {
        io.openat = [real = io.openat](int d, const char* n, int flags, mode_t m) {
            if ((flags & O_TMPFILE) == O_TMPFILE) {
                errno = EOPNOTSUPP;
                return -1;
            }
            return real(d, n, flags, m);
        };
    }
    ScopedFileMoveIo scoped(io);
    ASSERT_NO_FATAL_FAILURE(expectNothingMoved(moveItemNoReplace(source, target), fault.reason));
    EXPECT_EQ(names(other), Names{});
}

// Fault injections that leave the kernel copies out force the read/write loop.
void userSpaceCopyOnly(FileMoveIo& io)
{
    io.copyFileRange = [](int, off_t*, int, off_t*, size_t) -> ssize_t {
        errno = ENOSYS;
        return -1;
    };
    io.sendfile = [](int, int, off_t*, size_t) -> ssize_t {
        errno = ENOSYS;
        return -1;
    };
}

void noSpaceOnWrite(FileMoveIo& io)
{
    userSpaceCopyOnly(io);
    io.write = failOnCall(2, ENOSPC, io.write);
}

void readError(FileMoveIo& io)
{
    userSpaceCopyOnly(io);
    io.read = failOnCall(2, EIO, io.read);
}

// sendfile in 1 MiB steps, the third of which finds the disk full.
void noSpaceInKernelCopy(FileMoveIo& io)
{
    io.copyFileRange = failOnCall(1, EXDEV, io.copyFileRange);
    io.sendfile = [calls = 0, real = io.sendfile](int out, int in, off_t* offset, size_t) mutable -> ssize_t {
        if (++calls == 3) {
            errno = ENOSPC;
            return -1;
        }
        return real(out, in, offset, 1 << 20);
    };
}

void syncFails(FileMoveIo& io)
{
    io.fsync = failOnCall(1, EIO, io.fsync);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CrossMoveFaultTest,
    ::testing::Combine(::testing::Values(Fault{"NoSpaceOnWrite", noSpaceOnWrite, "No space left on device"},
                                         Fault{"ReadError", readError, "Input/output error"},
                                         Fault{"NoSpaceInKernelCopy", noSpaceInKernelCopy, "No space left on device"},
                                         Fault{"SyncFails", syncFails, "Input/output error"}),
                       ::testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "WithoutTmpfile" : "");
    });

TEST_F(CrossMoveTest, WithoutTmpfileOrNoReplaceTheHiddenCopyIsLinked)
{
    FileMoveIo io = systemFileMoveIo();
    io.openat = [real = io.openat](int d, const char* n, int flags, mode_t m) {
        if ((flags & O_TMPFILE) == O_TMPFILE) {
            errno = EOPNOTSUPP;
            return -1;
        }
        return real(d, n, flags, m);
    };
    io.renameat2 = [](int fromDir, const char*, int, const char*, unsigned) {
        errno = fromDir == AT_FDCWD ? EXDEV : EINVAL; // the first call is the move itself
        return -1;
    };
    ScopedFileMoveIo scoped(io);
    writeFile(dir + "/second.JPG", "second");
    ASSERT_TRUE(moveItemNoReplace(source, target));
    EXPECT_EQ(readFile(target), original);
    expectFailure(moveItemNoReplace(dir + "/second.JPG", target), "File exists");
    EXPECT_EQ(readFile(dir + "/second.JPG"), "second");
    EXPECT_EQ(names(other), (Names{"Beach.JPG"}));
    EXPECT_EQ(readFile(target), original);
}

TEST_F(CrossMoveTest, SourceThatCannotBeRemovedTakesTheCopyBack)
{
    FileMoveIo io = systemFileMoveIo();
    io.unlinkat = [&, real = io.unlinkat](int d, const char* name, int flags) {
        if (name == source) {
            errno = EACCES;
            return -1;
        }
        return real(d, name, flags);
    };
    ScopedFileMoveIo scoped(io);
    Result<> result = moveItemNoReplace(source, target);
    ASSERT_NO_FATAL_FAILURE(expectNothingMoved(result, "Permission denied"));
    EXPECT_NE(result.error().description.find("taken back"), std::string::npos);
    EXPECT_EQ(names(other), Names{});
}

// A move killed half-way (power cut, crash) must leave nothing under the
// final name: the copy is unnamed until it is complete.
TEST_F(CrossMoveTest, KilledMidCopyLeavesTheSourceAndNoPartialFile)
{
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FileMoveIo io = systemFileMoveIo();
        userSpaceCopyOnly(io);
        io.write = [calls = 0, real = io.write](int fd, const void* data, size_t length) mutable {
            if (++calls == 2) {
                ::raise(SIGKILL);
            }
            return real(fd, data, length);
        };
        ScopedFileMoveIo scoped(io);
        (void)moveItemNoReplace(source, target);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(readFile(source), original);
    EXPECT_EQ(names(other), Names{});
}

TEST_F(CrossMoveTest, FolderMovesAsATree)
{
    std::string tree = dir + "/Holiday.mov";
    std::filesystem::create_directories(tree + "/day \xFF/empty");
    writeFile(tree + "/day \xFF/IMG_1.JPG", original);
    writeFile(tree + "/notes.txt", "notes");
    std::filesystem::create_symlink("day \xFF/IMG_1.JPG", tree + "/latest");
    const struct timespec times[2] = {{1500000000, 1}, {1600000000, 2}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (tree + "/day \xFF").c_str(), times, 0), 0);

    ASSERT_TRUE(moveItemNoReplace(tree, other + "/Trip.mov"));
    std::string moved = other + "/Trip.mov";
    EXPECT_FALSE(std::filesystem::exists(tree));
    EXPECT_EQ(names(other), (Names{"Trip.mov"}));
    EXPECT_EQ(names(moved), (Names{"day \xFF", "latest", "notes.txt"}));
    EXPECT_EQ(names(moved + "/day \xFF"), (Names{"IMG_1.JPG", "empty"}));
    EXPECT_EQ(readFile(moved + "/latest"), original);
    EXPECT_EQ(std::filesystem::read_symlink(moved + "/latest"), "day \xFF/IMG_1.JPG");
    struct stat day {};
    ASSERT_EQ(::stat((moved + "/day \xFF").c_str(), &day), 0);
    EXPECT_EQ(day.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(day.st_mtim.tv_nsec, times[1].tv_nsec);
}

TEST_F(CrossMoveTest, FolderCopyThatFailsOrFindsTheNameTakenLeavesNoTrace)
{
    std::string tree = dir + "/Holiday.mov";
    std::filesystem::create_directories(tree + "/a/b");
    writeFile(tree + "/a/b/IMG_1.JPG", original);
    writeFile(tree + "/IMG_2.JPG", original);
    {
        FileMoveIo io = systemFileMoveIo();
        io.fsync = failOnCall(2, ENOSPC, io.fsync);
        ScopedFileMoveIo scoped(io);
        expectFailure(moveItemNoReplace(tree, other + "/Trip.mov"), "No space left on device");
        EXPECT_EQ(names(other), Names{});
    }
    std::filesystem::create_directory(other + "/Trip.mov");
    expectFailure(moveItemNoReplace(tree, other + "/Trip.mov"), "File exists");
    EXPECT_EQ(names(other), (Names{"Trip.mov"}));
    EXPECT_TRUE(std::filesystem::is_empty(other + "/Trip.mov"));
    EXPECT_EQ(readFile(tree + "/a/b/IMG_1.JPG"), original);
    EXPECT_EQ(readFile(tree + "/IMG_2.JPG"), original);
}
