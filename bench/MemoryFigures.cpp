// Peak memory (the kernel's high-water mark of the resident set, VmHWM) of
// the window stepping through photos, each until its full picture is
// painted and the next ones are decoded.
//
// Each round runs two processes of their own, in turn: one steps through a
// folder of 20 photos, about what the view's picture cache holds, and
// reads its high-water mark idle with the window shown and at the end; the
// other steps through a folder of 40, twice that, where a cache that kept
// growing or a leak per photo would show. peak_rss_mb_20's baseline is the
// idle window of the same process; peak_rss_mb_40's is the peak after 20,
// from the process run next to it.

#include <QApplication>

#include <cmath>
#include <cstdio>
#include <unistd.h>

#include "bench/Figures.h"
#include "bench/Harness.h"
#include "bench/Processes.h"

namespace shoebox::bench {

int memoryChild(int argc, char** argv, const std::string& folder)
{
    QApplication app(argc, argv);
    Harness h;
    Harness::spin(500);
    std::printf("%ld\n", vmHighWaterKB());
    const std::vector<FileURL> files = h.open(folder);
    for (size_t i = 1; i < files.size(); ++i) {
        h.pressNext();
        h.waitForPaint(files[i], true);
        h.waitIdle();
    }
    Harness::spin(300);
    std::printf("%ld\n", vmHighWaterKB());
    std::fflush(stdout);
    _exit(0); // the figures are out; tearing down is not measured
}

void memoryFigures(const Data& data, const Options& options, Report& report)
{
    const std::string twenty = data.linkedFolder("rss", 20, data.photos24);
    const std::string forty = data.linkedFolder("rss", 40, data.photos24);
    // Idle and at the end, in MB; NaN when the child failed.
    auto peaks = [](const std::string& folder) {
        const std::vector<double> kb = childNumbers({selfPath(), "--child-rss", folder});
        return kb.size() == 2 ? std::pair(kb[0] / 1024, kb[1] / 1024) : std::pair(double(NAN), double(NAN));
    };
    std::vector<double> idle, after20, after40;
    inTurn(
        options.pairs,
        [&](int) {
            const auto [start, end] = peaks(forty);
            after40.push_back(end);
        },
        [&](int) {
            const auto [start, end] = peaks(twenty);
            idle.push_back(start);
            after20.push_back(end);
        });
    report.figure("peak_rss_mb_20", "MB", after20, idle);
    report.figure("peak_rss_mb_40", "MB", after40, after20);
}

} // namespace shoebox::bench
