#include "Environment.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace shoebox::testing {

namespace {

// Removed at exit, with everything the tests left in the scratch Trash.
struct ScratchFolder {
    std::string path;
    ScratchFolder()
    {
        std::string pattern = "/tmp/shoebox-home-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed under /tmp");
        path = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

const std::string& useScratchHome()
{
    static const ScratchFolder home = [] {
        ScratchFolder folder;
        // HOME too, not only XDG_DATA_HOME: GIO uses the home Trash only for
        // files on the same filesystem as HOME.
        ::setenv("HOME", folder.path.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (folder.path + "/.local/share").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (folder.path + "/.config").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (folder.path + "/.cache").c_str(), 1);
        // Without it Qt warns on stderr at exit, which can land inside the
        // test names CTest reads from a listing.
        const std::string runtime = folder.path + "/runtime";
        ::mkdir(runtime.c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        return folder;
    }();
    return home.path;
}

std::optional<std::string> folderOnAnotherFilesystem(const std::string& than)
{
    struct stat here {
    }, there{};
    if (::stat(than.c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 || here.st_dev == there.st_dev ||
        ::access("/dev/shm", W_OK) != 0)
        return std::nullopt;
    return std::string("/dev/shm");
}

} // namespace shoebox::testing
