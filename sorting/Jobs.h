#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace shoebox {

// Whether a job's results are still wanted. The UI thread calls a job off;
// the job looks between its steps and stops early, and whatever it still
// hands back is dropped.
class JobToken {
public:
    void cancel() { cancelled_ = true; }
    bool cancelled() const { return cancelled_; }

private:
    std::atomic<bool> cancelled_{false};
};

// Runs work off the UI thread and hands its results back on the UI thread,
// so that the controller keeps all its state on one thread. The window runs
// each job on a thread of its own (app/BackgroundJobs.h); the tests run them
// at once or hold their results back (tests/support/Doubles.h).
class JobRunner {
public:
    using Task = std::move_only_function<void()>;
    // Hands `task` to the UI thread, where it runs after the tasks handed
    // before it, unless the job has been cancelled by then.
    using Deliver = std::function<void(Task)>;
    using Work = std::move_only_function<void(const JobToken&, const Deliver&)>;

    virtual ~JobRunner() = default;
    // Starts `work` and returns at once. A runner that goes cancels the
    // jobs it still runs and waits for them.
    virtual void start(std::shared_ptr<JobToken> token, Work work) = 0;
};

} // namespace shoebox
