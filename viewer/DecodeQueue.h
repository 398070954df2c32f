#pragma once

#include "viewer/ImageDecoder.h"

#include <QObject>
#include <QThreadPool>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace shoebox::imaging {

// How urgent a decode is; a higher number runs first. The file on show goes
// before the files likely shown next, and among those the likeliest first
// (neighbour minus its rank). Other kinds of work slot in between.
namespace priority {
inline constexpr int currentFile = 100;
inline constexpr int neighbour = 50;
} // namespace priority

// Decodes pictures on a few threads of its own, most urgent first, and
// hands each result to `deliver` on the thread that owns the queue (the UI
// thread). There is at most one live job per path: asking again for the
// same file at the same size only raises its priority, asking for another
// stamp or size replaces it. A job that is replaced, dropped or still
// running when the queue dies never delivers: a stale result is dropped,
// never shown. Queued jobs that nobody wants any more never start; a
// running one is told to stop at its next check.
//
// Waiting jobs are kept here, not in the thread pool, and each worker takes
// the most urgent one when it is free: changing a priority or dropping a
// job is an edit of that list, and nothing stale piles up behind the pool.
class DecodeQueue : public QObject {
public:
    using DecodeFn =
        std::function<DecodedPicture(const DecodeRequest&, const CancelCheck& cancelled, const PreviewSink& preview)>;
    using Picture = std::shared_ptr<const DecodedPicture>;
    // Called on the owner's thread with a result the queue still wants:
    // previews (isPreview) first where the decoder makes them, then the
    // final picture or problem. Never called with Problem::Cancelled.
    using Delivery = std::function<void(const std::string& path, Picture picture)>;

    DecodeQueue(int threads, Delivery deliver, DecodeFn decode = &decodePicture, QObject* parent = nullptr);
    // Cancels every job and waits only for the decodes already running.
    ~DecodeQueue() override;

    // `stamp` is what stat said of the file, or unknown (FileStamp{}) when
    // nobody looked: a job for an unknown stamp is the same work as one for
    // a known one, and the result carries the stamp of the file decoded.
    void request(const DecodeRequest& request, const FileStamp& stamp, int priority);
    // Drops every job whose path `keep` turns down.
    void retainOnly(const std::function<bool(const std::string& path)>& keep);
    // Jobs queued or running.
    int pending() const { return int(live_.size()); }

private:
    struct Job;
    void startWorkers();
    void work();
    // `last`: the decode's result, after any previews it sent.
    void finish(const std::shared_ptr<Job>& job, Picture picture, bool last);
    void cancel(Job& job);

    const DecodeFn decode_;
    const Delivery deliver_;
    const int threads_;
    QThreadPool pool_;
    std::map<std::string, std::shared_ptr<Job>> live_; // owner's thread only

    std::mutex mutex_; // guards what the workers share
    std::vector<std::shared_ptr<Job>> waiting_;
    int workers_ = 0;  // started and not yet ended
    int decoding_ = 0; // of those, the ones busy with a job
    std::uint64_t nextOrder_ = 0;
};

} // namespace shoebox::imaging
