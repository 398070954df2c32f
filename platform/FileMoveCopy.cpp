// Copying one file or symbolic link to another filesystem: contents by the
// fastest means the two filesystems share (holes kept), then owner, mode,
// extended attributes and times, then fsync.

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/FileMoveSteps.h"

namespace shoebox::moving {

namespace {

// In-kernel copies go in steps of a few MiB: few system calls, and after
// each step the disk is asked to start writing (see WritebackStarter). The
// read/write fallback uses a buffer of the same order as coreutils' cp.
constexpr off_t kernelCopyStep = off_t{8} << 20;
constexpr off_t bufferSize = off_t{1} << 20;

// The copy must be on disk before it is published, and one fsync at the end
// would wait for all of it to be written only then. Starting writeback of
// each finished step while the next is copied overlaps the two, so the final
// fsync has little left to wait for. A hint only: errors show up at fsync.
class WritebackStarter {
public:
    explicit WritebackStarter(int fd) : fd_(fd) {}
    void copiedUpTo(off_t end)
    {
        if (end - started_ >= kernelCopyStep) {
            (void)::sync_file_range(fd_, started_, end - started_, SYNC_FILE_RANGE_WRITE);
            started_ = end;
        }
    }

private:
    int fd_;
    off_t started_ = 0;
};

// Writes all of `length` bytes at `offset`, retrying short writes.
int writeAll(const FileMoveIo& io, int fd, const char* data, size_t length, off_t offset)
{
    while (length > 0) {
        ssize_t written = io.pwrite(fd, data, length, offset);
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

// Copies ranges of `in` to the same offsets of `out`. Prefers
// copy_file_range (which may share extents or copy server-side), then
// sendfile, then plain reads and writes; a method is given up only before
// anything was copied, so the output never has a gap.
class ContentCopier {
public:
    ContentCopier(const FileMoveIo& io, int in, int out, off_t expectedSize, Progress& progress)
        : io_(io), in_(in), out_(out), expected_(expectedSize), progress_(progress), writeback_(out)
    {
    }

    // Copies from `offset` up to `end`, or to the end of the file when `end`
    // is -1, moving `offset` along. Answers 0 or an errno value.
    int copy(off_t& offset, off_t end)
    {
        while (end < 0 || offset < end) {
            const off_t step =
                std::min(method_ == buffered ? bufferSize : kernelCopyStep, end < 0 ? kernelCopyStep : end - offset);
            ssize_t n = copyStep(offset, static_cast<size_t>(step));
            if (n > 0) {
                offset += n;
                copiedAny_ = true;
                writeback_.copiedUpTo(offset);
                if (!progress_.advance(static_cast<std::uint64_t>(n))) {
                    return ECANCELED;
                }
                continue;
            }
            if (n == 0) {
                // Some filesystems answer 0 instead of an error when they
                // cannot copy; only trust it as the end of the file once
                // bytes have come through.
                if (!copiedAny_ && expected_ > 0 && method_ != buffered) {
                    method_ = Method(method_ + 1);
                    continue;
                }
                return 0;
            }
            if (errno == EINTR) {
                continue;
            }
            if (!copiedAny_ && method_ != buffered && refused(errno)) {
                method_ = Method(method_ + 1);
                continue;
            }
            return errno;
        }
        return 0;
    }

private:
    enum Method { inKernel, sendingFile, buffered };

    ssize_t copyStep(off_t offset, size_t length)
    {
        switch (method_) {
        case inKernel: {
            off_t inOffset = offset, outOffset = offset;
            return io_.copyFileRange(in_, &inOffset, out_, &outOffset, length);
        }
        case sendingFile: {
            // sendfile writes at the output's position, which only a skipped
            // hole moves away from where the last step ended.
            if (outPosition_ != offset && ::lseek(out_, offset, SEEK_SET) < 0) {
                return -1;
            }
            off_t inOffset = offset;
            ssize_t n = io_.sendfile(out_, in_, &inOffset, length);
            outPosition_ = n > 0 ? offset + n : -1;
            return n;
        }
        case buffered:
            if (!buffer_) {
                buffer_.reset(new char[bufferSize]);
            }
            ssize_t n = io_.pread(in_, buffer_.get(), length, offset);
            if (n > 0) {
                if (int error = writeAll(io_, out_, buffer_.get(), static_cast<size_t>(n), offset)) {
                    errno = error;
                    return -1;
                }
            }
            return n;
        }
        return -1;
    }

    // Whether `error` means this method cannot copy between these two files.
    bool refused(int error) const
    {
        // EXDEV between different filesystem types since Linux 5.19.
        return refusesFlags(error) || (method_ == inKernel && (error == EXDEV || error == EBADF));
    }

    const FileMoveIo& io_;
    int in_;
    int out_;
    off_t expected_;
    Progress& progress_;
    WritebackStarter writeback_;
    Method method_ = inKernel;
    bool copiedAny_ = false;
    off_t outPosition_ = 0;
    std::unique_ptr<char[]> buffer_;
};

// Whether the file has holes: fewer blocks than its size needs.
bool isSparse(const struct stat& status)
{
    return status.st_size > 0 && status.st_blocks * 512 < status.st_size;
}

// Copies the whole of `in`, described by `status`, into the empty file `out`.
int copyContents(const FileMoveIo& io, int in, int out, const struct stat& status, Progress& progress)
{
    ContentCopier copier(io, in, out, status.st_size, progress);
    off_t offset = 0;
    if (!isSparse(status)) {
        // Reserving the space first reports a full disk before any copying,
        // and gives the filesystem the chance to lay the file out in one
        // piece. KEEP_SIZE: should the source be shorter than stated, no
        // zeros follow.
        if (status.st_size > 0 && io.fallocate(out, FALLOC_FL_KEEP_SIZE, 0, status.st_size) != 0 && errno == ENOSPC) {
            return ENOSPC;
        }
        return copier.copy(offset, -1);
    }
    // Holes stay holes (a disk image, a partly downloaded video): only the
    // data is copied, to the same offsets, and the size set at the end. The
    // copy then takes no more room than the original.
    for (;;) {
        off_t data = ::lseek(in, offset, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) {
                break; // no data past `offset`
            }
            return errno;
        }
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0) {
            return errno;
        }
        if (data > offset && !progress.advance(static_cast<std::uint64_t>(data - offset))) { // the hole before
            return ECANCELED;
        }
        offset = data;
        if (int error = copier.copy(offset, hole)) {
            return error;
        }
        if (offset < hole) {
            break; // the file ended early; the change shows before publishing
        }
    }
    if (offset < status.st_size) { // a hole at the end
        if (io.ftruncate(out, status.st_size) != 0) {
            return errno;
        }
        if (!progress.advance(static_cast<std::uint64_t>(status.st_size - offset))) {
            return ECANCELED;
        }
    }
    return 0;
}

// Filesystems without Unix owners, modes or fine timestamps (FAT, exFAT,
// some network mounts) refuse to store them. The photo itself matters more
// than its metadata, so those refusals are not failures; other errors are.
bool cannotHoldMetadata(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
}

// What a target answers for an extended attribute it cannot hold: none at
// all (FAT, exFAT; tmpfs before Linux 6.6 for user.*), one this process may
// not set (trusted.*, some security.* without privileges), or one too large
// for it (ext4 answers ENOSPC when the attributes outgrow the inode's block).
bool cannotHoldAttribute(int error)
{
    return cannotHoldMetadata(error) || error == EACCES || error == E2BIG || error == ERANGE || error == ENOSPC;
}

// Reads into `value` with a size-then-fetch call that may race with growth.
template <typename Fetch>
int fetchGrowing(std::string& value, Fetch fetch)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        ssize_t size = fetch(nullptr, 0);
        if (size < 0) {
            return errno;
        }
        value.resize(static_cast<size_t>(size));
        if (size == 0) {
            return 0; // nothing to fetch (no attributes, or an empty value)
        }
        size = fetch(value.data(), value.size());
        if (size >= 0) {
            value.resize(static_cast<size_t>(size));
            return 0;
        }
        if (errno != ERANGE) {
            return errno;
        }
    }
    return ERANGE;
}

