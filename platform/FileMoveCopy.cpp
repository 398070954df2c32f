// Copying one file or symbolic link to another filesystem: contents by the
// fastest means the two filesystems share, then metadata, then fsync.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "FileMoveSteps.h"

namespace shoebox::moving {

namespace {

// In-kernel copies go in steps of a few MiB: few system calls, and after
// each step the disk is asked to start writing (see WritebackStarter). The
// read/write fallback uses a buffer of the same order as coreutils' cp.
constexpr size_t kernelCopyStep = size_t{8} << 20;
constexpr size_t bufferSize = size_t{1} << 20;

// The copy must be on disk before it is published, and one fsync at the end
// would wait for all of it to be written only then. Starting writeback of
// each finished step while the next is copied overlaps the two, so the final
// fsync has little left to wait for. A hint only: errors show up at fsync.
class WritebackStarter {
public:
    explicit WritebackStarter(int fd) : fd_(fd) {}
    void copiedUpTo(off_t end)
    {
        if (end - started_ >= static_cast<off_t>(kernelCopyStep)) {
            (void)::sync_file_range(fd_, started_, end - started_, SYNC_FILE_RANGE_WRITE);
            started_ = end;
        }
    }

private:
    int fd_;
    off_t started_ = 0;
};

// Writes all of `length` bytes at `offset`, retrying short writes.
int writeAll(int fd, const char* data, size_t length, off_t offset)
{
    while (length > 0) {
        ssize_t written = io().pwrite(fd, data, length, offset);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data += written;
        length -= static_cast<size_t>(written);
        offset += written;
    }
    return 0;
}

// Copies the whole of `in` into the empty file `out`. Prefers copy_file_range
// (which may share extents or copy server-side), then sendfile, then plain
// reads and writes; a method is given up only before it has copied anything,
// so the output never has a gap. Returns 0 or an errno value.
int copyContents(int in, int out, off_t expectedSize)
{
    // Reserving the space first reports a full disk before any copying, and
    // gives the filesystem the chance to lay the file out in one piece.
    // KEEP_SIZE: should the source be shorter than stated, no zeros follow.
    if (expectedSize > 0 && io().fallocate(out, FALLOC_FL_KEEP_SIZE, 0, expectedSize) != 0 && errno == ENOSPC) {
        return ENOSPC;
    }
    off_t copied = 0;
    WritebackStarter writeback(out);

    for (;;) {
        off_t inOffset = copied;
        off_t outOffset = copied;
        ssize_t n = io().copyFileRange(in, &inOffset, out, &outOffset, kernelCopyStep);
        if (n > 0) {
            copied += n;
            writeback.copiedUpTo(copied);
            continue;
        }
        if (n == 0) {
            // Some filesystems answer 0 instead of an error when they cannot
            // copy; only trust it as end of file once bytes have come through.
            if (copied > 0 || expectedSize == 0) {
                return 0;
            }
            break;
        }
        if (errno == EINTR) {
            continue;
        }
        // EXDEV between different filesystem types since Linux 5.19.
        if (copied == 0 && (refusesFlags(errno) || errno == EXDEV || errno == EBADF)) {
            break;
        }
        return errno;
    }

    for (;;) {
        off_t inOffset = copied;
        ssize_t n = io().sendfile(out, in, &inOffset, kernelCopyStep);
        if (n > 0) {
            copied += n;
            writeback.copiedUpTo(copied);
            continue;
        }
        if (n == 0) {
            if (copied > 0) {
                return 0;
            }
            break;
        }
        if (errno == EINTR) {
            continue;
        }
        if (copied == 0 && refusesFlags(errno)) {
            break;
        }
        return errno;
    }

    // Nothing was copied above.
    std::unique_ptr<char[]> buffer(new char[bufferSize]);
    for (;;) {
        ssize_t n = io().pread(in, buffer.get(), bufferSize, copied);
        if (n == 0) {
            return 0;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (int error = writeAll(out, buffer.get(), static_cast<size_t>(n), copied)) {
            return error;
        }
        copied += n;
        writeback.copiedUpTo(copied);
    }
}

// Filesystems without Unix owners, modes or fine timestamps (FAT, exFAT,
// some network mounts) refuse to store them. The photo itself matters more
// than its metadata, so those refusals are not failures; other errors are.
bool cannotHoldMetadata(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
}

} // namespace

int copyMetadata(int fd, const struct stat& status)
{
    // The owner only carries over for root, as with mv; chown clears set-id
    // bits, so it goes before chmod.
    (void)io().fchown(fd, status.st_uid, status.st_gid);
    if (io().fchmod(fd, status.st_mode & 07777) != 0 && !cannotHoldMetadata(errno)) {
        return errno;
    }
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    if (io().futimens(fd, times) != 0 && !cannotHoldMetadata(errno)) {
        return errno;
    }
    return 0;
}

int copyFile(int in, const struct stat& status, int out)
{
    int error = copyContents(in, out, status.st_size);
    if (error == 0) {
        error = copyMetadata(out, status);
    }
    if (error == 0) {
        error = syncFd(out);
    }
    return error;
}

int copySymlink(int fromDir, const char* from, const struct stat& status, int toDir, const char* to)
{
    std::string target(static_cast<size_t>(status.st_size) + 1, '\0');
    ssize_t length = ::readlinkat(fromDir, from, target.data(), target.size());
    if (length < 0) {
        return errno;
    }
    if (static_cast<size_t>(length) >= target.size()) {
        return EAGAIN; // the link changed under us
    }
    target.resize(static_cast<size_t>(length));
    if (io().symlinkat(target.c_str(), toDir, to) != 0) {
        return errno;
    }
    // A link's owner and times are a nicety; failing to set them is no
    // reason to fail the move.
    (void)io().fchownat(toDir, to, status.st_uid, status.st_gid, AT_SYMLINK_NOFOLLOW);
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    (void)io().utimensat(toDir, to, times, AT_SYMLINK_NOFOLLOW);
    return 0;
}

int syncFd(int fd)
{
    while (io().fsync(fd) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

} // namespace shoebox::moving
