#include "viewer/MovieProbe.h"

#include <unistd.h>

#include <cerrno>

namespace shoebox::media {

namespace {

bool readAt(int fd, unsigned char* buffer, std::size_t length, std::int64_t offset)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, buffer + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::uint64_t bigEndian(const unsigned char* bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

} // namespace

bool movieLooksComplete(int fd, std::int64_t fileSize)
{
    // ISO base media (MP4) and QuickTime share the box layout: a 32-bit size
    // (1: a 64-bit size follows the type; 0: the box runs to the end of the
    // file) and a four-letter type. Old QuickTime files need not start with
    // 'ftyp', so any order of top-level boxes is accepted.
    constexpr int maximumBoxes = 100000; // a real file has a handful
    bool sawMovie = false;
    std::int64_t offset = 0;
    for (int boxes = 0; offset < fileSize && boxes < maximumBoxes; ++boxes) {
        unsigned char header[16];
        if (fileSize - offset < 8 || !readAt(fd, header, 8, offset))
            return false;
        for (int i = 4; i < 8; ++i) {
            if (header[i] < 0x20 || header[i] > 0x7E)
                return false; // not a box type: not this kind of file, or damaged
        }
        std::uint64_t size = bigEndian(header, 4);
        std::uint64_t headerSize = 8;
        if (size == 1) {
            if (fileSize - offset < 16 || !readAt(fd, header + 8, 8, offset + 8))
                return false;
            size = bigEndian(header + 8, 8);
            headerSize = 16;
        } else if (size == 0) {
            size = static_cast<std::uint64_t>(fileSize - offset);
        }
        if (size < headerSize || size > static_cast<std::uint64_t>(fileSize - offset))
            return false; // cut short: a truncated copy or download
        sawMovie |= header[4] == 'm' && header[5] == 'o' && header[6] == 'o' && header[7] == 'v';
        offset += static_cast<std::int64_t>(size);
    }
    return sawMovie && offset == fileSize;
}

} // namespace shoebox::media
