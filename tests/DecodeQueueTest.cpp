// The decode queue and the picture cache on their own, without a widget: a
// scripted decoder decides when each decode ends.

#include <gtest/gtest.h>

#include "DecodeCache.h"
#include "DecodeQueue.h"
#include "QtWait.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

namespace imaging = shoebox::imaging;
using shoebox::testing::waitUntil;

namespace {

// Each decode waits until the test releases it (or, where the decoder
// honours it, until it is cancelled), and records the order they start in.
struct ScriptedDecoder {
    std::atomic<bool> released{false}, honourCancel{false};
    std::atomic<int> finished{0}, cancelled{0};

    imaging::DecodedPicture operator()(const imaging::DecodeRequest& request, const imaging::CancelCheck& isCancelled,
                                       const imaging::PreviewSink&)
    {
        {
            std::lock_guard lock(mutex_);
            started_.push_back(request.path);
        }
        imaging::DecodedPicture picture;
        picture.target = request.target;
        // Bounded, so that a queue that never cancels fails instead of hanging.
        for (int i = 0; i < 5000 && !released; ++i) {
            if (honourCancel && isCancelled()) {
                picture.problem = imaging::Problem::Cancelled;
                ++cancelled;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1)); // a worker thread
        }
        ++finished;
        return picture;
    }
    std::vector<std::string> started()
    {
        std::lock_guard lock(mutex_);
        return started_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> started_;
};

struct DecodeQueueTest : ::testing::Test {
    ScriptedDecoder decoder;
    std::vector<std::pair<std::string, QSize>> delivered;
    std::unique_ptr<imaging::DecodeQueue> queue = std::make_unique<imaging::DecodeQueue>(
        1, [this](const std::string& path, auto picture) { delivered.emplace_back(path, picture->target); },
        [this](const auto& request, const auto& cancelled, const auto& preview) {
            return decoder(request, cancelled, preview);
        });

    void request(const std::string& path, int priority, QSize target = {100, 100})
    {
        queue->request({path, target, 1.0}, {}, priority);
    }
    // Holds the one worker on `path` until the test releases it.
    void occupyWorker(const std::string& path)
    {
        request(path, 0);
        ASSERT_TRUE(waitUntil([&] { return !decoder.started().empty(); }));
    }
};

TEST_F(DecodeQueueTest, RunsTheMostUrgentFirstOnceEachAndDeliversNothingReplacedOrDropped)
{
    occupyWorker("running");
    request("c", 3);
    request("a", 1);
    request("b", 5);
    request("a", 10); // the same work, now the most urgent
    request("b", 5);  // asked again: still one job
    request("queued", 20);
    request("resized", 1, {100, 100});
    request("resized", 1, {200, 200}); // replaces the queued one
    // The running decode ignores cancelling and finishes: its result must
    // still be dropped, as must the queued job's, which never starts.
    queue->retainOnly([](const std::string& path) { return path != "running" && path != "queued"; });
    decoder.released = true;
    ASSERT_TRUE(waitUntil([&] { return queue->pending() == 0; }));
    EXPECT_EQ(decoder.started(), (std::vector<std::string>{"running", "a", "b", "c", "resized"}));
    EXPECT_EQ(delivered, (std::vector<std::pair<std::string, QSize>>{
                             {"a", {100, 100}}, {"b", {100, 100}}, {"c", {100, 100}}, {"resized", {200, 200}}}));
}

TEST_F(DecodeQueueTest, DyingStartsNothingMoreAndWaitsForTheRunningDecode)
{
    decoder.honourCancel = true;
    occupyWorker("running");
    request("queued1", 1);
    request("queued2", 2);
    queue.reset();
    EXPECT_EQ(decoder.finished, 1);  // waited for
    EXPECT_EQ(decoder.cancelled, 1); // told to stop
    EXPECT_EQ(decoder.started(), std::vector<std::string>{"running"});
    QCoreApplication::processEvents(); // a result posted to the dead queue is gone
    EXPECT_TRUE(delivered.empty());
}

// ---- the picture cache ----

imaging::DecodeCache::Entry entry(qint64 cost, std::int64_t stampSize = 1)
{
    auto picture = std::make_shared<imaging::DecodedPicture>();
    picture->animation = QByteArray(cost - picture->cost(), 'x');
    picture->stamp.size = stampSize;
    return picture;
}

std::set<std::string> contents(const imaging::DecodeCache& cache, const std::vector<std::string>& paths)
{
    std::set<std::string> held;
    for (const auto& path : paths) {
        if (cache.peek(path, {1, 0, 0, 0}))
            held.insert(path);
    }
    return held;
}

TEST(DecodeCacheTest, EvictsTheLeastRecentlyUsedButKeepsTheNeighboursWithinTheBound)
{
    const std::vector<std::string> all{"a", "b", "c", "d", "e", "f"};
    imaging::DecodeCache cache(3000);
    for (const char* path : {"a", "b", "c"})
        cache.insert(path, entry(1000));
    ASSERT_TRUE(cache.find("a", {1, 0, 0, 0})); // used: b is now the oldest
    cache.insert("d", entry(1000));
    EXPECT_EQ(contents(cache, all), (std::set<std::string>{"a", "c", "d"}));

    cache.setPreferred({"c"}); // the oldest, but wanted next
    cache.insert("e", entry(1000));
    EXPECT_EQ(contents(cache, all), (std::set<std::string>{"c", "d", "e"}));
    EXPECT_EQ(cache.bytes(), 3000);

    cache.insert("f", entry(3001)); // larger than the whole bound: not kept
    cache.setLimit(2000);
    EXPECT_EQ(contents(cache, all), (std::set<std::string>{"c", "e"}));
    EXPECT_LE(cache.bytes(), cache.limit());
}

} // namespace
