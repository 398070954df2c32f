#include "platform/ProgramFolder.h"

#include <unistd.h>

#include "platform/FileURL.h"

namespace shoebox {

std::string programFolder()
{
    char buffer[4096];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || length == sizeof buffer)
        return {};
    return parentOf(std::string(buffer, static_cast<std::size_t>(length)));
}

} // namespace shoebox
