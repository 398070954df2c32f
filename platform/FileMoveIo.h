#pragma once

// The system calls through which moveItemNoReplace changes the file system,
// gathered so that tests can make one of them fail (a full disk half-way
// through a copy, a read error, a name taken at the last moment) and check
// that nothing is lost or left behind. Production code never sets it.

#include <sys/types.h>

#include <functional>

namespace shoebox {

struct FileMoveIo {
    std::function<int(int fromDir, const char* from, int toDir, const char* to, unsigned flags)> renameat2;
    std::function<int(int fromDir, const char* from, int toDir, const char* to, int flags)> linkat;
    std::function<int(int dir, const char* name, int flags)> unlinkat;
    std::function<int(int dir, const char* name, int flags, mode_t mode)> openat;
    std::function<ssize_t(int in, off_t* inOffset, int out, off_t* outOffset, size_t length)> copyFileRange;
    std::function<ssize_t(int out, int in, off_t* inOffset, size_t length)> sendfile;
    std::function<ssize_t(int fd, void* buffer, size_t length)> read;
    std::function<ssize_t(int fd, const void* buffer, size_t length)> write;
    std::function<int(int fd)> fsync;
};

// The real calls; a test starts from these and replaces the ones it needs.
FileMoveIo systemFileMoveIo();

// Replaces the calls until the returned guard goes out of scope. Not thread
// safe: meant for tests only.
class ScopedFileMoveIo {
public:
    explicit ScopedFileMoveIo(FileMoveIo io);
    ~ScopedFileMoveIo();
    ScopedFileMoveIo(const ScopedFileMoveIo&) = delete;
    ScopedFileMoveIo& operator=(const ScopedFileMoveIo&) = delete;

private:
    FileMoveIo previous_;
};

} // namespace shoebox
