#include "tests/support/Environment.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TempDir.h"

namespace shoebox::testing {

const std::string& useScratchHome()
{
    static const TempDir home; // removed at exit, with everything the tests left in its Trash
    // setenv is safe here: tests call this first, before Qt, GLib or a test starts any thread.
    static const bool pointed = [] {
        // HOME too, not only XDG_DATA_HOME: GIO uses the home Trash only for files on the same filesystem as HOME.
        ::setenv("HOME", home.path().c_str(), 1);                      // NOLINT(concurrency-mt-unsafe)
        ::setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1); // NOLINT(concurrency-mt-unsafe)
        ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);    // NOLINT(concurrency-mt-unsafe)
        ::setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);      // NOLINT(concurrency-mt-unsafe)
        // Without it Qt warns on stderr at exit, which can land inside the test names CTest reads from a listing.
        ::setenv("XDG_RUNTIME_DIR", home.makeFolder("runtime").c_str(), 1); // NOLINT(concurrency-mt-unsafe)
        return ::chmod((home / "runtime").c_str(), 0700) == 0;
    }();
    (void)pointed;
    return home.path();
}

std::optional<std::string> folderOnAnotherFilesystem(const std::string& than)
{
    struct stat here = {}, there = {};
    if (::stat(than.c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 || here.st_dev == there.st_dev ||
        ::access("/dev/shm", W_OK) != 0)
        return std::nullopt;
    return std::string("/dev/shm");
}

} // namespace shoebox::testing
