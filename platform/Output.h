#pragma once

#include <string_view>

namespace shoebox {

// Where the commands print their lines (standard output in the app).
class Output {
public:
    virtual ~Output() = default;
    // Writes `line` and a line break, and makes it visible at once.
    virtual void print(std::string_view line) = 0;
};

} // namespace shoebox
