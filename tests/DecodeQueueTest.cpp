// The decode queue, the picture cache and the view's decode policy (held keys, slow disks) on their own: a scripted
// decoder, and cache entries that are only sizes.

#include <gtest/gtest.h>

#include "tests/support/Pictures.h"
#include "tests/support/QtWait.h"
#include "tests/support/SlowMount.h"
#include "tests/support/TempDir.h"
#include "viewer/DecodeCache.h"
#include "viewer/DecodeQueue.h"
#include "viewer/ImageViewWidget.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

namespace imaging = shoebox::imaging;
using imaging::Problem;
using shoebox::FileURL;
using shoebox::ImageViewWidget;
using shoebox::testing::centreIs;
using shoebox::testing::solid;
using shoebox::testing::waitUntil;

namespace {

// Waits while `held` is set, unless cancelled meanwhile (5 s at most: a fault fails, not hangs); true when cancelled.
bool holdWhile(const std::atomic<bool>& held, const imaging::CancelCheck& cancelled)
{
    for (int ms = 0; ms < 5000 && held && !cancelled(); ++ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return cancelled();
}

// One worker unless a test asks for more; a decode, but for "quick", holds until released or cancelled, and returns a
// picture.
struct DecodeQueueTest : ::testing::Test {
    std::atomic<bool> held{true};
    std::atomic<int> running{0}, cancelled{0};
    std::vector<std::string> started;                   // read once the queue is idle or gone
    std::vector<std::pair<std::string, int>> delivered; // path, width
    std::unique_ptr<imaging::DecodeQueue> queue = queueOf(1);

    std::unique_ptr<imaging::DecodeQueue> queueOf(int threads)
    {
        return std::make_unique<imaging::DecodeQueue>(
            threads,
            [this](const std::string& path, auto picture) { delivered.emplace_back(path, picture->target.width()); },
            [this](const imaging::DecodeRequest& request, const imaging::CancelCheck& isCancelled, const auto&) {
                started.push_back(request.path);
                ++running;
                cancelled += request.path != "quick" && holdWhile(held, isCancelled) ? 1 : 0;
                imaging::DecodedPicture picture;
                picture.target = request.target;
                return picture;
            });
    }
    void request(const std::string& path, int priority, QSize target = {100, 100})
    {
        queue->request({path, target, 1.0}, {}, priority);
    }
};

// Guards the wrong job first (among equals too), one run twice, a new size ignored, or a dropped or replaced job's
// picture delivered.
TEST_F(DecodeQueueTest, RunsTheMostUrgentFirstOnceEachAndDeliversNothingReplacedOrDropped)
{
    request("running", 0);
    ASSERT_TRUE(waitUntil([&] { return running > 0; }));
    request("c", 3);
    request("e", 3); // after c, as it came after it
    request("a", 1);
    request("b", 5);
    request("a", 10);
    request("b", 5);
    request("queued", 20);
    request("resized", 1, {100, 100});
    request("resized", 1, {200, 200});
    queue->retainOnly([](const std::string& path) { return path != "running" && path != "queued"; });
    held = false;
    ASSERT_TRUE(waitUntil([&] { return queue->pending() == 0; }));
    EXPECT_EQ(started, (std::vector<std::string>{"running", "a", "b", "c", "e", "resized"}));
    EXPECT_EQ(delivered, (std::vector<std::pair<std::string, int>>{
                             {"a", 100}, {"b", 100}, {"c", 100}, {"e", 100}, {"resized", 200}}));
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

// Guards a queue of two threads leaving its second idle while the first is busy: a job asked for during a long
// decode must not wait for it.
TEST_F(DecodeQueueTest, AJobAskedForDuringALongDecodeRunsBesideIt)
{
    queue = queueOf(2);
    request("slow", 5);
    ASSERT_TRUE(waitUntil([&] { return running > 0; }));
    request("quick", 1);
    EXPECT_TRUE(waitUntil([&] { return !delivered.empty(); }, 2000)) << "the second thread never started";
    EXPECT_EQ(delivered, (std::vector<std::pair<std::string, int>>{{"quick", 100}}));
    held = false;
    EXPECT_TRUE(waitUntil([&] { return delivered.size() == 2; }));
}

// The image view on scripted decoders: a picture of one colour, stamped as the file is on disk unless the decode says
// otherwise; no previews.
struct ScriptedViewTest : ::testing::Test {
    using Decode = std::function<QColor(const std::string& path, const imaging::CancelCheck&, imaging::FileStamp&)>;
    static std::unique_ptr<shoebox::ImageViewWidget> viewOn(const Decode& decode)
    {
        auto picture = [decode](const imaging::DecodeRequest& request, const auto& cancelled, const auto&) {
            imaging::DecodedPicture decoded;
            decoded.target = request.target;
            imaging::statPath(request.path, &decoded.stamp);
            decoded.image = QImage(8, 8, QImage::Format_RGB32);
            decoded.image.fill(decode(request.path, cancelled, decoded.stamp));
            return decoded;
        };
        return std::make_unique<shoebox::ImageViewWidget>(
            nullptr, shoebox::ViewDecoders{picture, [](auto&&...) { return imaging::DecodedPicture{}; }});
    }
    shoebox::FileURL url(const std::string& name) { return shoebox::FileURL::fileURLWithPath(dir.write(name)); }
    static QColor shown(const shoebox::ImageViewWidget& view)
    {
        return view.currentImage().isNull() ? QColor() : view.currentImage().pixelColor(0, 0);
    }

    shoebox::testing::TempDir dir;
};

// Guards a picture decoded from a version of the file that is gone by now shown without a look at the file again.
TEST_F(ScriptedViewTest, APictureOfAReplacedFileIsDecodedAgain)
{
    std::atomic<int> decodes{0};
    auto view = viewOn([&](const std::string&, const auto&, imaging::FileStamp& stamp) {
        if (++decodes > 1)
            return Qt::blue;
        stamp.size += 1; // read from a version replaced after setImage looked, and again since
        return Qt::red;
    });
    view->setImage(url("a.jpg"));
    EXPECT_TRUE(waitUntil([&] { return shown(*view) == Qt::blue; })) << shown(*view).name().toStdString();
    EXPECT_EQ(decodes, 2);
}

// Guards a neighbour's decode kept while a key is held, so that the file on show waits behind it.
TEST_F(ScriptedViewTest, AHeldKeyStopsTheNeighboursDecode)
{
    std::atomic<bool> neighbour{false}, stopped{false}, always{true};
    auto view = viewOn([&](const std::string& path, const auto& cancelled, auto&) {
        if (!path.ends_with("/1.jpg"))
            return Qt::green;
        neighbour = true;
        stopped = holdWhile(always, cancelled);
        return Qt::red;
    });
    view->setImage(url("0.jpg"));
    view->setNeighbours({url("1.jpg")});
    ASSERT_TRUE(waitUntil([&] { return neighbour.load(); })); // once 0.jpg is on show
    view->setImage(url("3.jpg"));                             // steps faster than a decode
    view->setImage(url("4.jpg"));
    EXPECT_TRUE(waitUntil([&] { return stopped.load() && shown(*view) == Qt::green; }))
        << shown(*view).name().toStdString();
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

// Guards the neighbours looked at on the UI thread: on a slow disk each look holds the window up for the disk's delay.
TEST(SlowDiskViewTest, NothingOfTheNeighboursIsReadOnTheUIThread)
{
    shoebox::testing::TempDir dir;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"})
        dir.write(name);
    shoebox::testing::SlowMount slow(dir.path(), std::chrono::milliseconds(5));
    SKIP_WITHOUT_SLOW_MOUNT(slow);
    // Decodes that wait for the test before they touch the file, so that only the UI thread reads meanwhile.
    std::atomic<bool> go = false;
    std::atomic<int> decodes = 0;
    const auto decode = [&](const imaging::DecodeRequest& request, const imaging::CancelCheck&,
                            const imaging::PreviewSink&) {
        while (!go)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++decodes;
        imaging::DecodedPicture picture;
        picture.problem =
            imaging::statPath(request.path, &picture.stamp) == Problem::None ? Problem::Damaged : Problem::Missing;
        return picture;
    };
    ImageViewWidget view(nullptr, {decode, decode});
    const auto at = [&](const char* name) { return FileURL::fileURLWithPath(slow.path() + "/" + name); };
    view.setImage(at("a.jpg"));
    const auto before = slow.operations();
    view.setNeighbours({at("b.jpg"), at("c.jpg"), at("d.jpg")});
    EXPECT_EQ(slow.operations(), before);
    go = true;
    EXPECT_TRUE(waitUntil([&] { return view.pendingDecodes() == 0; }));
    EXPECT_GE(decodes, 2 + 3) << "the file on show and its preview, and at least the neighbours' previews";
}

// Guards a held key decoding sharp the photos it passes, showing nothing on photos without an embedded preview, or
// decoding stand-ins anywhere but ahead in the direction of travel; and the sharp picture not following once it stops.
TEST(HeldKeyPolicyTest, PhotosWithoutAPreviewShowStandInsDecodedAheadAndOnlyTheLastSharp)
{
    constexpr int count = 12;
    shoebox::testing::TempDir dir;
    for (int i = 0; i < count; ++i)
        dir.write(std::to_string(i) + ".jpg");
    const auto file = [&](int i) { return FileURL::fileURLWithPath(dir / (std::to_string(i) + ".jpg")); };
    const auto number = [&](const imaging::DecodeRequest& request) {
        return std::stoi(request.path.substr(dir.path().size() + 1));
    };
    const auto colour = [](int i, bool standIn) { return QColor::fromHsv(i * 30, 255, standIn ? 110 : 240); };

    // Decoders that record what they finished; no file has an embedded preview. A sharp decode takes as long as
    // `holdSharp` is set, checking for cancelling meanwhile, as the real ones do.
    std::mutex mutex;
    std::set<int> sharp, standIns;
    std::atomic<bool> holdSharp = false;
    const auto decoder = [&](std::set<int>* finished) {
        return
            [&, finished](const imaging::DecodeRequest& request, const imaging::CancelCheck& cancelled, const auto&) {
                imaging::DecodedPicture picture;
                picture.isPreview = finished != &sharp;
                picture.problem = imaging::statPath(request.path, &picture.stamp);
                picture.target = request.target;
                if (finished == &sharp && holdWhile(holdSharp, cancelled)) {
                    picture.problem = Problem::Cancelled;
                } else if (finished) {
                    picture.image = solid(160, 120, colour(number(request), finished == &standIns));
                    std::lock_guard lock(mutex);
                    finished->insert(number(request));
                }
                return picture;
            };
    };
    ImageViewWidget view(nullptr, {decoder(&sharp), decoder(nullptr), decoder(&standIns)});
    view.resize(400, 300);
    view.show();
    const auto step = [&](int i) {
        view.setImage(file(i));
        view.setNeighbours({file(i + 1), file(i - 1), file(i + 2), file(i + 3)}); // as the controller does
    };
    const auto shows = [&](int i, bool standIn) { return centreIs(view.currentImage(), colour(i, standIn)); };

    step(0);
    ASSERT_TRUE(waitUntil([&] { return view.pendingDecodes() == 0; })); // 0, and 1 to 3 ahead, sharp
    holdSharp = true;
    for (int i = 1; i <= 7; ++i) // a held key: no event loop turn between presses
        step(i);
    // (Those ahead are decoded furthest first and on every core, so any of them may come in last.)
    EXPECT_TRUE(waitUntil([&] {
        return shows(7, true) && view.hasStandIn(file(8)) && view.hasStandIn(file(9)) && view.hasStandIn(file(10));
    }));
    {
        std::lock_guard lock(mutex);
        // (Of the files passed, those whose previews were known may have had one while still ahead.)
        EXPECT_TRUE(std::ranges::includes(standIns, std::set<int>{7, 8, 9, 10})) << "the file on show and those ahead";
        EXPECT_FALSE(standIns.contains(6)) << "6, behind";
    }
    step(8);
    EXPECT_TRUE(shows(8, true)) << "the stand-in decoded ahead shows at once";
    holdSharp = false;
    EXPECT_TRUE(waitUntil([&] { return shows(8, false); })) << "the sharp picture follows";
    std::lock_guard lock(mutex);
    EXPECT_EQ(sharp.count(4) + sharp.count(5) + sharp.count(6), 0u) << "a file passed over was decoded sharp";
}

} // namespace
