#include "FileMove.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h> // renameat2, RENAME_NOREPLACE (glibc 2.28 and later)
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "FileMoveIo.h"
#include "Text.h"

namespace shoebox {

FileMoveIo systemFileMoveIo()
{
    FileMoveIo io;
    io.renameat2 = [](int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
        return ::renameat2(fromDir, from, toDir, to, flags);
    };
    io.linkat = [](int fromDir, const char* from, int toDir, const char* to, int flags) {
        return ::linkat(fromDir, from, toDir, to, flags);
    };
    io.unlinkat = [](int dir, const char* name, int flags) { return ::unlinkat(dir, name, flags); };
    io.openat = [](int dir, const char* name, int flags, mode_t mode) { return ::openat(dir, name, flags, mode); };
    io.copyFileRange = [](int in, off_t* inOffset, int out, off_t* outOffset, size_t length) {
        return ::copy_file_range(in, inOffset, out, outOffset, length, 0);
    };
    io.sendfile = [](int out, int in, off_t* inOffset, size_t length) { return ::sendfile(out, in, inOffset, length); };
    io.read = [](int fd, void* buffer, size_t length) { return ::read(fd, buffer, length); };
    io.write = [](int fd, const void* buffer, size_t length) { return ::write(fd, buffer, length); };
    io.fsync = [](int fd) { return ::fsync(fd); };
    return io;
}

namespace {

FileMoveIo& io()
{
    static FileMoveIo current = systemFileMoveIo();
    return current;
}

// In-kernel copies go in steps of a few MiB: few system calls, and after
// each step the disk is asked to start writing (see WritebackStarter). The
// read/write fallback uses a buffer of the same order as coreutils' cp.
constexpr size_t kernelCopyStep = size_t{8} << 20;
constexpr size_t bufferSize = size_t{1} << 20;

// Hidden names for a copy under way in the target folder. A folder copy
// always needs one; a file copy only where the filesystem has no O_TMPFILE.
constexpr std::string_view temporaryPrefix = ".shoebox-move-";

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
    }

private:
    int fd_;
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::string reason(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

class Move {
public:
    Move(const std::string& source, const std::string& destination) : source_(source), destination_(destination) {}

    Result<> run();

private:
    std::unexpected<Error> fail(int error, std::string_view detail = {}) const
    {
        std::string text = reason(error);
        if (!detail.empty()) {
            text += " (";
            text += detail;
            text += ")";
        }
        return failBecause(text);
    }
    // For the few failures that no errno describes.
    std::unexpected<Error> failBecause(std::string_view why) const
    {
        return failure("Could not move \u201C" + oneLine(source_) + "\u201D to \u201C" + oneLine(destination_) +
                       "\u201D: " + std::string(why));
    }

    Result<> moveByLinking(int renameError);
    Result<> moveAcrossFilesystems();
    Result<> moveFile(const struct stat& status);
    Result<> moveSymlink(const struct stat& status);
    Result<> moveTree(const struct stat& status);
    Result<> removeSource(const struct stat& status, ino_t copyInode);

    const std::string& source_;
    const std::string& destination_;
    Fd folder_;        // the destination's folder, once the move leaves the fast path
    std::string name_; // the destination's last component
};

bool refusesFlags(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool sameItem(int dir, const char* name, dev_t device, ino_t inode)
{
    struct stat status {};
    return ::fstatat(dir, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && status.st_dev == device && status.st_ino == inode;
}

bool isInside(const std::string& path, const std::string& folder)
{
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

// Writes all of `length` bytes, retrying short writes.
int writeAll(int fd, const char* data, size_t length)
{
    while (length > 0) {
        ssize_t written = io().write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return 0;
}

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

// Copies the whole of `in` into the empty file `out`. Prefers copy_file_range
// (which may share extents or copy server-side), then sendfile, then plain
// reads and writes; a method is given up only before it has copied anything,
// so the output never has a gap. Returns 0 or an errno value.
int copyContents(int in, int out, off_t expectedSize)
{
    // Reserving the space first reports a full disk before any copying, and
    // gives the filesystem the chance to lay the file out in one piece.
    // KEEP_SIZE: should the source be shorter than stated, no zeros follow.
    if (expectedSize > 0 && ::fallocate(out, FALLOC_FL_KEEP_SIZE, 0, expectedSize) != 0 && errno == ENOSPC) {
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

    // Nothing was copied above, so both file positions are still at 0.
    std::unique_ptr<char[]> buffer(new char[bufferSize]);
    for (;;) {
        ssize_t n = io().read(in, buffer.get(), bufferSize);
        if (n == 0) {
            return 0;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (int error = writeAll(out, buffer.get(), static_cast<size_t>(n))) {
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

int copyMetadata(int fd, const struct stat& status)
{
    // The owner only carries over for root, as with mv; chown clears set-id
    // bits, so it goes before chmod.
    (void)::fchown(fd, status.st_uid, status.st_gid);
    if (::fchmod(fd, status.st_mode & 07777) != 0 && !cannotHoldMetadata(errno)) {
        return errno;
    }
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    if (::futimens(fd, times) != 0 && !cannotHoldMetadata(errno)) {
        return errno;
    }
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

std::string temporaryName()
{
    static std::uint64_t counter = 0;
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    std::uint64_t value = static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(now.tv_sec) << 30) ^
                          (static_cast<std::uint64_t>(::getpid()) << 40) ^ (++counter * 0x9E3779B97F4A7C15ULL);
    static constexpr char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string name(temporaryPrefix);
    for (int i = 0; i < 10; ++i) {
        name += digits[value % 36];
        value /= 36;
    }
    return name;
}

// Creates a new hidden file (`directory` false) or folder in `dir` under a
// name nobody else holds. Returns the open file (or -1 with errno set) and
// fills `name`.
int createTemporary(int dir, bool directory, std::string& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryName();
        if (directory) {
            if (::mkdirat(dir, name.c_str(), 0700) == 0) {
                int fd = io().openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
                if (fd < 0) {
                    int error = errno;
                    ::unlinkat(dir, name.c_str(), AT_REMOVEDIR);
                    errno = error;
                }
                return fd;
            }
        } else {
            int fd = io().openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0) {
                return fd;
            }
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

// Removes `name` in `dir` and, for a folder, everything inside it, without
// following symbolic links. Returns 0 or the first errno met.
int removeTree(int dir, const char* name)
{
    struct stat status {};
    if (::fstatat(dir, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    if (!S_ISDIR(status.st_mode)) {
        return io().unlinkat(dir, name, 0) == 0 ? 0 : errno;
    }
    int fd = ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    std::unique_ptr<DIR, DirCloser> listing(::fdopendir(fd));
    if (!listing) {
        int error = errno;
        ::close(fd);
        return error;
    }
    while (struct dirent* entry = ::readdir(listing.get())) {
        std::string_view entryName(entry->d_name);
        if (entryName == "." || entryName == "..") {
            continue;
        }
        if (int error = removeTree(fd, entry->d_name)) {
            return error;
        }
    }
    listing.reset();
    return io().unlinkat(dir, name, AT_REMOVEDIR) == 0 ? 0 : errno;
}

// A failure inside a folder copy: the errno and the path (relative to the
// folder being moved) where it happened.
struct TreeError {
    int error = 0;
    std::string where;
};

TreeError copyTreeContents(int from, int to, const std::string& where);

TreeError copyEntry(int from, int to, const char* name, const std::string& where)
{
    struct stat status {};
    if (::fstatat(from, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return {errno, where};
    }
    if (S_ISREG(status.st_mode)) {
        Fd in(io().openat(from, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0));
        if (!in) {
            return {errno, where};
        }
        Fd out(io().openat(to, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!out) {
            return {errno, where};
        }
        int error = copyContents(in.get(), out.get(), status.st_size);
        if (error == 0) {
            error = copyMetadata(out.get(), status);
        }
        if (error == 0) {
            error = syncFd(out.get());
        }
        return {error, error ? where : std::string()};
    }
    if (S_ISDIR(status.st_mode)) {
        if (::mkdirat(to, name, 0700) != 0) {
            return {errno, where};
        }
        Fd in(io().openat(from, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
        Fd out(io().openat(to, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
        if (!in || !out) {
            return {errno, where};
        }
        if (TreeError inner = copyTreeContents(in.get(), out.get(), where); inner.error) {
            return inner;
        }
        // Times last: creating the entries above touched the folder's mtime.
        int error = copyMetadata(out.get(), status);
        if (error == 0) {
            error = syncFd(out.get());
        }
        return {error, error ? where : std::string()};
    }
    if (S_ISLNK(status.st_mode)) {
        std::string target(static_cast<size_t>(status.st_size) + 1, '\0');
        ssize_t length = ::readlinkat(from, name, target.data(), target.size());
        if (length < 0) {
            return {errno, where};
        }
        if (static_cast<size_t>(length) >= target.size()) {
            return {EAGAIN, where}; // the link changed under us
        }
        target.resize(static_cast<size_t>(length));
        if (::symlinkat(target.c_str(), to, name) != 0) {
            return {errno, where};
        }
        (void)::fchownat(to, name, status.st_uid, status.st_gid, AT_SYMLINK_NOFOLLOW);
        const struct timespec times[2] = {status.st_atim, status.st_mtim};
        (void)::utimensat(to, name, times, AT_SYMLINK_NOFOLLOW);
        return {};
    }
    // Devices, pipes and sockets have no place in a photo folder and cannot
    // be copied faithfully.
    return {EOPNOTSUPP, where};
}

TreeError copyTreeContents(int from, int to, const std::string& where)
{
    int fd = ::dup(from);
    if (fd < 0) {
        return {errno, where};
    }
    std::unique_ptr<DIR, DirCloser> listing(::fdopendir(fd));
    if (!listing) {
        int error = errno;
        ::close(fd);
        return {error, where};
    }
    for (;;) {
        errno = 0;
        struct dirent* entry = ::readdir(listing.get());
        if (!entry) {
            return {errno, errno ? where : std::string()};
        }
        std::string_view name(entry->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        if (TreeError error = copyEntry(from, to, entry->d_name, where + "/" + std::string(name)); error.error) {
            return error;
        }
    }
}

Result<> Move::run()
{
    // A NUL byte would silently cut the name short and aim at another item.
    if (source_.find('\0') != std::string::npos || destination_.find('\0') != std::string::npos) {
        return fail(EINVAL);
    }
    // The common case costs exactly one system call: no stat first.
    if (io().renameat2(AT_FDCWD, source_.c_str(), AT_FDCWD, destination_.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    int error = errno;
    if (error == EXDEV) {
        return moveAcrossFilesystems();
    }
    if (refusesFlags(error)) {
        return moveByLinking(error);
    }
    return fail(error);
}

// For filesystems that do not know RENAME_NOREPLACE (NFS, CIFS, some FUSE
// filesystems): link() fails rather than replace, and the old name is
// dropped after. Folders cannot be linked, so they are refused.
Result<> Move::moveByLinking(int renameError)
{
    struct stat status {};
    if (::lstat(source_.c_str(), &status) != 0) {
        return fail(errno);
    }
    if (S_ISDIR(status.st_mode)) {
        if (renameError == EINVAL && isInside(destination_, source_)) {
            return fail(EINVAL); // into itself: the usual rename refusal
        }
        return fail(renameError, "this filesystem cannot move a folder without risking replacing one");
    }
    if (io().linkat(AT_FDCWD, source_.c_str(), AT_FDCWD, destination_.c_str(), 0) != 0) {
        int error = errno;
        if (error == EXDEV) {
            return moveAcrossFilesystems();
        }
        if (error == EPERM || error == EOPNOTSUPP) {
            return fail(error, "this filesystem can neither rename without replacing nor make hard links");
        }
        return fail(error);
    }
    if (io().unlinkat(AT_FDCWD, source_.c_str(), 0) != 0) {
        int error = errno;
        // Both names are the same file, so dropping the new one undoes the
        // move; unless the old one vanished meanwhile and the new one is all
        // that is left.
        if (sameItem(AT_FDCWD, source_.c_str(), status.st_dev, status.st_ino)) {
            if (sameItem(AT_FDCWD, destination_.c_str(), status.st_dev, status.st_ino) &&
                io().unlinkat(AT_FDCWD, destination_.c_str(), 0) == 0) {
                return fail(error, "the original name could not be removed, so the move was undone");
            }
            return fail(error, "the original name could not be removed; the item is now under both names");
        }
        return fail(error, "the original disappeared during the move; the item was kept at the destination");
    }
    return {};
}

Result<> Move::moveAcrossFilesystems()
{
    struct stat status {};
    if (::lstat(source_.c_str(), &status) != 0) {
        return fail(errno);
    }

    std::string folder;
    std::size_t slash = destination_.rfind('/');
    if (slash == std::string::npos) {
        folder = ".";
        name_ = destination_;
    } else {
        folder = slash == 0 ? std::string("/") : destination_.substr(0, slash);
        name_ = destination_.substr(slash + 1);
    }
    if (name_.empty() || name_ == "." || name_ == "..") {
        return fail(EINVAL);
    }
    folder_ = Fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder_) {
        return fail(errno);
    }

    if (S_ISREG(status.st_mode)) {
        return moveFile(status);
    }
    if (S_ISDIR(status.st_mode)) {
        return moveTree(status);
    }
    if (S_ISLNK(status.st_mode)) {
        return moveSymlink(status);
    }
    return fail(EOPNOTSUPP, "only files, folders and symbolic links can be moved to another filesystem");
}

// Called once the copy is published and synced. The source goes only if it
// is still the item that was copied. If it cannot go, the copy is taken back
// so the user is not left with a second copy they did not ask for; but when
// the original vanished or was replaced meanwhile, the copy may be the only
// one left, so it stays.
Result<> Move::removeSource(const struct stat& status, ino_t copyInode)
{
    const char* source = source_.c_str();
    if (!sameItem(AT_FDCWD, source, status.st_dev, status.st_ino)) {
        return failBecause("the original was removed or replaced during the move; the copy was kept at the "
                           "destination");
    }
    if (io().unlinkat(AT_FDCWD, source, 0) == 0) {
        return {};
    }
    int error = errno;
    if (!sameItem(AT_FDCWD, source, status.st_dev, status.st_ino)) {
        return fail(error,
                    "the original was removed or replaced during the move; the copy was kept at the destination");
    }
    struct stat copy {};
    if (::fstatat(folder_.get(), name_.c_str(), &copy, AT_SYMLINK_NOFOLLOW) == 0 && copy.st_ino == copyInode &&
        io().unlinkat(folder_.get(), name_.c_str(), 0) == 0) {
        return fail(error, "the original could not be removed after copying, so the copy was taken back");
    }
    return fail(error, "the original could not be removed after copying; both copies were kept");
}

Result<> Move::moveFile(const struct stat& status)
{
    Fd in(io().openat(AT_FDCWD, source_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0));
    if (!in) {
        return fail(errno);
    }
    struct stat opened {};
    if (::fstat(in.get(), &opened) != 0) {
        return fail(errno);
    }
    if (opened.st_dev != status.st_dev || opened.st_ino != status.st_ino) {
        return failBecause("the item changed while it was being moved");
    }

    // An unnamed file cannot be seen by anyone and vanishes by itself if we
    // are interrupted, so a half-done copy never shows under any name.
    std::string temporary;
    Fd out(io().openat(folder_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (!out) {
        int error = errno;
        // Filesystems without O_TMPFILE (FAT, exFAT, NTFS, older kernels)
        // answer with one of these.
        if (error != EOPNOTSUPP && error != EISDIR && error != EINVAL) {
            return fail(error);
        }
        out = Fd(createTemporary(folder_.get(), false, temporary));
        if (!out) {
            return fail(errno);
        }
    }
    auto discard = [&] {
        if (!temporary.empty()) {
            io().unlinkat(folder_.get(), temporary.c_str(), 0);
        }
    };

    int error = copyContents(in.get(), out.get(), opened.st_size);
    if (error == 0) {
        error = copyMetadata(out.get(), opened);
    }
    if (error == 0) {
        error = syncFd(out.get());
    }
    if (error != 0) {
        discard();
        return fail(error);
    }
    struct stat copy {};
    if (::fstat(out.get(), &copy) != 0) {
        error = errno;
        discard();
        return fail(error);
    }

    // Publishing: every path here fails with EEXIST rather than replace.
    if (temporary.empty()) {
        std::string procPath = "/proc/self/fd/" + std::to_string(out.get());
        if (io().linkat(AT_FDCWD, procPath.c_str(), folder_.get(), name_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            error = errno;
            // Without /proc, AT_EMPTY_PATH does the same (it needs
            // CAP_DAC_READ_SEARCH before Linux 6.10).
            if (error == ENOENT && ::access("/proc/self/fd", F_OK) != 0) {
                error = io().linkat(out.get(), "", folder_.get(), name_.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
            }
        }
    } else {
        if (io().renameat2(folder_.get(), temporary.c_str(), folder_.get(), name_.c_str(), RENAME_NOREPLACE) != 0) {
            error = errno;
            if (refusesFlags(error)) {
                error = io().linkat(folder_.get(), temporary.c_str(), folder_.get(), name_.c_str(), 0) == 0 ? 0 : errno;
                if (error == 0) {
                    discard(); // the data lives on under the final name
                } else if (error == EPERM || error == EOPNOTSUPP) {
                    discard();
                    return fail(error, "this filesystem can neither rename without replacing nor make hard links");
                }
            }
        }
        if (error == 0) {
            temporary.clear();
        }
    }
    if (error != 0) {
        discard();
        return fail(error);
    }
    out.reset();

    if ((error = syncFd(folder_.get())) != 0) {
        // The new name may not survive a crash; the source is still whole,
        // so take the copy back and report.
        if (sameItem(folder_.get(), name_.c_str(), copy.st_dev, copy.st_ino)) {
            io().unlinkat(folder_.get(), name_.c_str(), 0);
        }
        return fail(error);
    }
    return removeSource(opened, copy.st_ino);
}

Result<> Move::moveSymlink(const struct stat& status)
{
    std::string target(static_cast<size_t>(status.st_size) + 1, '\0');
    ssize_t length = ::readlink(source_.c_str(), target.data(), target.size());
    if (length < 0) {
        return fail(errno);
    }
    if (static_cast<size_t>(length) >= target.size()) {
        return failBecause("the item changed while it was being moved");
    }
    target.resize(static_cast<size_t>(length));
    if (::symlinkat(target.c_str(), folder_.get(), name_.c_str()) != 0) {
        return fail(errno);
    }
    (void)::fchownat(folder_.get(), name_.c_str(), status.st_uid, status.st_gid, AT_SYMLINK_NOFOLLOW);
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    (void)::utimensat(folder_.get(), name_.c_str(), times, AT_SYMLINK_NOFOLLOW);
    struct stat copy {};
    if (::fstatat(folder_.get(), name_.c_str(), &copy, AT_SYMLINK_NOFOLLOW) != 0) {
        return fail(errno);
    }
    if (int error = syncFd(folder_.get())) {
        io().unlinkat(folder_.get(), name_.c_str(), 0);
        return fail(error);
    }
    return removeSource(status, copy.st_ino);
}

// A folder is copied whole under a hidden name, published with one
// RENAME_NOREPLACE, and only then is the original removed.
Result<> Move::moveTree(const struct stat& status)
{
    Fd in(io().openat(AT_FDCWD, source_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
    if (!in) {
        return fail(errno);
    }
    std::string temporary;
    Fd out(createTemporary(folder_.get(), true, temporary));
    if (!out) {
        return fail(errno);
    }

    TreeError copyError = copyTreeContents(in.get(), out.get(), std::string());
    int error = copyError.error;
    if (error == 0) {
        error = copyMetadata(out.get(), status);
    }
    if (error == 0) {
        error = syncFd(out.get());
    }
    if (error == 0 &&
        io().renameat2(folder_.get(), temporary.c_str(), folder_.get(), name_.c_str(), RENAME_NOREPLACE) != 0) {
        error = errno;
        if (refusesFlags(error)) {
            removeTree(folder_.get(), temporary.c_str());
            return fail(error, "this filesystem cannot move a folder without risking replacing one");
        }
    }
    if (error != 0) {
        removeTree(folder_.get(), temporary.c_str());
        if (!copyError.where.empty()) {
            return fail(error, "at \u201C" + oneLine(source_ + copyError.where) + "\u201D");
        }
        return fail(error);
    }
    if ((error = syncFd(folder_.get())) != 0) {
        removeTree(folder_.get(), name_.c_str());
        return fail(error);
    }

    // A folder cannot be taken back once part of the original is gone, so
    // if removing it stops half-way both are kept: nothing is lost.
    if (!sameItem(AT_FDCWD, source_.c_str(), status.st_dev, status.st_ino)) {
        return failBecause("the original was removed or replaced during the move; the copy was kept at the "
                           "destination");
    }
    if ((error = removeTree(AT_FDCWD, source_.c_str())) != 0) {
        return fail(error, "the folder was copied completely, but the original could not be removed entirely; "
                           "both were kept");
    }
    return {};
}

} // namespace

ScopedFileMoveIo::ScopedFileMoveIo(FileMoveIo replacement) : previous_(std::move(io()))
{
    io() = std::move(replacement);
}

ScopedFileMoveIo::~ScopedFileMoveIo()
{
    io() = std::move(previous_);
}

Result<> moveItemNoReplace(const std::string& source, const std::string& destination, MoveObserver* /*observer*/)
{
    return Move(source, destination).run();
}

} // namespace shoebox
