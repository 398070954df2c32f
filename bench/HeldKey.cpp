// Alt+Right held down: key presses at 30 a second through 24 MP photos, once
// through photos with an EXIF preview (as cameras write them), once through
// photos without (edited exports, screenshots, scans).
//
// Per press, the time from the press to the first paint of its file or of
// a file further on (a press whose own file is skipped over still counts
// as answered once a later one shows); the time from the last press to the
// sharp picture of the file the key stops on; and the decodes still queued
// or running right after the last press.
//
// The app's rounds step through photos no cache has seen. The baseline
// rounds step the same way through photos the view has all decoded
// already, so every press takes the path of a decoded-ahead photo: what
// the window itself costs at this rate. The sharp picture's baseline is one
// plain decode of the last photo (TurboJPEG at the view's scale): it cannot
// be sharp sooner than a decode takes.

#include <algorithm>
#include <cmath>

#include "bench/Baselines.h"
#include "bench/Figures.h"
#include "bench/Harness.h"
#include "tests/support/QtWait.h"
#include "viewer/ImageViewWidget.h"

namespace shoebox::bench {

namespace {

constexpr int presses = 20;
constexpr double pressIntervalMs = 1000.0 / 30;

struct Hold {
    std::vector<double> pressMs; // NaN: nothing from this press on was painted
    double sharpMs = NAN;
    int pendingAfterLast = 0;
    int ownFilePainted = 0; // presses whose own file showed before the next press's
    int passedSharp = 0;    // files passed over (not the last) painted sharp
};

// Holds the key from the first file of `files`, painted and idle. The
// presses are due at fixed times; one that comes late because the window
// was busy is timed from when it was due, as a key repeat would be.
Hold holdKey(Harness& h, const std::vector<FileURL>& files)
{
    h.clearPaints();
    std::vector<Clock::time_point> due(presses);
    const auto start = Clock::now();
    for (int k = 0; k < presses; ++k) {
        due[size_t(k)] = start + std::chrono::microseconds(std::llround(k * pressIntervalMs * 1000));
        shoebox::testing::waitUntil([&] { return Clock::now() >= due[size_t(k)]; });
        h.pressNext();
    }
    Hold hold;
    hold.pendingAfterLast = h.view().pendingDecodes();
    const FileURL& last = files[presses];
    if (h.waitForPaint(last, true))
        hold.sharpMs = msBetween(due.back(), *h.firstPaint(last, true));

    auto indexOf = [&](const FileURL& url) { return int(std::find(files.begin(), files.end(), url) - files.begin()); };
    for (int k = 0; k < presses; ++k) {
        double ms = NAN;
        for (const Harness::Paint& p : h.paints()) {
            const int shown = indexOf(p.url);
            if (shown >= k + 1 && p.at >= due[size_t(k)]) {
                ms = msBetween(due[size_t(k)], p.at);
                if (shown == k + 1)
                    ++hold.ownFilePainted;
                break;
            }
        }
        hold.pressMs.push_back(ms);
    }
    for (int k = 1; k < presses; ++k)
        hold.passedSharp += h.firstPaint(files[size_t(k)], true).has_value();
    return hold;
}

// Each round's figures, one value per round.
struct HoldRounds {
    std::vector<double> p50, p95, max, sharp, pending;
    void add(const Hold& hold)
    {
        // A press never answered fails the round rather than dropping out.
        const bool answered =
            std::none_of(hold.pressMs.begin(), hold.pressMs.end(), [](double v) { return std::isnan(v); });
        p50.push_back(answered ? percentile(hold.pressMs, 50) : NAN);
        p95.push_back(answered ? percentile(hold.pressMs, 95) : NAN);
        max.push_back(answered ? percentile(hold.pressMs, 100) : NAN);
        sharp.push_back(hold.sharpMs);
        pending.push_back(hold.pendingAfterLast);
    }
};

// The figures named `prefix`_press_ms_p50 and so on, over `photos`.
void holdThrough(const std::vector<Photo>& photos, const std::string& prefix, bool all, const Data& data,
                 const Options& options, Report& report)
{
    Harness h;
    const QSize box = h.viewPixels();
    const std::string decodedFolder = data.linkedFolder(prefix + "-decoded", presses + 1, photos);
    const Photo& lastPhoto = photos[size_t(presses) % photos.size()];

    HoldRounds app, baseline;
    int ownPainted = 0, notDecoded = 0, passedSharp = 0;
    inTurn(
        options.pairs,
        [&](int) {
            const auto files = h.open(data.linkedFolder(prefix, presses + 1, photos));
            const Hold hold = holdKey(h, files);
            ownPainted += hold.ownFilePainted;
            passedSharp += hold.passedSharp;
            app.add(hold);
            h.waitIdle();
        },
        [&](int) {
            const auto files = h.open(decodedFolder);
            // Decodes whatever of the folder the cache has let go since the
            // last round. The cache holds all of it; as the view's likely
            // next files, it lets the app's rounds' photos go first.
            h.view().setNeighbours(files);
            h.waitIdle();
            notDecoded += int(
                std::count_if(files.begin(), files.end(), [&](const FileURL& url) { return !h.view().isCached(url); }));
            Hold hold = holdKey(h, files);
            h.waitIdle();
            hold.sharpMs = turboJpegMs(lastPhoto, box);
            baseline.add(hold);
        });
    note("%s: %d of %d presses showed their own photo before the next press's; %d photos passed over were painted "
         "sharp",
         prefix.c_str(), ownPainted, options.pairs * presses, passedSharp);
    if (notDecoded)
        note("%s: the baseline found %d photos not decoded ahead (the view's cache holds fewer than %d)",
             prefix.c_str(), notDecoded, presses + 1);
    report.figure(prefix + "_press_ms_p50", "ms", app.p50, baseline.p50);
    report.figure(prefix + "_press_ms_p95", "ms", app.p95, baseline.p95);
    report.figure(prefix + "_press_ms_max", "ms", app.max, baseline.max);
    if (!all)
        return;
    report.figure(prefix + "_sharp_ms", "ms", app.sharp, baseline.sharp);
    report.figure(prefix + "_pending_decodes", "decodes", app.pending, baseline.pending);
}

} // namespace

void heldKeyFigures(const Data& data, const Options& options, Report& report)
{
    holdThrough(data.photos24, "held_key", true, data, options, report);
    holdThrough(data.photos24bare, "held_key_nothumb", false, data, options, report);
}

} // namespace shoebox::bench
