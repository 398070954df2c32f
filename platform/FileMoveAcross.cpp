// Moving to another filesystem: a file, a symbolic link or a folder is
// copied, published under its final name once complete and synced, and only
// then is the source removed (Move::removeSource in FileMove.cpp).

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/FileMoveOperation.h"

namespace shoebox::moving {

Result<> Move::moveFile(const struct stat& status)
{
    UniqueFd in(io_.openat(AT_FDCWD, source_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0));
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
    Temporary out{UniqueFd(io_.openat(folder_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600)), {}};
    Scratch scratch;
    if (!out.fd) {
        int error = errno;
        // Filesystems without O_TMPFILE (FAT, exFAT, NTFS, older kernels)
        // answer with one of these.
        if (error != EOPNOTSUPP && error != EISDIR && error != EINVAL) {
            return fail(error);
        }
        if (onFuse(io_, folder_.get())) {
            // The copy is made under its final name in a holder of its own
            // (see scratchFolderName), which also has the filesystem judge
            // the name before anything is copied.
            if (name_.size() > longestNameInHolder) {
                return fail(ENAMETOOLONG, nameRefused, Cause::nameNotAllowed);
            }
            if ((error = openScratch(io_, folder_.get(), scratch)) != 0) {
                return fail(error, error == EEXIST ? scratchNotOurs : noScratch);
            }
            out.fd = UniqueFd(
                io_.openat(scratch.holder.fd.get(), name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (!out.fd) {
                Outcome refused = creatingName(errno);
                closeScratch(io_, scratch, nullptr);
                return fail(refused);
            }
            out.name = name_;
            keepPublished_ = true;
        } else if ((error = createTemporary(io_, folder_.get(), false, out)) != 0) {
            return fail(error);
        }
    }
    auto discard = [&] {
        if (scratch.holder.fd) {
            closeScratch(io_, scratch, name_.c_str());
        } else if (!out.name.empty()) {
            io_.unlinkat(folder_.get(), out.name.c_str(), 0);
        }
    };

    progress_.expect(static_cast<std::uint64_t>(opened.st_size));
    int error = copyFile(io_, in.get(), opened, out.fd.get(), progress_);
    if (error != 0) {
        discard();
        return fail(error);
    }
    // Written to meanwhile, the copy would lack the latest bytes. (Replaced
    // or removed meanwhile, the original is out of reach and the copy goes
    // on to be kept: see removeSource.)
    if (sameItem(AT_FDCWD, source_.c_str(), opened.st_dev, opened.st_ino) && !unchangedSince(in.get(), opened)) {
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

    if (Outcome published = publishFile(out, scratch.holder.fd ? &scratch : nullptr); published.error != 0) {
        discard();
        return fail(published);
    }
    out.fd.reset();
    closeScratch(io_, scratch, nullptr);

    if ((error = syncFd(io_, folder_.get())) != 0) {
        // The new name may not survive a crash; the source is still whole.
        return failTakingBack(error, copy);
    }
    return removeSource(opened, in.get(), copy);
}

// Every way here fails with EEXIST rather than replace.
Outcome Move::publishFile(const Temporary& out, const Scratch* holder)
{
    if (holder != nullptr) {
        return publish(io_, holder->holder.fd.get(), out.name.c_str(), folder_.get(), name_.c_str(), false);
    }
    if (!out.name.empty()) {
        return publish(io_, folder_.get(), out.name.c_str(), folder_.get(), name_.c_str(), false);
    }
    std::string procPath = "/proc/self/fd/" + std::to_string(out.fd.get());
    if (io_.linkat(AT_FDCWD, procPath.c_str(), folder_.get(), name_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return {};
    }
    int error = errno;
    // Without /proc, AT_EMPTY_PATH does the same (it needs
    // CAP_DAC_READ_SEARCH before Linux 6.10).
    if (error == ENOENT && ::access("/proc/self/fd", F_OK) != 0) {
        error = io_.linkat(out.fd.get(), "", folder_.get(), name_.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
    }
    return {error};
}

Result<> Move::moveSymlink(const struct stat& status)
{
    if (int error = copySymlink(io_, AT_FDCWD, source_.c_str(), status, folder_.get(), name_.c_str())) {
        return error == EAGAIN ? failBecause(changedWhileMoving, Cause::changedDuringMove) : fail(error);
    }
    struct stat copy {};
    if (::fstatat(folder_.get(), name_.c_str(), &copy, AT_SYMLINK_NOFOLLOW) != 0) {
        return fail(errno);
    }
    if (int error = syncFd(io_, folder_.get())) {
        return failTakingBack(error, copy);
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
    UniqueFd in(io_.openat(AT_FDCWD, source_.c_str(), folderFlags, 0));
    if (!in) {
        return fail(errno);
    }
    // A failed folder move removes its copy's names from the target folder,
    // which on FUSE could destroy another file (see scratchFolderName), so
    // there the filesystem must first show that it can publish the copy.
    if (onFuse(io_, folder_.get())) {
        Scratch scratch;
        int error = openScratch(io_, folder_.get(), scratch);
        int probed = error == 0 ? probeNoReplace(io_, scratch) : 0;
        closeScratch(io_, scratch, nullptr);
        if (error != 0) {
            return fail(error, error == EEXIST ? scratchNotOurs : noScratch);
        }
        if (probed != 0) {
            return refusesFlags(probed) ? fail(probed, cannotMoveFolderSafely) : fail(probed);
        }
    }
    Temporary out;
    if (int error = createTemporary(io_, folder_.get(), true, out)) {
        return fail(error);
    }

    struct stat copy {};
    if (::fstat(out.fd.get(), &copy) != 0) {
        int error = errno;
        removeTree(io_, folder_.get(), out.name.c_str());
        return fail(error);
    }

    if (progress_.watched()) {
        progress_.expect(bytesInside(in.get()));
    }
    CopiedItem copied{source_, status, {}};
    TreeError copyError = copyTreeContents(io_, in.get(), out.fd.get(), copied.inside, progress_);
    int error = copyError.error;
    if (error == 0) {
        error = copyMetadata(io_, in.get(), out.fd.get(), status);
    }
    if (error == 0) {
        error = syncFd(io_, out.fd.get());
    }
    if (error == 0) {
        // The last moment to stop: once published, the move completes.
        error = progress_.stopped() ? ECANCELED : 0;
    }
    if (error == 0) {
        if (Outcome published = publish(io_, folder_.get(), out.name.c_str(), folder_.get(), name_.c_str(), true);
            published.error != 0) {
            removeTree(io_, folder_.get(), out.name.c_str());
            return refusesFlags(published.error) ? fail(published.error, cannotMoveFolderSafely) : fail(published);
        }
    }
    if (error != 0) {
        removeTree(io_, folder_.get(), out.name.c_str());
        if (!copyError.where.empty()) {
            return fail(error, "at \u201C" + oneLine(source_ + copyError.where) + "\u201D");
        }
        return fail(error);
    }
    if ((error = syncFd(io_, folder_.get())) != 0) {
        // The new name may not survive a crash; the original is still whole.
        return failTakingBack(error, copy);
    }

    // A folder cannot be taken back once part of the original is gone, so
    // if removing it stops half-way both are kept: nothing is lost. Only
    // what was copied goes: whatever was added or written to meanwhile
    // stays in the original.
    if (!sameItem(AT_FDCWD, source_.c_str(), status.st_dev, status.st_ino)) {
        return failBecause(originalGone, Cause::keptAtDestination);
    }
    Removal removal = removeCopied(io_, AT_FDCWD, source_.c_str(), copied);
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

} // namespace shoebox::moving
