#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace shoebox {

// The type of the mounted filesystem `device` (a stat's st_dev) is, as
// /proc/self/mountinfo names it ("ext4", "fuse.fusefat"), or empty when it
// is not found there. `mountinfo` is that file's path, for tests.
std::string filesystemTypeOf(dev_t device, const char* mountinfo = "/proc/self/mountinfo");

// Whether removing a name on the filesystem that holds `path` can destroy
// another file. Debian's FUSE FAT driver (fusefat) writes the directory
// entries of a removed name that run across the end of a folder's cluster
// into whichever cluster follows on disk, usually another file's; every
// name there takes two or more entries. A rename removes the old name the
// same way. Moves onto such a stick avoid removals altogether (see
// scratchFolderName in FileMoveSteps.h); moves off it, renames on it and
// the Trash cannot, so they are refused.
bool removingNamesIsUnsafe(const std::string& path);

// Why such a removal is refused, for the end of a description.
inline constexpr std::string_view unsafeRemovalReason =
    "the FUSE FAT driver (fusefat) can destroy another file when a name is removed from a folder on it; "
    "mount the stick with the kernel's vfat driver to sort it";

} // namespace shoebox
