#pragma once

#include <optional>
#include <string>
#include <variant>

#include "platform/FileURL.h"

namespace shoebox {

// Folders given on the command line, to be chosen at start exactly as if
// picked in the folder panel.
struct StartFolders {
    std::optional<FileURL> source;
    std::optional<FileURL> destination;
};

// The program ends before any window opens: `text` goes to standard output
// when `status` is 0 (--help, --version), to standard error otherwise.
struct EarlyExit {
    int status = 0;
    std::string text;
};

// Reads `shoebox [OPTION]... [SOURCE [DESTINATION]]`. Folder paths are taken
// from the argument bytes as they are (they need not be UTF-8) and must name
// existing folders; any mistake ends with status 2 and a message.
std::variant<StartFolders, EarlyExit> parseCommandLine(int argc, const char* const* argv);

} // namespace shoebox
