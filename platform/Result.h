#pragma once

#include <expected>
#include <string>

namespace shoebox {

// A failed platform operation. `description` is one line meant for people:
// what failed, on which name, and the system's reason.
struct Error {
    std::string description;
};

// Errors are values: a caller cannot mistake a failure for success.
template <typename T = void>
using Result = std::expected<T, Error>;

inline std::unexpected<Error> failure(std::string description)
{
    return std::unexpected<Error>(Error{std::move(description)});
}

} // namespace shoebox
