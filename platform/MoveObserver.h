#pragma once

#include <cstdint>

namespace shoebox {

// Watches a move while it copies (across filesystems): how far it got, and
// whether the user wants it stopped. Both are called on the thread that runs
// the move, between steps of the copy; a move within one filesystem is a
// rename and calls neither.
class MoveObserver {
public:
    virtual ~MoveObserver() = default;
    // `done` of `total` bytes are copied (holes count as copied). `total`
    // is the size of the file, or of every file in the folder being moved
    // as counted before copying; it grows if a file does meanwhile.
    virtual void copied(std::uint64_t done, std::uint64_t total) = 0;
    // True stops the move: the source stays as it was, nothing new is left
    // in the target folder, and the move fails with ECANCELED (cause
    // `cancelled`). Asked after each step and once more just before the
    // copy is published; after that the move completes.
    virtual bool cancelled() = 0;
};

} // namespace shoebox
