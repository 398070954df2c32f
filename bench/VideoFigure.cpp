// Stepping onto a video: from Alt+Right to its first frame painted, when
// the video is the next file (so the view knew it was coming).
//
// video_first_frame_ms: in a window that has played videos before, as every
// video of a session after its first. Baseline: Qt Multimedia alone in the
// same process, from a new player given the file to its first frame.
// video_first_frame_cold_ms: the first video of a session, each round a new
// process whose player loads GStreamer and its plugins on the way. Baseline:
// a new process's first player, the same way.

#include <QApplication>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include <unistd.h>

#include "bench/Baselines.h"
#include "bench/Figures.h"
#include "bench/Harness.h"
#include "bench/Processes.h"

namespace shoebox::bench {

namespace {

// A photo, then the video: IMG_0001.JPG, IMG_0002.MP4.
std::string photoThenVideo(const Data& data)
{
    const std::string folder = data.linkedFolder("video", 1, data.photos24);
    std::filesystem::create_hard_link(data.video, folder + "/" + cameraName(2, "MP4"));
    return folder;
}

// Opens `folder` on its photo, waits until the view is idle and the video
// module has had time to load, and steps onto the video.
double stepOntoVideo(Harness& h, const std::string& folder)
{
    const FileURL video = h.open(folder).at(1);
    Harness::spin(300);
    h.clearPaints();
    const auto t0 = Clock::now();
    h.pressNext();
    const double ms = h.waitForPaint(video, false, 10000) ? msBetween(t0, *h.firstPaint(video, false)) : NAN;
    h.scan(folder); // back to the photo: the player stops and goes
    return ms;
}

} // namespace

int videoChild(int argc, char** argv, const std::string& mode, const std::string& path)
{
    QApplication app(argc, argv);
    double ms = NAN;
    if (mode == "window") {
        Harness h;
        ms = stepOntoVideo(h, path);
    } else {
        ms = videoFirstFrameMs(path);
    }
    std::printf("%.3f\n", ms);
    std::fflush(stdout);
    _exit(std::isnan(ms) ? 1 : 0);
}

void videoFigures(const Data& data, const Options& options, Report& report)
{
    if (data.video.empty()) {
        report.unavailable("video_first_frame_ms", "no video could be made");
        report.unavailable("video_first_frame_cold_ms", "no video could be made");
        return;
    }
    const std::string folder = photoThenVideo(data);
    {
        Harness h;
        auto appRound = [&] {
            const double ms = stepOntoVideo(h, folder);
            Harness::spin(200);
            return ms;
        };
        auto baselineRound = [&] {
            const double ms = videoFirstFrameMs(data.video);
            Harness::spin(200);
            return ms;
        };
        // Not counted: the first player of the process loads GStreamer's
        // plugins, which the cold figure below measures.
        appRound();
        baselineRound();
        std::vector<double> app, baseline;
        inTurn(
            options.pairs, [&](int) { app.push_back(appRound()); }, [&](int) { baseline.push_back(baselineRound()); });
        report.figure("video_first_frame_ms", "ms", app, baseline);
    }
    std::vector<double> app, baseline;
    inTurn(
        options.pairs,
        [&](int) {
            app.push_back(childNumber({selfPath(), "--child-video", "window", folder}));
        },
        [&](int) {
            baseline.push_back(childNumber({selfPath(), "--child-video", "player", data.video}));
        });
    report.figure("video_first_frame_cold_ms", "ms", app, baseline);
}

} // namespace shoebox::bench
