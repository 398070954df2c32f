// The window choosing a folder of a million files, the first (in natural
// order) a 24 MP photo, the rest empty: once on the disk, once through a
// FUSE file system that waits before every operation (tests/support/
// SlowMount.h), as a network share or a slow stick answers.
//
// The stall figures: the longest time the window's event loop went without
// running a timer that asks to run every millisecond, from the choice until
// the listing has ended and the photo is painted sharply. The baseline is
// the same timer in the same window, idle, while `ls -f` lists the same
// folder in another process: what the machine's load alone costs.
//
// The companions figure: the longest stall from switching the option to
// move companions together on, after a listing without it, until the
// companions are found (every name read again); the same baseline.
//
// The first picture figures: from the choice to the photo painted sharply.
// The baseline is the listing alone, on its own thread with nothing else to
// do (the one the window runs), plus, on the slow disk, one plain decode of
// the photo through it (TurboJPEG at the view's scale): the first picture
// cannot come before every name is read, nor before the photo is.

#include <QTimer>

#include <cmath>
#include <future>

#include "bench/Baselines.h"
#include "bench/Figures.h"
#include "bench/Harness.h"
#include "bench/Processes.h"
#include "platform/LinuxFileManager.h"
#include "tests/support/QtWait.h"
#include "tests/support/SlowMount.h"

namespace shoebox::bench {

namespace {

// Milliseconds before every operation of the slow file system: a share
// across a busy network, or a slow USB stick.
constexpr auto slowDelay = std::chrono::milliseconds(20);
// Through FUSE a million names cost ten thousand round trips to its daemon
// whatever the delay, seconds each on a busy machine: fewer rounds.
constexpr int slowPairs = 3;

// The longest gap between runs of a timer asking to run every millisecond.
class StallProbe {
public:
    StallProbe()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            longest_ = std::max(longest_, msBetween(last_, now));
            last_ = now;
        });
        timer_.start(1);
    }
    double longestMs()
    {
        const auto now = Clock::now();
        return std::max(longest_, msBetween(last_, now));
    }

private:
    QTimer timer_;
    Clock::time_point last_ = Clock::now();
    double longest_ = 0;
};

struct Rounds {
    std::vector<double> stall, firstPicture, baselineStall, baselineFirst;
};

// One app round: the choice, until the listing has ended and the photo is
// painted sharply.
void chooseRound(Harness& h, const std::string& folder, Rounds& rounds)
{
    const FileURL photo = FileURL::fileURLWithPath(folder + "/" + cameraName(1));
    h.clearPaints();
    StallProbe probe;
    const auto t = Clock::now();
    h.choose(folder);
    const bool painted = h.waitForPaint(photo, true, 600000);
    shoebox::testing::waitUntil([&] { return !h.listing(); }, 600000);
    rounds.stall.push_back(probe.longestMs());
    rounds.firstPicture.push_back(painted ? msBetween(t, *h.firstPaint(photo, true)) : NAN);
    if (h.files().size() != 1'000'000)
        note("the window listed %zu files in %s", h.files().size(), folder.c_str());
}

// The listing alone, as the window's worker runs it.
double listingMs(const std::string& folder)
{
    const auto t = Clock::now();
    UnwatchedListing unwatched;
    auto files = LinuxFileManager().shownFilesInDirectory(FileURL::fileURLWithPath(folder), unwatched);
    return msBetween(t, Clock::now());
}

// `ls -f` in another process while the window idles.
double idleStallMs(const std::string& folder)
{
    StallProbe probe;
    auto listed = std::async(std::launch::async, [&] { return runTimed({"ls", "-f", folder}); });
    shoebox::testing::waitUntil([&] { return listed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                                600000);
    listed.get();
    return probe.longestMs();
}

void figures(Harness& h, int pairs, const std::string& folder, const std::function<double()>& alone, const char* suffix,
             Report& report)
{
    Rounds rounds;
    inTurn(
        pairs, [&](int) { chooseRound(h, folder, rounds); },
        [&](int) {
            rounds.baselineStall.push_back(idleStallMs(folder));
            rounds.baselineFirst.push_back(alone());
        });
    report.figure(std::string("scan_1m") + suffix + "_stall_ms", "ms", rounds.stall, rounds.baselineStall);
    report.figure(std::string("first_picture_1m") + suffix + "_ms", "ms", rounds.firstPicture, rounds.baselineFirst);
}

// Rounds of switching the option on after a listing without it, until its
// companions are found, each against the idle window while `ls -f` runs.
void companionFigure(Harness& h, int pairs, const std::string& folder, Report& report)
{
    std::vector<double> stall, baseline;
    inTurn(
        pairs,
        [&](int) {
            h.moveCompanionsTogether(false);
            h.scan(folder); // listed without them, so that switching on looks for them
            StallProbe probe;
            h.moveCompanionsTogether(true);
            shoebox::testing::waitUntil([&] { return !h.listing(); }, 600000);
            stall.push_back(probe.longestMs());
        },
        [&](int) { baseline.push_back(idleStallMs(folder)); });
    report.figure("companions_on_1m_stall_ms", "ms", stall, baseline);
    h.moveCompanionsTogether(false);
}

} // namespace

void listingFigures(const Data& data, const Options& options, Report& report, const std::string& folder)
{
    Harness h;
    // Warms the caches for both, and leaves the window with a list to let go.
    h.scan(folder);
    figures(
        h, options.pairs, folder, [&] { return listingMs(folder); }, "", report);
    companionFigure(h, options.pairs, folder, report);

    shoebox::testing::SlowMount slow(folder, slowDelay);
    if (!slow.mounted()) {
        report.unavailable("scan_1m_slow_stall_ms", "no FUSE here: " + slow.whyNot());
        report.unavailable("first_picture_1m_slow_ms", "no FUSE here: " + slow.whyNot());
        return;
    }
    Photo photo = data.photos24[0];
    photo.path = slow.path() + "/" + cameraName(1);
    const QSize box = h.viewPixels();
    figures(
        h, slowPairs, slow.path(), [&] { return listingMs(slow.path()) + turboJpegMs(photo, box); }, "_slow", report);
}

} // namespace shoebox::bench
