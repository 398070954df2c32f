#pragma once

#include <string>

namespace shoebox {

// The folder of the running program's executable, as raw path bytes, read
// from /proc so that it works on any thread and before or without an
// application object; empty when it cannot be read. The modules and the
// translations lie at fixed paths relative to it (see CMakeLists.txt).
std::string programFolder();

} // namespace shoebox
