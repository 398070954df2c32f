#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/TempDir.h"

struct fuse;

namespace shoebox::testing {

// A folder seen through a FUSE file system of the tests' own that passes what the window asks of a source folder
// (reading, listing, removing a file) through to it and waits a set delay before each operation, as a network share or
// a slow USB stick answers: whatever the window does on it that waits on the disk shows up as waiting. It runs in this
// process, on threads of its own, and is unmounted when it goes.
//
// Each operation the file system is asked for waits once: a lookup, a stat, an open, each read of up to 128 KiB, a
// removal. A folder's listing is one operation (its names are read whole on the first request, then handed
// to the kernel page by page), so a folder of a million names lists in the time of the pages' round trips plus one
// delay, not in ten thousand delays.
class SlowMount {
public:
    // Mounts `folder` at a new mount point with `delay` before every operation. When FUSE cannot be used here,
    // mounted() is false and whyNot() says why.
    SlowMount(const std::string& folder, std::chrono::microseconds delay);
    ~SlowMount();
    SlowMount(const SlowMount&) = delete;
    SlowMount& operator=(const SlowMount&) = delete;

    bool mounted() const { return fuse_ != nullptr; }
    const std::string& whyNot() const { return whyNot_; }
    // Where `folder` shows through the slow file system.
    const std::string& path() const { return mountPoint_; }

    // Operations served since the mount.
    std::uint64_t operations() const { return operations_; }

    // Called by each operation before it runs.
    void wait();
    const std::string& backing() const { return folder_; }

private:
    std::string folder_;
    TempDir where_; // holds the mount point
    std::string mountPoint_;
    std::string whyNot_;
    std::atomic<std::int64_t> delayUs_;
    std::atomic<std::uint64_t> operations_{0};
    ::fuse* fuse_ = nullptr;
    std::thread loop_;
};

// Gives this process a mount namespace of its own, so that a mount it makes goes away with it even when it is killed
// midway. Only a process with one thread can move all of itself: call it first thing in main (a SlowMount made while
// the process has one thread calls it itself). Does nothing where it is not allowed.
void useOwnMountNamespace();

} // namespace shoebox::testing

// Skips the current test when the slow file system could not be mounted.
#define SKIP_WITHOUT_SLOW_MOUNT(mount)                                                                                 \
    do {                                                                                                               \
        if (!(mount).mounted())                                                                                        \
            GTEST_SKIP() << "needs FUSE for the slow file system: " << (mount).whyNot();                               \
    } while (false)
