#pragma once

#include <optional>
#include <string>

#include "platform/FileMoveIo.h"
#include "platform/Result.h"

namespace shoebox {

// Moves the item at `path` to the freedesktop.org Trash through GIO. Where
// no trash can be used, fails with GIO's reason; never deletes instead. On
// success, the item's place in the Trash (".../Trash/files/<name>"), or
// nothing when it cannot be found there afterwards.
Result<std::optional<std::string>> trashItem(const std::string& path);

// Puts the item at `trashedPath`, a place that trashItem gave, back at
// `originalPath` with the never-replacing move, then removes its
// .trashinfo. Refused, changing nothing, when that .trashinfo is gone or
// records another original path. The move makes its calls through `io`.
Result<> restoreTrashedItem(const std::string& trashedPath, const std::string& originalPath,
                            const FileMoveIo& io = systemFileMoveIo());

} // namespace shoebox
