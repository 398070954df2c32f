// Hidden names for a copy under way in the target folder, and giving the
// finished copy its final name without replacing anything.

#include <fcntl.h>
#include <stdio.h> // RENAME_NOREPLACE
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "FileMoveSteps.h"

namespace shoebox::moving {

namespace {

std::string temporaryName()
{
    // Atomic: moves may run on several threads at once.
    static std::atomic<std::uint64_t> counter = 0;
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

} // namespace

int createTemporary(int dir, bool folder, Temporary& made)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = temporaryName();
        int error = 0;
        if (folder) {
            if (io().mkdirat(dir, name.c_str(), 0700) == 0) {
                UniqueFd fd(io().openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
                if (!fd) {
                    error = errno;
                    io().unlinkat(dir, name.c_str(), AT_REMOVEDIR);
                    return error;
                }
                made = {std::move(fd), std::move(name)};
                return 0;
            }
        } else {
            UniqueFd fd(io().openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (fd) {
                made = {std::move(fd), std::move(name)};
                return 0;
            }
        }
        if (errno != EEXIST) {
            return errno;
        }
    }
    return EEXIST;
}

bool cannotLink(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

Outcome publish(int dir, const Temporary& temporary, const char* name, bool folder)
{
    const char* from = temporary.name.c_str();
    if (io().renameat2(dir, from, dir, name, RENAME_NOREPLACE) == 0) {
        return {};
    }
    int error = errno;
    if (!refusesFlags(error)) {
        return {error};
    }
    if (folder) {
        return {error}; // see moveFolderSafely
    }
    // NFS, CIFS, ntfs-3g: link() fails rather than replace.
    if (io().linkat(dir, from, dir, name, 0) == 0) {
        // The data lives on under the final name. Should the hidden name
        // stay, it is one more name for the same file, and a later move
        // into this folder drops it.
        (void)io().unlinkat(dir, from, 0);
        return {};
    }
    error = errno;
    if (!cannotLink(error)) {
        return {error};
    }
    return renameOverPlaceholder(dir, from, dir, name);
}

Outcome renameOverPlaceholder(int fromDir, const char* from, int toDir, const char* to)
{
    // Creating the name first also has the filesystem judge it before any
    // rename does: fusefat drops a file it is asked to rename to a name it
    // refuses (":" or "?" on FAT).
    UniqueFd placeholder(io().openat(toDir, to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!placeholder) {
        int error = errno;
        // The folder takes new files (the copy is in it, or the caller's
        // link attempt got that far), so a refusal is about the name.
        if (error == EINVAL || error == EPERM) {
            return {error, Error::Cause::nameNotAllowed};
        }
        return {error};
    }
    struct stat ours {};
    if (::fstat(placeholder.get(), &ours) != 0) {
        int error = errno;
        (void)io().unlinkat(toDir, to, 0);
        return {error};
    }
    placeholder.reset();
    // A plain rename replaces whatever holds the name, so the name must
    // still hold our empty placeholder. (Another program swapping in a file
    // between this check and the rename is a window no call without
    // RENAME_NOREPLACE can close; it is a few microseconds wide.)
    if (!sameItem(toDir, to, ours.st_dev, ours.st_ino)) {
        return {EEXIST};
    }
    if (io().renameat2(fromDir, from, toDir, to, 0) != 0) {
        int error = errno;
        if (sameItem(toDir, to, ours.st_dev, ours.st_ino)) {
            (void)io().unlinkat(toDir, to, 0);
        }
        return {error};
    }
    return {};
}

} // namespace shoebox::moving
