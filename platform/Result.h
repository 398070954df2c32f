#pragma once

#include <string.h>

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <utility>

namespace shoebox {

// A failed platform operation. `description` is one line meant for people:
// what failed, on which name, and the system's reason. `code` and `cause`
// are for programs (and tests), which should not parse the sentence.
struct Error {
    // What became of the items, where the errno value alone does not say.
    enum class Cause : unsigned char {
        none,              // nothing was changed; `code` tells why
        changedDuringMove, // the source changed while it was copied: it stays as it is, the copy was dropped
        bothCopiesKept,    // a complete copy stands at the destination and (part of) the original stays too
        keptAtDestination, // the original vanished or was replaced meanwhile; the copy stands at the destination
        cancelled,         // stopped on request (`code` ECANCELED); nothing was changed
        nameNotAllowed,    // the target filesystem does not accept the name; nothing was changed
        unsafeFilesystem,  // refused: the filesystem could damage other files doing it; nothing was changed
    };

    std::string description;
    int code = 0; // the errno value behind the failure; 0 when no system call failed
    Cause cause = Cause::none;
};

// Errors are values: a caller cannot mistake a failure for success.
template <typename T = void>
using Result = std::expected<T, Error>;

// Descriptions end up in one line of output; a path copied into one should
// not make it tens of kilobytes long. Longer ones lose their middle (the
// start says what failed, the end says why), cut between UTF-8 sequences.
inline constexpr std::size_t maxDescriptionLength = 2000;

inline std::string limitedDescription(std::string text)
{
    if (text.size() <= maxDescriptionLength)
        return text;
    static constexpr std::string_view ellipsis = "\u2026";
    auto isContinuation = [&](std::size_t i) { return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; };
    std::size_t headEnd = (maxDescriptionLength - ellipsis.size()) / 2;
    while (headEnd > 0 && isContinuation(headEnd))
        --headEnd;
    std::size_t tailStart = text.size() - (maxDescriptionLength - ellipsis.size() - headEnd);
    while (tailStart < text.size() && isContinuation(tailStart))
        ++tailStart;
    return text.substr(0, headEnd) + std::string(ellipsis) + text.substr(tailStart);
}

// The system's text for an errno value ("No such file or directory"), for
// the end of a description: always glibc's English one. Descriptions end up
// in the printed lines, which scripts read, while strerror (and
// std::error_code) speak the language of LC_MESSAGES once Qt has set the
// locale.
inline std::string systemReason(int error)
{
    if (const char* text = ::strerrordesc_np(error))
        return text;
    return "Unknown error " + std::to_string(error);
}

inline std::unexpected<Error> failure(std::string description, int code = 0, Error::Cause cause = Error::Cause::none)
{
    return std::unexpected<Error>(Error{limitedDescription(std::move(description)), code, cause});
}

} // namespace shoebox
