#include "platform/StdOutput.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace shoebox {

void StdOutput::print(std::string_view line)
{
    // Anything that went through stdio first must come out first.
    std::fflush(stdout);

    // One write for the line and its break, so a reader never sees half a line
    // from us interleaved with another writer's.
    std::string buffer;
    buffer.reserve(line.size() + 1);
    buffer.append(line);
    buffer.push_back('\n');

    const char* data = buffer.data();
    std::size_t left = buffer.size();
    while (left > 0) {
        ssize_t written = ::write(STDOUT_FILENO, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            // Output is a courtesy: a closed or full stdout must not stop
            // the command that reports through it.
            return;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

} // namespace shoebox
