// Shoebox's benchmark. It makes its own photos, video and folders under
// /tmp (and a second filesystem for the move across filesystems), measures
// the real window and the platform layer, and prints one line per figure
// on stdout (see Measure.h); notes go to stderr. Every figure takes the
// app's rounds and its baseline's in turn, in the same run. Nothing here
// asserts on time.
//
//   --quick        skips the figure that needs a million files
//   --repeat N     runs the whole set N times, then prints each figure's ratios
//   --only A,B     runs only these sections: pictures, held-key, video, scans,
//                  moves, memory, startup
//   --keep-data    leaves the photos in place for a profiler
//
// --child-rss FOLDER and --child-video MODE PATH are modes the program runs
// itself in, for rounds that each need a process of their own.
#include <QApplication>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "bench/Figures.h"
#include "tests/support/Environment.h"
#include "tests/support/SlowMount.h"

using namespace shoebox::bench;

namespace {

// Qt's offscreen platform warns about things a headless run cannot have
// (no XDG runtime folder, no window manager); keep stderr for our notes.
void quietQtMessages()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")) ||
            message.contains(QLatin1String("propagateSizeHints")) ||
            message.contains(QLatin1String("No RHI backend"))) // Qt Multimedia converting frames on the CPU
            return;
        std::fprintf(stderr, "%s\n", qPrintable(message));
        if (type == QtFatalMsg)
            std::abort();
    });
}

[[noreturn]] void usage(const std::string& problem)
{
    std::fprintf(stderr,
                 "shoebox_bench: %s\n"
                 "usage: shoebox_bench [--quick] [--repeat N] [--only SECTION,...] [--keep-data]\n"
                 "sections: pictures, held-key, video, scans, moves, memory, startup\n",
                 problem.c_str());
    std::exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    // While there is one thread: the slow disk's mount then goes with this
    // process, however it ends.
    shoebox::testing::useOwnMountNamespace();
    setenv("QT_QPA_PLATFORM", "offscreen", 0); // children inherit it
    quietQtMessages();
    const std::vector<std::string> args(argv + 1, argv + argc);
    // A child keeps its parent's scratch HOME, and with it the GStreamer
    // registry already built there.
    if (args.size() == 2 && args[0] == "--child-rss")
        return memoryChild(argc, argv, args[1]);
    if (args.size() == 3 && args[0] == "--child-video")
        return videoChild(argc, argv, args[1], args[2]);
    // The benchmark and its children leave the user's settings, caches and
    // Trash alone.
    shoebox::testing::useScratchHome();

    const std::vector<std::string> sections = {"pictures", "held-key", "video", "scans", "moves", "memory", "startup"};
    Options options;
    int repeats = 1;
    bool keep = false;
    std::set<std::string> only;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--quick") {
            options.quick = true;
        } else if (args[i] == "--keep-data") {
            keep = true;
        } else if (args[i] == "--repeat" && i + 1 < args.size()) {
            repeats = std::atoi(args[++i].c_str());
            if (repeats < 1)
                usage("--repeat takes a number of at least 1");
        } else if (args[i] == "--only" && i + 1 < args.size()) {
            const std::string list = args[++i];
            for (size_t from = 0; from <= list.size();) {
                const size_t comma = std::min(list.find(',', from), list.size());
                const std::string name = list.substr(from, comma - from);
                if (std::find(sections.begin(), sections.end(), name) == sections.end())
                    usage("no section named '" + name + "'");
                only.insert(name);
                from = comma + 1;
            }
        } else {
            usage("unknown argument '" + args[i] + "'");
        }
    }

    const auto start = Clock::now();
    auto lap = start;
    auto took = [&lap](const std::string& what) {
        const auto now = Clock::now();
        note("%s took %.1f s", what.c_str(), msBetween(lap, now) / 1000);
        lap = now;
    };

    QApplication app(argc, argv);
    Data data;
    took("making the photos and the video");

    using Section = void (*)(const Data&, const Options&, Report&);
    const Section run[] = {pictureFigures, heldKeyFigures, videoFigures,  scanFigures,
                           moveFigures,    memoryFigures,  startupFigures};
    Report report;
    for (int repeat = 1; repeat <= repeats; ++repeat) {
        if (repeats > 1)
            std::printf("# repeat %d of %d\n", repeat, repeats);
        for (size_t s = 0; s < sections.size(); ++s) {
            if (!only.empty() && !only.contains(sections[s]))
                continue;
            run[s](data, options, report);
            took(sections[s]);
        }
    }
    if (repeats > 1) {
        std::printf("# ratios over %d repeats\n", repeats);
        report.summary();
    }

    removeScanFolders();
    if (keep)
        data.keep();
    note("total %.1f s", msBetween(start, Clock::now()) / 1000);
    return 0;
}
