// The never-replacing move: a rename within one filesystem (or its
// fallbacks where RENAME_NOREPLACE is refused), and across filesystems a
// complete, synced copy published under the final name before the source is
// removed (FileMoveAcross.cpp, with the copying in FileMoveCopy.cpp and
// FileMoveTree.cpp).

#include "platform/FileMove.h"

#include <fcntl.h>
#include <stdio.h> // RENAME_NOREPLACE
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "platform/FileMoveOperation.h"
#include "platform/FileURL.h"
#include "platform/Mounts.h"

namespace shoebox {

namespace moving {

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

using Cause = Error::Cause;

Result<> Move::run()
{
    if (holdsNull(source_) || holdsNull(destination_)) {
        return fail(EINVAL);
    }
    // The common case costs exactly one system call: no stat first.
    if (io_.renameat2(AT_FDCWD, source_.c_str(), AT_FDCWD, destination_.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    int error = errno;
    if ((error == EXDEV || refusesFlags(error)) && removingNamesIsUnsafe(source_)) {
        return failBecause(unsafeRemovalReason, Cause::unsafeFilesystem);
    }
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
// to its new name once that is found free. Folders are refused (see
// publish).
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
    if (io_.linkat(AT_FDCWD, source_.c_str(), AT_FDCWD, destination_.c_str(), 0) != 0) {
        int error = errno;
        if (error == EXDEV) {
            return moveAcrossFilesystems();
        }
        if (!cannotLink(error)) {
            return fail(error);
        }
        if (int opened = openDestinationFolder()) {
            return fail(opened);
        }
        // fusefat loses a file it is asked to rename to a name it refuses.
        if (onFuse(io_, folder_.get())) {
            if (Outcome judged = judgeName(io_, folder_.get(), name_.c_str()); judged.error != 0) {
                return fail(judged);
            }
        }
        Outcome renamed = renameToFreeName(io_, AT_FDCWD, source_.c_str(), folder_.get(), name_.c_str());
        if (renamed.error == EXDEV) {
            return moveAcrossFilesystems();
        }
        return renamed.error == 0 ? Result<>() : fail(renamed);
    }
    if (io_.unlinkat(AT_FDCWD, source_.c_str(), 0) != 0) {
        int error = errno;
        // Both names are the same file, so dropping the new one undoes the
        // move; unless the old one vanished meanwhile and the new one is all
        // that is left.
        if (sameItem(AT_FDCWD, source_.c_str(), status.st_dev, status.st_ino)) {
            if (sameItem(AT_FDCWD, destination_.c_str(), status.st_dev, status.st_ino) &&
                io_.unlinkat(AT_FDCWD, destination_.c_str(), 0) == 0) {
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
    name_ = baseNameOf(destination_);
    if (name_.empty() || name_ == "." || name_ == "..") {
        return EINVAL;
    }
    folder_ = UniqueFd(::open(parentOf(destination_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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
    // On FUSE the target folder is left alone: a removal there can destroy
    // another file (see scratchFolderName).
    if (!onFuse(io_, folder_.get())) {
        removeStaleTemporaries(io_, folder_.get());
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

bool Move::takeBack(const struct stat& copy)
{
    if (!sameItem(folder_.get(), name_.c_str(), copy.st_dev, copy.st_ino)) {
        return true; // not ours to remove
    }
    if (keepPublished_) {
        return false;
    }
    if (S_ISDIR(copy.st_mode)) {
        return removeTree(io_, folder_.get(), name_.c_str()) == 0;
    }
    return io_.unlinkat(folder_.get(), name_.c_str(), 0) == 0;
}

std::unexpected<Error> Move::failTakingBack(int error, const struct stat& copy)
{
    return takeBack(copy) ? fail(error) : fail(error, copyKept, Cause::bothCopiesKept);
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
        if (takeBack(copy)) {
            return failBecause(changedWhileMoving, Cause::changedDuringMove);
        }
        return failBecause(changedButCopyKept, Cause::bothCopiesKept);
    }
    if (io_.unlinkat(AT_FDCWD, source, 0) == 0) {
        return {};
    }
    int error = errno;
    if (!sameItem(AT_FDCWD, source, status.st_dev, status.st_ino)) {
        return fail(error, originalGone, Cause::keptAtDestination);
    }
    if (takeBack(copy)) {
        return fail(error, "the original could not be removed after copying, so the copy was taken back");
    }
    return fail(error, "the original could not be removed after copying; both copies were kept", Cause::bothCopiesKept);
}

} // namespace moving

Result<> moveItemNoReplace(const std::string& source, const std::string& destination, MoveObserver* observer,
                           const FileMoveIo& io)
{
    return moving::Move(source, destination, observer, io).run();
}

} // namespace shoebox
