#include "app/BackgroundJobs.h"

#include <QMetaObject>

namespace shoebox {

BackgroundJobs::~BackgroundJobs()
{
    for (Worker& worker : workers_)
        worker.token->cancel();
    for (Worker& worker : workers_)
        worker.thread.join();
}

void BackgroundJobs::start(std::shared_ptr<JobToken> token, Work work)
{
    reap();
    // Queued to this object: once it is gone, Qt drops what is still queued.
    // It outlives every worker (the destructor joins them), so posting is safe.
    Deliver deliver = [this, token](Task task) {
        auto shared = std::make_shared<Task>(std::move(task));
        QMetaObject::invokeMethod(
            this,
            [token, shared] {
                if (!token->cancelled())
                    (*shared)();
            },
            Qt::QueuedConnection);
    };
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([token, work = std::move(work), deliver = std::move(deliver), done]() mutable {
        work(*token, deliver);
        work = nullptr; // what it holds goes on this thread too
        *done = true;
    });
    workers_.push_back({std::move(token), std::move(done), std::move(thread)});
}

void BackgroundJobs::reap()
{
    std::erase_if(workers_, [](Worker& worker) {
        if (!*worker.done)
            return false;
        worker.thread.join();
        return true;
    });
}

} // namespace shoebox
