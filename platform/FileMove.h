#pragma once

#include <string>

#include "platform/FileMoveIo.h"
#include "platform/MoveObserver.h"
#include "platform/Result.h"

namespace shoebox {

// Moves `source` to `destination` without ever replacing an existing item.
// Same filesystem: renameat2(RENAME_NOREPLACE), one system call, with
// fallbacks that cannot replace either. Across filesystems: a complete,
// synced copy (contents, holes, owner, mode, extended attributes, times) is
// published under the final name, and only then is the source removed,
// if it is unchanged since it was copied. On failure nothing new is left in
// the target folder and the source is unchanged, or both are kept and the
// error's cause says so. `observer` (optional) follows a copy across
// filesystems and can stop it (cause `cancelled`, ECANCELED). Every call
// that changes the disk goes through `io`. Safe to run on any thread; each
// move is independent of any other.
Result<> moveItemNoReplace(const std::string& source, const std::string& destination, MoveObserver* observer = nullptr,
                           const FileMoveIo& io = systemFileMoveIo());

} // namespace shoebox