// Extended attributes: user.* ones (tags, ratings, a download's origin),
// the POSIX ACL (system.posix_acl_access, and a folder's
// system.posix_acl_default), security labels. Each one the target cannot
// hold is dropped, as mv drops it; a failure to write one fails the copy.
int copyAttributes(const FileMoveIo& io, int in, int out)
{
    std::string names;
    if (int error = fetchGrowing(names, [&](char* list, size_t size) { return ::flistxattr(in, list, size); })) {
        return cannotHoldAttribute(error) ? 0 : error;
    }
    std::string value;
    for (size_t start = 0; start < names.size(); start += std::char_traits<char>::length(names.c_str() + start) + 1) {
        const char* name = names.c_str() + start;
        int error = fetchGrowing(value, [&](char* data, size_t size) { return ::fgetxattr(in, name, data, size); });
        if (error == ENODATA) {
            continue; // removed since it was listed
        }
        if (error != 0) {
            return error;
        }
        if (io.fsetxattr(out, name, value.data(), value.size(), 0) != 0 && !cannotHoldAttribute(errno)) {
            return errno;
        }
    }
    return 0;
}

} // namespace

int copyMetadata(const FileMoveIo& io, int in, int out, const struct stat& status)
{
    // The owner only carries over for root, as with mv; chown clears set-id
    // bits, so it goes before chmod.
    (void)io.fchown(out, status.st_uid, status.st_gid);
    if (io.fchmod(out, status.st_mode & 07777) != 0 && !cannotHoldMetadata(errno)) {
        return errno;
    }
    if (int error = copyAttributes(io, in, out)) {
        return error;
    }
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    if (io.futimens(out, times) != 0 && !cannotHoldMetadata(errno)) {
        return errno;
    }
    return 0;
}

int copyFile(const FileMoveIo& io, int in, const struct stat& status, int out, Progress& progress)
{
    int error = copyContents(io, in, out, status, progress);
    if (error == 0) {
        error = copyMetadata(io, in, out, status);
    }
    if (error == 0) {
        error = syncFd(io, out);
    }
    return error;
}

int copySymlink(const FileMoveIo& io, int fromDir, const char* from, const struct stat& status, int toDir,
                const char* to)
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
    if (io.symlinkat(target.c_str(), toDir, to) != 0) {
        return errno;
    }
    // A link's owner and times are a nicety; failing to set them is no
    // reason to fail the move. Linux allows no user.* attributes on links.
    (void)io.fchownat(toDir, to, status.st_uid, status.st_gid, AT_SYMLINK_NOFOLLOW);
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    (void)io.utimensat(toDir, to, times, AT_SYMLINK_NOFOLLOW);
    return 0;
}

int syncFd(const FileMoveIo& io, int fd)
{
    while (io.fsync(fd) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

} // namespace shoebox::moving
