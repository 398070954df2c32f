// The scratch folder: where the move makes its copies on a FUSE filesystem
// without O_TMPFILE, so that it never removes a name in the target folder
// (see scratchFolderName in FileMoveSteps.h).

#include <fcntl.h>
#include <stdio.h> // RENAME_NOREPLACE
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileMoveSteps.h"

namespace shoebox::moving {

namespace {

constexpr long fuseMagic = 0x65735546; // FUSE_SUPER_MAGIC, for fuse and fuseblk alike

// The root of the filesystem `dir` is on: up through ".." for as long as it
// stays on the same device. The bound only guards against a filesystem gone
// wrong.
UniqueFd openFilesystemRoot(int dir)
{
    UniqueFd current(::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int depth = 0; current && depth < 4096; ++depth) {
        struct stat here {};
        struct stat up {};
        UniqueFd parent(::openat(current.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!parent || ::fstat(current.get(), &here) != 0 || ::fstat(parent.get(), &up) != 0 ||
            up.st_dev != here.st_dev || up.st_ino == here.st_ino) {
            return current;
        }
        current = std::move(parent);
    }
    return current;
}

} // namespace

bool onFuse(const FileMoveIo& io, int dir)
{
    struct statfs status {};
    return io.fstatfs(dir, &status) == 0 && status.f_type == fuseMagic;
}

int openScratch(const FileMoveIo& io, int dir, Scratch& scratch)
{
    UniqueFd root = openFilesystemRoot(dir);
    if (!root) {
        return errno;
    }
    const std::string name(scratchFolderName);
    if (io.mkdirat(root.get(), name.c_str(), 0700) != 0 && errno != EEXIST) {
        return errno;
    }
    UniqueFd folder(io.openat(root.get(), name.c_str(), folderFlags, 0));
    if (!folder) {
        return errno;
    }
    // Only names of ours keep every name there two entries long; anything
    // else (put there by hand) could make a removal run across a cluster's
    // end.
    if (!removeStaleTemporaries(io, folder.get(), holderPrefix)) {
        return EEXIST;
    }
    if (int error = createTemporary(io, folder.get(), true, scratch.holder, holderPrefix)) {
        return error;
    }
    scratch.folder = std::move(folder);
    return 0;
}

void closeScratch(const FileMoveIo& io, Scratch& scratch, const char* inside)
{
    if (!scratch.holder.fd) {
        return;
    }
    if (inside != nullptr) {
        (void)io.unlinkat(scratch.holder.fd.get(), inside, 0);
    }
    (void)io.unlinkat(scratch.folder.get(), scratch.holder.name.c_str(), AT_REMOVEDIR);
    scratch.holder.fd.reset();
}

int probeNoReplace(const FileMoveIo& io, Scratch& scratch)
{
    // A name of the holder's own kind keeps the scratch folder's names two
    // entries long; the holder's lock goes with it.
    Temporary renamed;
    if (int error = createTemporary(io, scratch.folder.get(), false, renamed, holderPrefix)) {
        return error;
    }
    (void)io.unlinkat(scratch.folder.get(), renamed.name.c_str(), 0);
    if (io.renameat2(scratch.folder.get(), scratch.holder.name.c_str(), scratch.folder.get(), renamed.name.c_str(),
                     RENAME_NOREPLACE) != 0) {
        return errno;
    }
    scratch.holder.name = renamed.name;
    return 0;
}

Outcome judgeName(const FileMoveIo& io, int dir, const char* name)
{
    if (std::char_traits<char>::length(name) > longestNameInHolder) {
        return {ENAMETOOLONG, Error::Cause::nameNotAllowed};
    }
    Scratch scratch;
    if (int error = openScratch(io, dir, scratch)) {
        return {error};
    }
    UniqueFd probe(io.openat(scratch.holder.fd.get(), name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    Outcome judged = probe ? Outcome{} : creatingName(errno);
    probe.reset();
    closeScratch(io, scratch, name);
    return judged;
}

} // namespace shoebox::moving
