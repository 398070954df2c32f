#pragma once

#include <functional>
#include <string>

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

    // Moves `source` to `destination` with the never-replacing move
    // (FileManager::moveItemAtPath) and then calls `done` with its result,
    // exactly once, unless the jobs object is destroyed first: then the
    // move is cancelled and `done` never runs. One move at a time.
    virtual void move(std::string source, std::string destination, Done done) = 0;
};

} // namespace shoebox
