// Peak memory (the kernel's high-water mark of the resident set, VmHWM) of
// the window stepping through photos, each until its full picture is
// painted and the next ones are decoded.
//
// Each round is one process of its own that reads its high-water mark
// three times: idle with the window shown; after 20 photos, about what
// the view's picture cache holds; and after 60, three times that, where a
// cache that kept growing or a leak per photo would show. The high-water
// mark only rises, so the three come in this order; being read in the same
// process seconds apart, each pair sees the same state of the machine.
// peak_rss_mb_20's baseline is the idle window, peak_rss_mb_60's is the
// peak after 20 photos.

#include <QApplication>

#include <cstdio>
#include <unistd.h>

#include <cmath>

#include "Figures.h"
#include "Harness.h"
#include "Processes.h"

namespace shoebox::bench {

namespace {

constexpr int kFirstCheck = 20;
constexpr int kPhotos = 60;

} // namespace

int memoryChild(int argc, char** argv, const std::string& folder)
{
    QApplication app(argc, argv);
    Harness h;
    Harness::spin(500);
    std::printf("%ld\n", vmHighWaterKB());
    h.scan(folder);
    const std::vector<FileURL> files = h.files();
    for (int i = 0; i < int(files.size()); ++i) {
        if (i > 0)
            h.pressNext();
        h.waitForPaint(files[size_t(i)], true);
        h.waitIdle();
        if (i + 1 == kFirstCheck)
            std::printf("%ld\n", vmHighWaterKB());
    }
    Harness::spin(300);
    std::printf("%ld\n", vmHighWaterKB());
    std::fflush(stdout);
    _exit(0); // the figures are out; tearing down is not measured
}

void memoryFigures(const Data& data, const Options& options, Report& report)
{
    const std::string folder = data.linkedFolder("rss", kPhotos, data.photos24);
    std::vector<double> idle, first, all;
    for (int round = 0; round < options.pairs; ++round) {
        const std::vector<double> kb = childNumbers({selfPath(), "--child-rss", folder});
        const bool ok = kb.size() == 3;
        idle.push_back(ok ? kb[0] / 1024 : NAN);
        first.push_back(ok ? kb[1] / 1024 : NAN);
        all.push_back(ok ? kb[2] / 1024 : NAN);
    }
    report.figure("peak_rss_mb_20", "MB", first, idle);
    report.figure("peak_rss_mb_60", "MB", all, first);
}

} // namespace shoebox::bench
