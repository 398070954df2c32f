// Hidden names for a copy under way in the target folder, and giving the
// finished copy its final name without replacing anything.

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h> // RENAME_NOREPLACE
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "platform/FileMoveSteps.h"

namespace shoebox::moving {

namespace {

constexpr int nameDigits = 10;
constexpr std::string_view digits = "0123456789abcdefghijklmnopqrstuvwxyz";

std::string temporaryName(std::string_view prefix)
{
    // Atomic: moves may run on several threads at once.
    static std::atomic<std::uint64_t> counter = 0;
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    std::uint64_t value = static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(now.tv_sec) << 30) ^
                          (static_cast<std::uint64_t>(::getpid()) << 40) ^ (++counter * 0x9E3779B97F4A7C15ULL);
    std::string name(prefix);
    for (int i = 0; i < nameDigits; ++i) {
        name += digits[value % digits.size()];
        value /= digits.size();
    }
    return name;
}

bool isTemporaryName(std::string_view name, std::string_view prefix)
{
    return name.size() == prefix.size() + nameDigits && name.starts_with(prefix) &&
           name.find_first_not_of(digits, prefix.size()) == std::string_view::npos;
}

// A temporary is locked for as long as its move runs (the kernel drops the
// lock when the process ends, however it ends), which tells a live copy
// from one a killed move left behind. True when this open file holds it, or
// when the filesystem has no locks at all (then nobody can take it either,
// and it is never cleared away: see removeStaleTemporaries).
bool lock(int fd)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return true;
    }
    return errno != EWOULDBLOCK && errno != EINTR;
}

} // namespace

bool removeStaleTemporaries(const FileMoveIo& io, int dir, std::string_view prefix)
{
    int error = 0;
    UniqueDir listing = listFolder(dir, error);
    if (!listing) {
        return false;
    }
    bool onlyOurs = true;
    while (struct dirent* entry = ::readdir(listing.get())) {
        const char* name = entry->d_name;
        if (!isTemporaryName(name, prefix)) {
            onlyOurs = onlyOurs && (std::string_view(name) == "." || std::string_view(name) == "..");
            continue;
        }
        // Only a file or folder of this user's that nobody holds: not a link
        // (O_NOFOLLOW), a pipe (O_NONBLOCK keeps the open from waiting), a
        // copy under way in another move, or another user's.
        UniqueFd fd(::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat status {};
        if (!fd || ::fstat(fd.get(), &status) != 0 || !(S_ISREG(status.st_mode) || S_ISDIR(status.st_mode)) ||
            status.st_uid != ::geteuid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 ||
            !sameItem(dir, name, status.st_dev, status.st_ino)) {
            continue;
        }
        (void)removeTree(io, dir, name);
    }
    return onlyOurs;
}

int createTemporary(const FileMoveIo& io, int dir, bool folder, Temporary& made, std::string_view prefix)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporaryName(prefix);
        UniqueFd fd;
        if (folder) {
            if (io.mkdirat(dir, name.c_str(), 0700) == 0) {
                fd = UniqueFd(io.openat(dir, name.c_str(), folderFlags, 0));
                if (!fd) {
                    int error = errno;
                    io.unlinkat(dir, name.c_str(), AT_REMOVEDIR);
                    return error;
                }
            }
        } else {
            fd = UniqueFd(io.openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        }
        if (!fd) {
            if (errno != EEXIST) {
                return errno;
            }
            continue;
        }
        // Another move clearing stale temporaries may have locked it in the
        // instant between creating and locking; it then removes it, and
        // this move takes another name.
        if (lock(fd.get())) {
            made = {std::move(fd), std::move(name)};
            return 0;
        }
    }
    return EEXIST;
}

bool cannotLink(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

Outcome creatingName(int error)
{
    return {error, error == EINVAL || error == EPERM ? Error::Cause::nameNotAllowed : Error::Cause::none};
}

Outcome publish(const FileMoveIo& io, int fromDir, const char* from, int toDir, const char* to, bool folder)
{
    if (io.renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) {
        return {};
    }
    int error = errno;
    if (!refusesFlags(error)) {
        return {error};
    }
    if (folder) {
        return {error}; // no safe way without RENAME_NOREPLACE (see FileMoveSteps.h)
    }
    // NFS, CIFS, ntfs-3g: link() fails rather than replace.
    if (io.linkat(fromDir, from, toDir, to, 0) == 0) {
        // The data lives on under the final name. Should the hidden name
        // stay, it is one more name for the same file, and a later move
        // into this folder drops it.
        (void)io.unlinkat(fromDir, from, 0);
        return {};
    }
    error = errno;
    if (!cannotLink(error)) {
        return {error};
    }
    return renameToFreeName(io, fromDir, from, toDir, to);
}

Outcome renameToFreeName(const FileMoveIo& io, int fromDir, const char* from, int toDir, const char* to)
{
    // A plain rename replaces whatever holds the name, so the name must be
    // free at the rename. Moves of ours into this folder, on any thread or
    // in any process, take turns from the check to the rename, so two of
    // them never both find the name free; another program creating the
    // name in between is a window no call without RENAME_NOREPLACE can
    // close (a few microseconds wide). Renaming over a placeholder of ours
    // instead would remove the placeholder's name, which fusefat can get
    // wrong (see scratchFolderName). A folder without locks still renames,
    // only without the turns.
    UniqueFd turn(::openat(toDir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    while (turn && ::flock(turn.get(), LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat taken {};
    if (::fstatat(toDir, to, &taken, AT_SYMLINK_NOFOLLOW) == 0) {
        return {EEXIST};
    }
    if (errno != ENOENT) {
        return {errno};
    }
    if (io.renameat2(fromDir, from, toDir, to, 0) != 0) {
        return {errno};
    }
    return {};
}

} // namespace shoebox::moving
