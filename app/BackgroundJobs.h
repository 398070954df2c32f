#pragma once

#include <QObject>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "sorting/Jobs.h"

namespace shoebox {

// The window's job runner: each job runs on a thread of its own (a listing
// mostly waits on the disk, so it takes no core from the decodes), and what
// it hands back is queued to this object's thread, the UI thread. Going
// away cancels every job still running and waits for it; what they hand
// back meanwhile is never run.
class BackgroundJobs final : public QObject, public JobRunner {
public:
    explicit BackgroundJobs(QObject* parent = nullptr) : QObject(parent) {}
    ~BackgroundJobs() override;

    void start(std::shared_ptr<JobToken> token, Work work) override;

private:
    struct Worker {
        std::shared_ptr<JobToken> token;
        std::shared_ptr<std::atomic<bool>> done;
        std::thread thread;
    };
    // Joins the threads whose work is over.
    void reap();

    std::vector<Worker> workers_;
};

} // namespace shoebox
