#pragma once

#include <optional>
#include <string>

#include "platform/FileMoveIo.h"
#include "platform/Result.h"
#include "platform/TrashedItem.h"

namespace shoebox {

// Moves the item at `path` to the freedesktop.org Trash through GIO. Where
// no trash can be used, fails with GIO's reason; never deletes instead. On
// success, the item's place in the Trash and which item it is.
Result<TrashedItem> trashItem(const std::string& path);

// Puts `item`, which trashItem took from `originalPath`, back there with
// the never-replacing move, and removes its .trashinfo. The item is looked
// for by its identity and the original path its .trashinfo records: at its
// place, else anywhere in the Trash it can be in. Not in the Trash, it is
// `alreadyBack` when it stands at `originalPath` (put back by hand); a
// .trashinfo left at its place then goes, but only when its file is gone
// and it records `originalPath`. Otherwise refused, changing nothing, with
// a description that says where the item is: elsewhere in its old folder,
// "no longer in the Trash" (emptied), or "no longer there" when the item
// still sits in files/ but is off the Trash's list. The move makes its
// calls through `io`.
Result<Restored> restoreTrashedItem(const TrashedItem& item, const std::string& originalPath,
                                    const FileMoveIo& io = systemFileMoveIo());

} // namespace shoebox
