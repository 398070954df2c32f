#pragma once

// The system calls through which moveItemNoReplace changes the file system,
// every one of them, gathered so that tests can make any of them fail (a
// full disk half-way through a copy, a read error, a name taken at the last
// moment) and check that nothing is lost or left behind. Each move is handed
// the calls it makes (by default the system's), so moves on other threads
// and other tests never see a test's faults.

#include <sys/types.h>
#include <sys/vfs.h>
#include <time.h>

#include <functional>

namespace shoebox {

struct FileMoveIo {
    // Names.
    std::function<int(int dir, const char* name, int flags, mode_t mode)> openat;
    std::function<int(int dir, const char* name, mode_t mode)> mkdirat;
    std::function<int(const char* target, int dir, const char* name)> symlinkat;
    std::function<int(int fromDir, const char* from, int toDir, const char* to, unsigned flags)> renameat2;
    std::function<int(int fromDir, const char* from, int toDir, const char* to, int flags)> linkat;
    std::function<int(int dir, const char* name, int flags)> unlinkat;
    // Contents.
    std::function<int(int fd, int mode, off_t offset, off_t length)> fallocate;
    std::function<int(int fd, off_t length)> ftruncate;
    std::function<ssize_t(int in, off_t* inOffset, int out, off_t* outOffset, size_t length)> copyFileRange;
    std::function<ssize_t(int out, int in, off_t* inOffset, size_t length)> sendfile;
    std::function<ssize_t(int fd, void* buffer, size_t length, off_t offset)> pread;
    std::function<ssize_t(int fd, const void* buffer, size_t length, off_t offset)> pwrite;
    // Owner, mode, times and extended attributes.
    std::function<int(int fd, uid_t owner, gid_t group)> fchown;
    std::function<int(int dir, const char* name, uid_t owner, gid_t group, int flags)> fchownat;
    std::function<int(int fd, mode_t mode)> fchmod;
    std::function<int(int fd, const struct timespec* times)> futimens;
    std::function<int(int dir, const char* name, const struct timespec* times, int flags)> utimensat;
    std::function<int(int fd, const char* name, const void* value, size_t size, int flags)> fsetxattr;
    // Durability.
    std::function<int(int fd)> fsync;
    // Which filesystem: the move takes another way on some (see
    // FileMoveSteps.h).
    std::function<int(int fd, struct statfs* status)> fstatfs;
};

// The real calls, made once; a test copies them and replaces the ones it
// needs.
const FileMoveIo& systemFileMoveIo();

} // namespace shoebox
