#include "platform/FileDescriptor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileURL.h"

namespace shoebox {

void UniqueFd::reset(int fd)
{
    if (fd_ >= 0)
        ::close(fd_); // EINTR still closes on Linux; never retry
    fd_ = fd;
}

int openRegularFile(const std::string& path, RegularFile& file)
{
    if (holdsNull(path))
        return EINVAL;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return errno;
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0)
        return errno;
    if (!S_ISREG(status.st_mode))
        return S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    // Reads should block as usual; O_NONBLOCK was only for the open.
    const int fileFlags = ::fcntl(fd.get(), F_GETFL);
    if (fileFlags < 0 || ::fcntl(fd.get(), F_SETFL, fileFlags & ~O_NONBLOCK) != 0)
        return errno;
    file.fd = std::move(fd);
    file.status = status;
    return 0;
}

} // namespace shoebox
