#pragma once

#include <string>

#include "MoveObserver.h"
#include "Result.h"

namespace shoebox {

// Moves `source` to `destination` without ever replacing an existing item.
// Same filesystem: renameat2(RENAME_NOREPLACE), with fallbacks that cannot
// replace either. Across filesystems: a complete, synced copy is published
// under the final name, and only then is the source removed. On failure
// nothing new is left in the target folder and the source is unchanged.
// `observer` (optional) follows a copy across filesystems and can stop it.
Result<> moveItemNoReplace(const std::string& source, const std::string& destination, MoveObserver* observer = nullptr);

} // namespace shoebox
