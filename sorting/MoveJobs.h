#pragma once

#include <functional>
#include <vector>

#include "platform/FileManager.h"
#include "platform/Result.h"

namespace shoebox {

// How the controller has a file moved: it asks, and carries on in `done`
// once the move has ended. A copy to another disk can take minutes, and the
// window must keep drawing meanwhile, so the move runs elsewhere; `done`
// still runs on the thread that asked, at once when the move was over
// straight away (a rename), else later from that thread's event loop. The
// window implements it with a worker thread (app/MoveJobRunner.h), the
// tests with a double that can hold a move (tests/support/Doubles.h).
class MoveJobs {
public:
    using Done = std::function<void(Result<>)>;

    virtual ~MoveJobs() = default;

    // Moves the items (a file, or a photo and the files that go with it)
    // with the never-replacing move, all or none
    // (FileManager::moveItemsAtPaths), and then calls `done` with its
    // result, exactly once, unless the jobs object is destroyed first: then
    // the move is cancelled and `done` never runs. One move at a time.
    virtual void move(std::vector<PathMove> items, Done done) = 0;
};

} // namespace shoebox
