#pragma once

#include "platform/Output.h"

namespace shoebox {

// Standard output, flushed after every line so a pipe sees each at once.
class StdOutput final : public Output {
public:
    void print(std::string_view line) override;
};

} // namespace shoebox
