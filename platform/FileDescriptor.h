#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <utility>

namespace shoebox {

// Owns one open file descriptor and closes it once.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Hands the descriptor over; this no longer closes it.
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
// Owns one open folder listing (opendir, fdopendir) and closes it once.
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

// An open regular file with what fstat said of it right after opening.
struct RegularFile {
    UniqueFd fd;
    struct stat status {};
};

// Opens `path` for reading only if it is a regular file (symbolic links
// followed). A FIFO, device or socket named like a photo is refused with
// EINVAL before anything reads from it: O_NONBLOCK keeps open() itself from
// waiting for a FIFO's writer. Returns the errno value on failure.
int openRegularFile(const std::string& path, RegularFile& file);

} // namespace shoebox
