// The decode queue and the picture cache on their own: a scripted decoder, and cache entries that are only sizes.

#include <gtest/gtest.h>

#include "tests/support/QtWait.h"
#include "viewer/DecodeCache.h"
#include "viewer/DecodeQueue.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace imaging = shoebox::imaging;
using shoebox::testing::waitUntil;

namespace {

// One worker; a decode runs until released or cancelled (5 s at most: a fault fails, not hangs) and returns a picture.
struct DecodeQueueTest : ::testing::Test {
    std::atomic<bool> released{false};
    std::atomic<int> running{0}, cancelled{0};
    std::vector<std::string> started;                   // read once the queue is idle or gone
    std::vector<std::pair<std::string, int>> delivered; // path, width
    std::unique_ptr<imaging::DecodeQueue> queue = std::make_unique<imaging::DecodeQueue>(
        1, [this](const std::string& path, auto picture) { delivered.emplace_back(path, picture->target.width()); },
        [this](const imaging::DecodeRequest& request, const imaging::CancelCheck& isCancelled, const auto&) {
            started.push_back(request.path);
            ++running;
            for (int ms = 0; ms < 5000 && !released && !isCancelled(); ++ms)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            cancelled += isCancelled() ? 1 : 0;
            imaging::DecodedPicture picture;
            picture.target = request.target;
            return picture;
        });

    void request(const std::string& path, int priority, QSize target = {100, 100})
    {
        queue->request({path, target, 1.0}, {}, priority);
    }
};

// Guards the wrong job first, one run twice, a new size ignored, or a dropped or replaced job's picture delivered.
TEST_F(DecodeQueueTest, RunsTheMostUrgentFirstOnceEachAndDeliversNothingReplacedOrDropped)
{
    request("running", 0);
    ASSERT_TRUE(waitUntil([&] { return running > 0; }));
    request("c", 3);
    request("a", 1);
    request("b", 5);
    request("a", 10);
    request("b", 5);
    request("queued", 20);
    request("resized", 1, {100, 100});
    request("resized", 1, {200, 200});
    queue->retainOnly([](const std::string& path) { return path != "running" && path != "queued"; });
    released = true;
    ASSERT_TRUE(waitUntil([&] { return queue->pending() == 0; }));
    EXPECT_EQ(started, (std::vector<std::string>{"running", "a", "b", "c", "resized"}));
    EXPECT_EQ(delivered,
              (std::vector<std::pair<std::string, int>>{{"a", 100}, {"b", 100}, {"c", 100}, {"resized", 200}}));
}

// Guards a dying queue leaving its decode running or starting the queued ones.
TEST_F(DecodeQueueTest, DyingStopsTheRunningDecodeAndStartsNothingMore)
{
    request("running", 0);
    ASSERT_TRUE(waitUntil([&] { return running > 0; }));
    request("queued1", 1);
    request("queued2", 2);
    queue.reset();
    EXPECT_EQ(cancelled, 1);
    EXPECT_EQ(started, std::vector<std::string>{"running"});
}

// Guards evicting the recently used or the files wanted next first, or keeping an entry larger than the bound.
TEST(DecodeCacheTest, EvictsTheLeastRecentlyUsedButKeepsTheNeighboursWithinTheBound)
{
    imaging::DecodeCache cache(3000);
    const auto insert = [&](const char* path, qint64 cost) {
        auto picture = std::make_shared<imaging::DecodedPicture>();
        picture->animation = QByteArray(cost - picture->cost(), 'x');
        cache.insert(path, picture);
    };
    const auto held = [&] {
        std::string paths;
        for (const char* path : {"a", "b", "c", "d", "e", "f"})
            paths += cache.peek(path, {}) ? path : "";
        return paths;
    };
    for (const char* path : {"a", "b", "c"})
        insert(path, 1000);
    ASSERT_TRUE(cache.find("a", {})); // used: b is now the oldest
    insert("d", 1000);
    EXPECT_EQ(held(), "acd");
    cache.setPreferred({"c"}); // the oldest, but wanted next
    insert("e", 1000);
    EXPECT_EQ(held(), "cde");
    EXPECT_EQ(cache.bytes(), 3000);
    insert("f", 3001);
    cache.setLimit(2000);
    EXPECT_EQ(held(), "ce");
}

} // namespace
