// Stepping onto a photo the view decoded ahead, and the first photo of a
// folder no cache has seen, against a plain decode of the same file.

#include <cmath>

#include "bench/Baselines.h"
#include "bench/Figures.h"
#include "bench/Harness.h"
#include "viewer/ImageViewWidget.h"

namespace shoebox::bench {

namespace {

// Alt+Right at most every 300 ms, as someone looking at each photo: from
// the key press to the full picture painted. The view has decoded the next
// photo ahead by then, so this is the path of an ordinary press. Baseline:
// decoding that photo from scratch.
void stepping(Harness& h, const Data& data, Report& report)
{
    constexpr int steps = 30;
    const std::string folder = data.linkedFolder("step", steps + 1, data.photos24);
    const std::vector<FileURL> files = h.open(folder);
    const QSize box = h.viewPixels();

    std::vector<double> app, baseline;
    int notDecoded = 0;
    auto lastPress = Clock::now();
    inTurn(
        steps,
        [&](int round) {
            h.waitIdle();
            if (const double wait = 300 - msBetween(lastPress, Clock::now()); wait > 0)
                Harness::spin(int(wait));
            const FileURL& url = files[size_t(round) + 1];
            if (!h.view().isCached(url))
                ++notDecoded;
            h.clearPaints();
            lastPress = Clock::now();
            h.pressNext();
            app.push_back(h.waitForPaint(url, true) ? msBetween(lastPress, *h.firstPaint(url, true)) : NAN);
        },
        [&](int round) {
            h.waitIdle();
            baseline.push_back(turboJpegMs(data.photos24[size_t(round + 1) % data.photos24.size()], box));
        });
    h.waitIdle();
    note("%d of %d presses found their photo not yet decoded", notDecoded, steps);
    report.figure("next_prefetched_ms", "ms", app, baseline);
    report.figure("next_prefetched_ms_p95", "ms", app, baseline, Statistic::P95);
}

// From choosing a folder whose one photo no cache has seen (a new name) to
// its full picture painted, and its first picture of any kind (an HEIC's
// embedded thumbnail).
struct ColdRound {
    double firstMs = NAN, fullMs = NAN;
};
ColdRound coldScan(Harness& h, const std::string& folder)
{
    h.waitIdle();
    Harness::spin(100);
    h.clearPaints();
    const auto t0 = Clock::now();
    h.scan(folder);
    const FileURL url = h.files().at(0);
    ColdRound r;
    if (h.waitForPaint(url, true)) {
        r.firstMs = msBetween(t0, *h.firstPaint(url, false));
        r.fullMs = msBetween(t0, *h.firstPaint(url, true));
    }
    return r;
}

// Baseline: TurboJPEG at the scale the view chooses.
void coldJpeg(Harness& h, const Data& data, const Options& options, Report& report, const char* name,
              const std::vector<Photo>& photos)
{
    const QSize box = h.viewPixels();
    std::vector<double> app, baseline;
    inTurn(
        options.pairs,
        [&](int round) {
            const Photo& photo = photos[size_t(round) % photos.size()];
            app.push_back(coldScan(h, data.linkedFolder("cold", 1, {photo})).fullMs);
        },
        [&](int round) {
            h.waitIdle();
            baseline.push_back(turboJpegMs(photos[size_t(round) % photos.size()], box));
        });
    report.figure(name, "ms", app, baseline);
}

// Baselines: libheif decoding the picture, and its thumbnail.
void coldHeic(Harness& h, const Data& data, const Options& options, Report& report)
{
    if (data.heic.empty()) {
        report.unavailable("heic_cold_ms", "no HEVC encoder");
        report.unavailable("heic_thumbnail_ms", "no HEVC encoder");
        return;
    }
    std::vector<double> appFull, appFirst, baseFull, baseThumbnail;
    inTurn(
        options.pairs,
        [&](int) {
            const ColdRound r = coldScan(h, data.linkedFolder("cold", 1, {Photo{data.heic}}, "HEIC"));
            appFull.push_back(r.fullMs);
            appFirst.push_back(r.firstMs);
        },
        [&](int) {
            h.waitIdle();
            baseFull.push_back(libheifMs(data.heic, false));
            baseThumbnail.push_back(libheifMs(data.heic, true));
        });
    report.figure("heic_cold_ms", "ms", appFull, baseFull);
    report.figure("heic_thumbnail_ms", "ms", appFirst, baseThumbnail);
}

} // namespace

void pictureFigures(const Data& data, const Options& options, Report& report)
{
    Harness h;
    const QSize box = h.viewPixels();
    note("window %dx%d, image view %dx%d device pixels", windowSize.width(), windowSize.height(), box.width(),
         box.height());
    stepping(h, data, report);

    std::vector<Photo> upright24;
    for (const Photo& p : data.photos24)
        if (!p.rotated90)
            upright24.push_back(p);
    coldJpeg(h, data, options, report, "next_cold_ms", upright24);
    coldJpeg(h, data, options, report, "next_cold_12mp_exif6_ms", data.photos12);
    coldHeic(h, data, options, report);
    h.waitIdle();
}

} // namespace shoebox::bench
