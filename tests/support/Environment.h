#pragma once

#include <optional>
#include <string>

// The process environment the tests and the benchmark run in.
namespace shoebox::testing {

// Points HOME and the XDG data, config and cache folders into a scratch folder that lives as long as the process, so
// that nothing touches the user's own Trash or settings. GLib and Qt read these once, so call it before either does
// (first thing in main, or from a static initialiser). The data folder ($HOME/.local/share) does not exist until
// something makes it. Returns the scratch folder; later calls return the same one.
const std::string& useScratchHome();

// A folder on another filesystem than `than` where a test can make its own temporary folders (/dev/shm, a tmpfs,
// where /tmp is not), or nothing.
std::optional<std::string> folderOnAnotherFilesystem(const std::string& than = "/tmp");

} // namespace shoebox::testing

// Skips the current test when no second filesystem is at hand.
#define SKIP_WITHOUT_ANOTHER_FILESYSTEM(than)                                                                          \
    do {                                                                                                               \
        if (!::shoebox::testing::folderOnAnotherFilesystem(than))                                                      \
            GTEST_SKIP() << "needs a second filesystem (/dev/shm on another filesystem than " << (than) << ")";        \
    } while (false)
