#pragma once

#include <string>

#include "Result.h"

namespace shoebox {

// Moves the item at `path` to the freedesktop.org Trash through GIO. Where
// no trash can be used, fails with GIO's reason; never deletes instead.
Result<> trashItem(const std::string& path);

} // namespace shoebox
