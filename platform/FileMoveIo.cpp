#include "platform/FileMoveIo.h"

#include <fcntl.h>
#include <stdio.h> // renameat2 (glibc 2.28 and later)
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace shoebox {

namespace {

FileMoveIo makeSystemFileMoveIo()
{
    FileMoveIo io;
    io.openat = [](int dir, const char* name, int flags, mode_t mode) { return ::openat(dir, name, flags, mode); };
    io.mkdirat = [](int dir, const char* name, mode_t mode) { return ::mkdirat(dir, name, mode); };
    io.symlinkat = [](const char* target, int dir, const char* name) { return ::symlinkat(target, dir, name); };
    io.renameat2 = [](int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
        return ::renameat2(fromDir, from, toDir, to, flags);
    };
    io.linkat = [](int fromDir, const char* from, int toDir, const char* to, int flags) {
        return ::linkat(fromDir, from, toDir, to, flags);
    };
    io.unlinkat = [](int dir, const char* name, int flags) { return ::unlinkat(dir, name, flags); };
    io.fallocate = [](int fd, int mode, off_t offset, off_t length) { return ::fallocate(fd, mode, offset, length); };
    io.ftruncate = [](int fd, off_t length) { return ::ftruncate(fd, length); };
    io.copyFileRange = [](int in, off_t* inOffset, int out, off_t* outOffset, size_t length) {
        return ::copy_file_range(in, inOffset, out, outOffset, length, 0);
    };
    io.sendfile = [](int out, int in, off_t* inOffset, size_t length) { return ::sendfile(out, in, inOffset, length); };
    io.pread = [](int fd, void* buffer, size_t length, off_t offset) { return ::pread(fd, buffer, length, offset); };
    io.pwrite = [](int fd, const void* buffer, size_t length, off_t offset) {
        return ::pwrite(fd, buffer, length, offset);
    };
    io.fchown = [](int fd, uid_t owner, gid_t group) { return ::fchown(fd, owner, group); };
    io.fchownat = [](int dir, const char* name, uid_t owner, gid_t group, int flags) {
        return ::fchownat(dir, name, owner, group, flags);
    };
    io.fchmod = [](int fd, mode_t mode) { return ::fchmod(fd, mode); };
    io.futimens = [](int fd, const struct timespec* times) { return ::futimens(fd, times); };
    io.utimensat = [](int dir, const char* name, const struct timespec* times, int flags) {
        return ::utimensat(dir, name, times, flags);
    };
    io.fsetxattr = [](int fd, const char* name, const void* value, size_t size, int flags) {
        return ::fsetxattr(fd, name, value, size, flags);
    };
    io.fsync = [](int fd) { return ::fsync(fd); };
    io.fstatfs = [](int fd, struct statfs* status) { return ::fstatfs(fd, status); };
    return io;
}

} // namespace

const FileMoveIo& systemFileMoveIo()
{
    static const FileMoveIo calls = makeSystemFileMoveIo();
    return calls;
}

} // namespace shoebox
