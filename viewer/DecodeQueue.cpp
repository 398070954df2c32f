#include "viewer/DecodeQueue.h"

#include <algorithm>
#include <atomic>

namespace shoebox::imaging {

struct DecodeQueue::Job {
    DecodeRequest request;
    FileStamp stamp;             // what stat said when it was asked for
    int priority = 0;            // guarded by the queue's mutex
    std::uint64_t order = 0;     // first come, first served among equals
    std::atomic<bool> abandoned; // replaced or dropped: stop, deliver nothing
};

DecodeQueue::DecodeQueue(int threads, Delivery deliver, DecodeFn decode, QObject* parent)
    : QObject(parent), decode_(std::move(decode)), deliver_(std::move(deliver)), threads_(threads)
{
    // A pool of its own: decodes must not queue behind unrelated work in
    // the global pool, and they die with this queue.
    pool_.setMaxThreadCount(threads);
    pool_.setObjectName(QStringLiteral("ImageViewDecode"));
}

DecodeQueue::~DecodeQueue()
{
    {
        std::lock_guard lock(mutex_);
        waiting_.clear();
    }
    for (auto& [path, job] : live_)
        job->abandoned = true;
    live_.clear();
    // Results still being posted go to this object; waiting here means
    // none arrives after it is gone (QObject drops its posted events).
    pool_.waitForDone();
}

void DecodeQueue::request(const DecodeRequest& request, const FileStamp& stamp, int priority)
{
    if (auto it = live_.find(request.path); it != live_.end()) {
        Job& old = *it->second;
        const bool sameFile = old.stamp == stamp || old.stamp == FileStamp{} || stamp == FileStamp{};
        if (sameFile && old.request.target == request.target &&
            old.request.devicePixelRatio == request.devicePixelRatio) {
            // The same work: at most more urgent. A running job is left be.
            std::lock_guard lock(mutex_);
            old.priority = std::max(old.priority, priority);
            return;
        }
        cancel(old);
    }
    auto job = std::make_shared<Job>();
    job->request = request;
    job->stamp = stamp;
    job->priority = priority;
    job->abandoned = false;
    live_[request.path] = job;
    {
        std::lock_guard lock(mutex_);
        job->order = nextOrder_++;
        waiting_.push_back(job);
    }
    startWorkers();
}

void DecodeQueue::retainOnly(const std::function<bool(const std::string&)>& keep)
{
    for (auto it = live_.begin(); it != live_.end();) {
        if (keep(it->first)) {
            ++it;
            continue;
        }
        cancel(*it->second);
        it = live_.erase(it);
    }
}

void DecodeQueue::cancel(Job& job)
{
    job.abandoned = true;
    std::lock_guard lock(mutex_);
    std::erase_if(waiting_, [&](const auto& waiting) { return waiting.get() == &job; });
}

void DecodeQueue::startWorkers()
{
    std::lock_guard lock(mutex_);
    // A worker busy with a decode takes nothing waiting until it is done:
    // each waiting job needs a worker of its own that is not decoding.
    while (workers_ < threads_ && workers_ - decoding_ < int(waiting_.size())) {
        ++workers_;
        pool_.start([this] { work(); });
    }
}

// Runs on a pool thread: takes the most urgent waiting job until none is
// left. Touches nothing of the owner's but posting to it.
void DecodeQueue::work()
{
    for (bool decoded = false;; decoded = true) {
        std::shared_ptr<Job> job;
        {
            std::lock_guard lock(mutex_);
            if (decoded)
                --decoding_;
            const auto most = std::max_element(waiting_.begin(), waiting_.end(), [](const auto& a, const auto& b) {
                return a->priority != b->priority ? a->priority < b->priority : a->order > b->order;
            });
            if (most == waiting_.end()) {
                --workers_;
                return;
            }
            job = *most;
            waiting_.erase(most);
            ++decoding_;
        }
        auto post = [this, job](DecodedPicture picture, bool last) {
            auto shared = std::make_shared<const DecodedPicture>(std::move(picture));
            QMetaObject::invokeMethod(
                this, [this, job, shared, last] { finish(job, shared, last); }, Qt::QueuedConnection);
        };
        post(decode_(
                 job->request, [&job] { return job->abandoned.load(); },
                 [&post](DecodedPicture preview) { post(std::move(preview), false); }),
             true);
    }
}

void DecodeQueue::finish(const std::shared_ptr<Job>& job, Picture picture, bool last)
{
    const std::string path = job->request.path;
    if (last) {
        if (auto it = live_.find(path); it != live_.end() && it->second == job)
            live_.erase(it);
    }
    if (job->abandoned || picture->problem == Problem::Cancelled)
        return;
    deliver_(path, std::move(picture));
}

} // namespace shoebox::imaging
