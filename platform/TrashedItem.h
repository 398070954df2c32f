#pragma once

#include <cstdint>
#include <optional>

#include "platform/FileURL.h"

namespace shoebox {

// Which item it is, whatever it is called: a rename keeps all three, so
// the item is known again in the Trash or back in its folder, and never
// taken for another that got its name meanwhile. The file system hands a
// freed inode number to the next new file at once, so the number alone
// would take a newcomer for an item deleted with the Trash; the time of
// its last change tells them apart.
struct ItemIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t modifiedNs = 0; // since the epoch
    friend bool operator==(const ItemIdentity&, const ItemIdentity&) = default;
};

// An item the Trash took: its place there (".../Trash/files/<name>"), or
// nothing when it could not be found there afterwards, and which item it is
// (nothing when it could not be looked at before it went).
struct TrashedItem {
    std::optional<FileURL> place;
    std::optional<ItemIdentity> identity;
};

// How an item came back from the Trash: put back, or found back at its old
// place already (someone put it back by hand).
enum class Restored { putBack, alreadyBack };

} // namespace shoebox
