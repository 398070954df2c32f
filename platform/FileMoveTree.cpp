// Folder trees across filesystems: copying one whole, and removing one.

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileMoveSteps.h"

namespace shoebox::moving {

namespace {

bool isDotOrDotDot(std::string_view name)
{
    return name == "." || name == "..";
}

TreeError copyEntry(const FileMoveIo& io, int from, int to, const char* name, CopiedItem& item, Progress& progress,
                    const std::string& where)
{
    struct stat& status = item.status;
    if (::fstatat(from, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return {errno, where};
    }
    if (S_ISREG(status.st_mode)) {
        UniqueFd in(io.openat(from, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0));
        if (!in) {
            return {errno, where};
        }
        // What is copied is what the open file holds.
        if (::fstat(in.get(), &status) != 0) {
            return {errno, where};
        }
        UniqueFd out(io.openat(to, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!out) {
            return {errno, where};
        }
        if (int error = copyFile(io, in.get(), status, out.get(), progress)) {
            return {error, where};
        }
        return {};
    }
    if (S_ISDIR(status.st_mode)) {
        if (io.mkdirat(to, name, 0700) != 0) {
            return {errno, where};
        }
        UniqueFd in(io.openat(from, name, folderFlags, 0));
        UniqueFd out(io.openat(to, name, folderFlags, 0));
        if (!in || !out) {
            return {errno, where};
        }
        if (TreeError inner = copyTreeContents(io, in.get(), out.get(), item.inside, progress, where); inner.error) {
            return inner;
        }
        // Times last: creating the entries above touched the folder's mtime.
        int error = copyMetadata(io, in.get(), out.get(), status);
        if (error == 0) {
            error = syncFd(io, out.get());
        }
        return {error, error ? where : std::string()};
    }
    if (S_ISLNK(status.st_mode)) {
        if (int error = copySymlink(io, from, name, status, to, name)) {
            return {error, where};
        }
        return {};
    }
    // Devices, pipes and sockets have no place in a photo folder and cannot
    // be copied faithfully.
    return {EOPNOTSUPP, where};
}

} // namespace

UniqueDir listFolder(int dir, int& error)
{
    // A new open of the folder, not a dup(): that would share the read
    // position with `dir`.
    UniqueFd copy(::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!copy) {
        error = errno;
        return nullptr;
    }
    UniqueDir listing(::fdopendir(copy.get()));
    if (!listing) {
        error = errno;
        return nullptr;
    }
    copy.release(); // the listing owns it now
    return listing;
}

TreeError copyTreeContents(const FileMoveIo& io, int from, int to, std::vector<CopiedItem>& copied, Progress& progress,
                           const std::string& where)
{
    int error = 0;
    UniqueDir listing = listFolder(from, error);
    if (!listing) {
        return {error, where};
    }
    for (;;) {
        errno = 0;
        struct dirent* entry = ::readdir(listing.get());
        if (!entry) {
            return {errno, errno ? where : std::string()};
        }
        std::string_view name(entry->d_name);
        if (isDotOrDotDot(name)) {
            continue;
        }
        // Polled for each item too, so that a stop is heard among many
        // small files, which copy in no more than one step each.
        if (progress.stopped()) {
            return {ECANCELED, where};
        }
        CopiedItem& item = copied.emplace_back();
        item.name = name;
        if (TreeError failed = copyEntry(io, from, to, entry->d_name, item, progress, where + "/" + item.name);
            failed.error) {
            return failed;
        }
    }
}

int removeTree(const FileMoveIo& io, int dir, const char* name)
{
    struct stat status {};
    if (::fstatat(dir, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    if (!S_ISDIR(status.st_mode)) {
        return io.unlinkat(dir, name, 0) == 0 ? 0 : errno;
    }
    UniqueFd fd(::openat(dir, name, folderFlags));
    if (!fd) {
        return errno;
    }
    int error = 0;
    UniqueDir listing = listFolder(fd.get(), error);
    if (!listing) {
        return error;
    }
    while (struct dirent* entry = ::readdir(listing.get())) {
        if (isDotOrDotDot(entry->d_name)) {
            continue;
        }
        if ((error = removeTree(io, fd.get(), entry->d_name)) != 0) {
            return error;
        }
    }
    listing.reset();
    return io.unlinkat(dir, name, AT_REMOVEDIR) == 0 ? 0 : errno;
}

std::uint64_t bytesInside(int dir)
{
    int error = 0;
    UniqueDir listing = listFolder(dir, error);
    std::uint64_t total = 0;
    while (struct dirent* entry = listing ? ::readdir(listing.get()) : nullptr) {
        struct stat status {};
        if (isDotOrDotDot(entry->d_name) || ::fstatat(dir, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISREG(status.st_mode)) {
            total += static_cast<std::uint64_t>(status.st_size);
        } else if (S_ISDIR(status.st_mode)) {
            UniqueFd inner(::openat(dir, entry->d_name, folderFlags));
            total += inner ? bytesInside(inner.get()) : 0;
        }
    }
    return total;
}

bool liesWithin(int dir, dev_t device, ino_t inode)
{
    UniqueFd current(::openat(dir, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    // Up through "..", which crosses mount points, to the root, whose ".."
    // is itself. The bound only guards against a filesystem gone wrong.
    for (int depth = 0; current && depth < 4096; ++depth) {
        struct stat here {
        }, up{};
        if (::fstat(current.get(), &here) != 0) {
            return false;
        }
        if (here.st_dev == device && here.st_ino == inode) {
            return true;
        }
        UniqueFd parent(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!parent || ::fstat(parent.get(), &up) != 0 || (up.st_dev == here.st_dev && up.st_ino == here.st_ino)) {
            return false;
        }
        current = std::move(parent);
    }
    return false;
}

Removal removeCopied(const FileMoveIo& io, int dir, const char* name, const CopiedItem& item)
{
    struct stat now {};
    if (::fstatat(dir, name, &now, AT_SYMLINK_NOFOLLOW) != 0) {
        // Gone already: someone else removed it, and the copy has it.
        return errno == ENOENT ? Removal{} : Removal{errno, false};
    }
    if (!S_ISDIR(item.status.st_mode)) {
        if (!sameState(now, item.status)) {
            return {0, true};
        }
        return io.unlinkat(dir, name, 0) == 0 ? Removal{} : Removal{errno, false};
    }
    // A folder's own times change as its entries go; only its identity counts.
    if (now.st_dev != item.status.st_dev || now.st_ino != item.status.st_ino) {
        return {0, true};
    }
    UniqueFd fd(::openat(dir, name, folderFlags));
    if (!fd) {
        return {errno, false};
    }
    // Everything that can go goes, past a failure: each item removed has
    // its copy at the destination.
    Removal result;
    for (const CopiedItem& inner : item.inside) {
        Removal removed = removeCopied(io, fd.get(), inner.name.c_str(), inner);
        result.keptSome = result.keptSome || removed.keptSome;
        if (result.error == 0) {
            result.error = removed.error;
        }
    }
    fd.reset();
    if (io.unlinkat(dir, name, AT_REMOVEDIR) != 0) {
        if (errno == ENOTEMPTY || errno == EEXIST) {
            // Something kept inside, or added since the copy listed it.
            result.keptSome = true;
        } else if (result.error == 0) {
            result.error = errno;
        }
    }
    return result;
}

} // namespace shoebox::moving
