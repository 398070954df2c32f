#include "platform/Mounts.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>

#include <fstream>
#include <sstream>

namespace shoebox {

namespace {

constexpr long fuseMagic = 0x65735546; // FUSE_SUPER_MAGIC, for fuse and fuseblk alike

} // namespace

// Hand-written: one field of one line of a file the kernel writes in a fixed
// format (proc(5)), looked up only for FUSE; not worth linking libmount.
std::string filesystemTypeOf(dev_t device, const char* mountinfo)
{
    std::ifstream in(mountinfo);
    const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::string line;
    while (std::getline(in, line)) {
        // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw": the
        // third field is the device, the first after " - " the type.
        std::istringstream fields(line);
        std::string id, parent, numbers;
        if (!(fields >> id >> parent >> numbers) || numbers != wanted)
            continue;
        const std::size_t separator = line.find(" - ");
        if (separator == std::string::npos)
            continue;
        std::istringstream rest(line.substr(separator + 3));
        std::string type;
        rest >> type;
        return type;
    }
    return {};
}

bool removingNamesIsUnsafe(const std::string& path)
{
    struct statfs filesystem {};
    if (::statfs(path.c_str(), &filesystem) != 0 || filesystem.f_type != fuseMagic)
        return false;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        return false;
    return filesystemTypeOf(status.st_dev) == "fuse.fusefat";
}

} // namespace shoebox
