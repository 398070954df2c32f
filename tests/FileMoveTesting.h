#pragma once

// What the move's tests share: failing any system call of the move through
// its seam, and a photo with a folder on another filesystem to move it to.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "platform/FileMove.h"
#include "platform/FileMoveIo.h"
#include "tests/support/Environment.h"
#include "tests/support/TempDir.h"

namespace shoebox::testing {

namespace fs = std::filesystem;
using Cause = Error::Cause;

// A call that fails with `error` whenever `when(args...)` holds.
template <typename When, typename R, typename... Args>
std::function<R(Args...)> failWhen(When when, int error, std::function<R(Args...)> real)
{
    return [=](Args... args) mutable -> R {
        if (!when(args...))
            return real(args...);
        errno = error;
        return -1;
    };
}

inline auto fromCall = [](int nth) { return [nth, calls = 0](auto&&...) mutable { return ++calls >= nth; }; };
inline auto unnamedFile = [](int, const char*, int flags, mode_t) { return (flags & O_TMPFILE) == O_TMPFILE; };
inline bool isFolder(int fd)
{
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
}

// Leaves only the read/write loop, in 1 MiB steps.
inline void userSpaceCopyOnly(FileMoveIo& io)
{
    io.copyFileRange = failWhen(fromCall(1), ENOSYS, io.copyFileRange);
    io.sendfile = failWhen(fromCall(1), ENOSYS, io.sendfile);
}
// As on NFS or CIFS: no RENAME_NOREPLACE (across filesystems the kernel
// answers EXDEV before it asks the filesystem).
inline void refuseNoReplace(FileMoveIo& io)
{
    io.renameat2 = [real = io.renameat2](int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
        struct stat source {};
        struct stat folder {};
        const std::string parent = std::filesystem::path(to).parent_path();
        if (flags == 0 || ::fstatat(fromDir, from, &source, AT_SYMLINK_NOFOLLOW) != 0 ||
            ::fstatat(toDir, parent.empty() ? "." : parent.c_str(), &folder, 0) != 0)
            return real(fromDir, from, toDir, to, flags);
        errno = source.st_dev == folder.st_dev ? EINVAL : EXDEV;
        return -1;
    };
}
// As on FUSE FAT: nor O_TMPFILE, nor hard links, names with ":" refused
// (EINVAL, as the kernel's FAT driver does), and FUSE, which tmpfs (where
// /dev/shm, these tests' other filesystem, is) plays.
inline void likeFat(FileMoveIo& io)
{
    auto colon = [](int, const char* name, int flags, mode_t) { return (flags & O_CREAT) && std::strchr(name, ':'); };
    io.openat = failWhen(unnamedFile, EOPNOTSUPP, failWhen(colon, EINVAL, io.openat));
    refuseNoReplace(io);
    io.linkat = failWhen(fromCall(1), EPERM, io.linkat);
    io.fstatfs = [real = io.fstatfs](int fd, struct statfs* status) {
        const int result = real(fd, status);
        if (result == 0 && status->f_type == TMPFS_MAGIC)
            status->f_type = 0x65735546; // FUSE_SUPER_MAGIC
        return result;
    };
}

// A failure told in one line, with its errno value and what became of the items.
inline void expectFailure(const Result<>& result, int code, Cause cause = Cause::none)
{
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, code) << result.error().description;
    EXPECT_EQ(result.error().cause, cause) << result.error().description;
    EXPECT_EQ(result.error().description.find('\n'), std::string::npos) << result.error().description;
}

// A photo of a few MiB, and a folder on another filesystem than its own
// (/dev/shm is tmpfs where /tmp usually is not); `move` runs on the calls in
// `io`, which a test may change first.
class CrossMoveTest : public ::testing::Test {
protected:
    void SetUp() override { SKIP_WITHOUT_ANOTHER_FILESYSTEM(dir.path()); }
    Result<> move(const std::string& from, const std::string& to, MoveObserver* observer = nullptr)
    {
        return moveItemNoReplace(from, to, observer, io);
    }

    TempDir dir;
    TempDir other{folderOnAnotherFilesystem(dir.path()).value_or("/tmp")};
    FileMoveIo io = systemFileMoveIo();
    const std::string original = photoBytes();
    const std::string source = dir.write("IMG_0412.JPG", original);
    const std::string target = other / "Beach.JPG";
};

} // namespace shoebox::testing
