#pragma once

#include <optional>
#include <string>
#include <variant>

#include "platform/FileURL.h"

namespace shoebox {

class Translations;

// Folders given on the command line, to be chosen at start exactly as if
// picked in the folder panel.
struct StartFolders {
    std::optional<FileURL> source;
    std::optional<FileURL> destination;
    // The file to show first, when a photo or video was given in place of
    // the source folder ("Open With"): `source` is its folder.
    std::optional<FileURL> firstFile;
};

// The program ends before any window opens: `text` goes to standard output
// when `status` is 0 (--help, --version), to standard error otherwise.
struct EarlyExit {
    int status = 0;
    std::string text;
};

// Reads `shoebox [OPTION]... [SOURCE [DESTINATION]]`, where SOURCE may also
// be a file of a type Shoebox shows (platform/MediaTypes.h). Paths are taken
// from the argument bytes as they are (they need not be UTF-8) and must name
// existing folders, or that file; any mistake ends with status 2 and a
// message. Help and messages are in the language of `translations`, or in
// English without.
std::variant<StartFolders, EarlyExit> parseCommandLine(int argc, const char* const* argv,
                                                       const Translations* translations = nullptr);

} // namespace shoebox
