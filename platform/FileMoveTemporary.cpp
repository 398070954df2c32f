// Hidden names for a copy under way in the target folder.

#include <fcntl.h>
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

} // namespace shoebox::moving
