// The never-replacing move: a rename within one filesystem (or its
// fallbacks where RENAME_NOREPLACE is refused), and across filesystems a
// complete, synced copy published under the final name before the source is
// removed. The copying itself lives in FileMoveCopy.cpp and FileMoveTree.cpp.

#include "FileMove.h"

#include <fcntl.h>
#include <stdio.h> // RENAME_NOREPLACE
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <system_error>

#include "FileMoveSteps.h"
#include "Text.h"

namespace shoebox {

namespace moving {

std::string reason(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

bool refusesFlags(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool sameItem(int dir, const char* name, dev_t device, ino_t inode)
{
    struct stat status {};
    return ::fstatat(dir, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && status.st_dev == device && status.st_ino == inode;
}

bool sameState(const struct stat& status, const struct stat& before)
{
    auto same = [](const struct timespec& a, const struct timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    return status.st_dev == before.st_dev && status.st_ino == before.st_ino && status.st_size == before.st_size &&
           same(status.st_mtim, before.st_mtim) && same(status.st_ctim, before.st_ctim);
}

bool unchangedSince(int fd, const struct stat& before)
{
    struct stat now {};
    return ::fstat(fd, &now) == 0 && sameState(now, before);
}

} // namespace moving

namespace {

using namespace moving;

using Cause = Error::Cause;

// The reasons no errno gives, each written once.
constexpr std::string_view changedWhileMoving = "it changed during the move, so it was left where it was";
constexpr std::string_view cannotMoveFolderSafely =
    "this filesystem cannot move a folder without risking replacing one";
constexpr std::string_view cancelled = "the move was cancelled";
constexpr std::string_view nameRefused = "the target filesystem does not accept this name";
constexpr std::string_view changedButCopyKept =
    "it changed during the move and the copy could not be taken back; both copies were kept";
constexpr std::string_view originalGone =
    "the original was removed or replaced during the move; the copy was kept at the destination";

class Move {
public:
    Move(const std::string& source, const std::string& destination, MoveObserver* observer)
        : source_(source), destination_(destination), progress_(observer)
    {
    }

    Result<> run();

private:
    // The system's reason for `error`, with `detail` in brackets after it.
    std::unexpected<Error> fail(int error, std::string_view detail = {}, Cause cause = Cause::none) const
    {
        if (error == ECANCELED) {
            return failBecause(cancelled, Cause::cancelled, error);
        }
        std::string text = reason(error);
        if (!detail.empty()) {
            text += " (";
            text += detail;
            text += ")";
        }
        return failBecause(text, cause, error);
    }
    std::unexpected<Error> fail(Outcome outcome) const
    {
        return fail(outcome.error, outcome.cause == Cause::nameNotAllowed ? nameRefused : std::string_view(),
                    outcome.cause);
    }
    // For the few failures that no errno describes.
    std::unexpected<Error> failBecause(std::string_view why, Cause cause, int error = 0) const
    {
        return failure("Could not move \u201C" + oneLine(source_) + "\u201D to \u201C" + oneLine(destination_) +
                           "\u201D: " + std::string(why),
                       error, cause);
    }

    Result<> moveWithoutNoReplace(int renameError);
    Result<> refuseMovingIntoItself(const struct stat& folder);
    // Opens the destination's folder (once) and notes its last component.
    int openDestinationFolder();
    Outcome publishFile(Temporary& out);
    Result<> moveAcrossFilesystems();
    Result<> moveFile(const struct stat& status);
    Result<> moveSymlink(const struct stat& status);
    Result<> moveTree(const struct stat& status);
    // `opened` is the source's open file, or -1 for a symbolic link.
    Result<> removeSource(const struct stat& status, int opened, const struct stat& copy);
    // Drops the published copy if the final name still holds it.
    bool takeBack(dev_t device, ino_t inode);

    const std::string& source_;
    const std::string& destination_;
    Progress progress_;
    UniqueFd folder_;  // the destination's folder, once the move leaves the fast path
    std::string name_; // the destination's last component
};

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
        return moveWithoutNoReplace(error);
    }
    return fail(error);
}

// For filesystems that do not know RENAME_NOREPLACE (NFS, CIFS, FUSE FAT
// and exFAT): link() fails rather than replace, and the old name is
// dropped after; where there are no hard links either, the file is renamed
// over a placeholder of ours. Folders are refused (see publish).
Result<> Move::moveWithoutNoReplace(int renameError)
{
    struct stat status {};
    if (::lstat(source_.c_str(), &status) != 0) {
        return fail(errno);
    }
    if (S_ISDIR(status.st_mode)) {
        if (Result<> into = refuseMovingIntoItself(status); !into) {
            return into;
        }
        return fail(renameError, cannotMoveFolderSafely);
    }
    if (io().linkat(AT_FDCWD, source_.c_str(), AT_FDCWD, destination_.c_str(), 0) != 0) {
        int error = errno;
        if (error == EXDEV) {
            return moveAcrossFilesystems();
        }
        if (!cannotLink(error)) {
            return fail(error);
        }
        Outcome renamed = renameOverPlaceholder(AT_FDCWD, source_.c_str(), AT_FDCWD, destination_.c_str());
        if (renamed.error == EXDEV) {
            return moveAcrossFilesystems();
        }
        return renamed.error == 0 ? Result<>() : fail(renamed);
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
            return fail(error, "the original name could not be removed; the item is now under both names",
                        Cause::bothCopiesKept);
        }
        return fail(error, "the original disappeared during the move; the item was kept at the destination",
                    Cause::keptAtDestination);
    }
    return {};
}

int Move::openDestinationFolder()
{
    if (folder_) {
        return 0;
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
        return EINVAL;
    }
    folder_ = UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder_ ? 0 : errno;
}

// As rename() refuses it: EINVAL.
Result<> Move::refuseMovingIntoItself(const struct stat& folder)
{
    if (int error = openDestinationFolder()) {
        return fail(error);
    }
    if (liesWithin(folder_.get(), folder.st_dev, folder.st_ino)) {
        return fail(EINVAL, "a folder cannot be moved into itself");
    }
    return {};
}

Result<> Move::moveAcrossFilesystems()
{
    struct stat status {};
    if (::lstat(source_.c_str(), &status) != 0) {
        return fail(errno);
    }

    if (int error = openDestinationFolder()) {
        return fail(error);
    }
    removeStaleTemporaries(folder_.get());

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

bool Move::takeBack(dev_t device, ino_t inode)
{
    return sameItem(folder_.get(), name_.c_str(), device, inode) && io().unlinkat(folder_.get(), name_.c_str(), 0) == 0;
}

// Called once the copy is published and synced. The source goes only if it
// is still the item that was copied, as it was copied: a file written to
// meanwhile holds more than the copy, so the copy is taken back instead. If
// the source cannot go, the copy is taken back too, so the user is not left
// with a second copy they did not ask for; but when the original vanished or
// was replaced meanwhile, the copy may be the only one left, so it stays.
Result<> Move::removeSource(const struct stat& status, int opened, const struct stat& copy)
{
    const char* source = source_.c_str();
    if (!sameItem(AT_FDCWD, source, status.st_dev, status.st_ino)) {
        return failBecause(originalGone, Cause::keptAtDestination);
    }
    if (opened >= 0 && !unchangedSince(opened, status)) {
        if (takeBack(copy.st_dev, copy.st_ino)) {
            return failBecause(changedWhileMoving, Cause::changedDuringMove);
        }
        return failBecause(changedButCopyKept, Cause::bothCopiesKept);
    }
    if (io().unlinkat(AT_FDCWD, source, 0) == 0) {
        return {};
    }
    int error = errno;
    if (!sameItem(AT_FDCWD, source, status.st_dev, status.st_ino)) {
        return fail(error, originalGone, Cause::keptAtDestination);
    }
    if (takeBack(copy.st_dev, copy.st_ino)) {
        return fail(error, "the original could not be removed after copying, so the copy was taken back");
    }
    return fail(error, "the original could not be removed after copying; both copies were kept", Cause::bothCopiesKept);
}

Result<> Move::moveFile(const struct stat& status)
{
    UniqueFd in(io().openat(AT_FDCWD, source_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0));
    if (!in) {
        return fail(errno);
    }
    struct stat opened {};
    if (::fstat(in.get(), &opened) != 0) {
        return fail(errno);
    }
    if (opened.st_dev != status.st_dev || opened.st_ino != status.st_ino) {
        return failBecause(changedWhileMoving, Cause::changedDuringMove);
    }

    // An unnamed file cannot be seen by anyone and vanishes by itself if we
    // are interrupted, so a half-done copy never shows under any name.
    Temporary out{UniqueFd(io().openat(folder_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600)), {}};
    if (!out.fd) {
        int error = errno;
        // Filesystems without O_TMPFILE (FAT, exFAT, NTFS, older kernels)
        // answer with one of these.
        if (error != EOPNOTSUPP && error != EISDIR && error != EINVAL) {
            return fail(error);
        }
        if ((error = createTemporary(folder_.get(), false, out)) != 0) {
            return fail(error);
        }
    }
    auto discard = [&] {
        if (!out.name.empty()) {
            io().unlinkat(folder_.get(), out.name.c_str(), 0);
        }
    };

    progress_.expect(static_cast<std::uint64_t>(opened.st_size));
    int error = copyFile(in.get(), opened, out.fd.get(), progress_);
    if (error != 0) {
        discard();
        return fail(error);
    }
    if (!unchangedSince(in.get(), opened)) {
        discard();
        return failBecause(changedWhileMoving, Cause::changedDuringMove);
    }
    // The last moment to stop: once published, the move completes.
    if (progress_.stopped()) {
        discard();
        return fail(ECANCELED);
    }
    struct stat copy {};
    if (::fstat(out.fd.get(), &copy) != 0) {
        error = errno;
        discard();
        return fail(error);
    }

    if (Outcome published = publishFile(out); published.error != 0) {
        discard();
        return fail(published);
    }
    out.fd.reset();

    if ((error = syncFd(folder_.get())) != 0) {
        // The new name may not survive a crash; the source is still whole,
        // so take the copy back and report.
        takeBack(copy.st_dev, copy.st_ino);
        return fail(error);
    }
    return removeSource(opened, in.get(), copy);
}

// Every way here fails with EEXIST rather than replace.
Outcome Move::publishFile(Temporary& out)
{
    if (!out.name.empty()) {
        Outcome published = publish(folder_.get(), out, name_.c_str(), false);
        if (published.error == 0) {
            out.name.clear();
        }
        return published;
    }
    std::string procPath = "/proc/self/fd/" + std::to_string(out.fd.get());
    if (io().linkat(AT_FDCWD, procPath.c_str(), folder_.get(), name_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return {};
    }
    int error = errno;
    // Without /proc, AT_EMPTY_PATH does the same (it needs
    // CAP_DAC_READ_SEARCH before Linux 6.10).
    if (error == ENOENT && ::access("/proc/self/fd", F_OK) != 0) {
        error = io().linkat(out.fd.get(), "", folder_.get(), name_.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
    }
    return {error};
}

Result<> Move::moveSymlink(const struct stat& status)
{
    if (int error = copySymlink(AT_FDCWD, source_.c_str(), status, folder_.get(), name_.c_str())) {
        return error == EAGAIN ? failBecause(changedWhileMoving, Cause::changedDuringMove) : fail(error);
    }
    struct stat copy {};
    if (::fstatat(folder_.get(), name_.c_str(), &copy, AT_SYMLINK_NOFOLLOW) != 0) {
        return fail(errno);
    }
    if (int error = syncFd(folder_.get())) {
        takeBack(copy.st_dev, copy.st_ino);
        return fail(error);
    }
    return removeSource(status, -1, copy);
}

// A folder is copied whole under a hidden name, published with one
// RENAME_NOREPLACE, and only then is the original removed.
Result<> Move::moveTree(const struct stat& status)
{
    // A copy made inside the folder being copied would be copied in turn,
    // without end.
    if (Result<> into = refuseMovingIntoItself(status); !into) {
        return into;
    }
    UniqueFd in(io().openat(AT_FDCWD, source_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
    if (!in) {
        return fail(errno);
    }
    Temporary out;
    if (int error = createTemporary(folder_.get(), true, out)) {
        return fail(error);
    }

    struct stat copy {};
    if (::fstat(out.fd.get(), &copy) != 0) {
        int error = errno;
        removeTree(folder_.get(), out.name.c_str());
        return fail(error);
    }

    if (progress_.watched()) {
        progress_.expect(bytesInside(in.get()));
    }
    CopiedItem copied{source_, status, {}};
    TreeError copyError = copyTreeContents(in.get(), out.fd.get(), copied.inside, progress_);
    int error = copyError.error;
    if (error == 0) {
        error = copyMetadata(in.get(), out.fd.get(), status);
    }
    if (error == 0) {
        error = syncFd(out.fd.get());
    }
    if (error == 0) {
        // The last moment to stop: once published, the move completes.
        error = progress_.stopped() ? ECANCELED : 0;
    }
    if (error == 0) {
        if (Outcome published = publish(folder_.get(), out, name_.c_str(), true); published.error != 0) {
            removeTree(folder_.get(), out.name.c_str());
            return refusesFlags(published.error) ? fail(published.error, cannotMoveFolderSafely) : fail(published);
        }
    }
    if (error != 0) {
        removeTree(folder_.get(), out.name.c_str());
        if (!copyError.where.empty()) {
            return fail(error, "at \u201C" + oneLine(source_ + copyError.where) + "\u201D");
        }
        return fail(error);
    }
    if ((error = syncFd(folder_.get())) != 0) {
        // The new name may not survive a crash; the original is still whole.
        if (sameItem(folder_.get(), name_.c_str(), copy.st_dev, copy.st_ino)) {
            removeTree(folder_.get(), name_.c_str());
        }
        return fail(error);
    }

    // A folder cannot be taken back once part of the original is gone, so
    // if removing it stops half-way both are kept: nothing is lost. Only
    // what was copied goes: whatever was added or written to meanwhile
    // stays in the original.
    if (!sameItem(AT_FDCWD, source_.c_str(), status.st_dev, status.st_ino)) {
        return failBecause(originalGone, Cause::keptAtDestination);
    }
    Removal removal = removeCopied(AT_FDCWD, source_.c_str(), copied);
    if (removal.error != 0) {
        return fail(removal.error,
                    "the folder was copied completely, but the original could not be removed entirely; "
                    "both were kept",
                    Cause::bothCopiesKept);
    }
    if (removal.keptSome) {
        return failBecause("items were added to the folder or changed during the move and stayed in the original; "
                           "both copies were kept",
                           Cause::bothCopiesKept);
    }
    return {};
}

} // namespace

Result<> moveItemNoReplace(const std::string& source, const std::string& destination, MoveObserver* observer)
{
    return Move(source, destination, observer).run();
}

} // namespace shoebox
