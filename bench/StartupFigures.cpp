// Start-up, timed from spawning a program to its first paint, on the small
// programs of minimal_window.cpp: the sorting window against the least Qt
// program that shows a window; and the sorting window opened on a folder of
// 24 MP photos until the first is painted sharply, against the least Qt
// program that decodes and paints one such photo.

#include <algorithm>

#include "bench/Figures.h"
#include "bench/Processes.h"

namespace shoebox::bench {

namespace {

// The one number the program prints, or NaN.
double startupMs(const std::string& program, const std::string& file = {})
{
    std::vector<std::string> args = {siblingProgram(program), std::to_string(monotonicNs())};
    if (!file.empty())
        args.push_back(file);
    return childNumber(args);
}

} // namespace

void startupFigures(const Data& data, const Options& options, Report& report)
{
    // Cheap rounds: more of them narrow a figure that swings with the load.
    std::vector<double> window, minimal;
    inTurn(
        std::max(options.pairs, 15), [&](int) { window.push_back(startupMs("shoebox_bench_window")); },
        [&](int) { minimal.push_back(startupMs("shoebox_bench_minimal_window")); });
    report.figure("window_shown_ms", "ms", window, minimal);

    const std::string folder = data.linkedFolder("start", 5, data.photos24);
    std::vector<double> picture, minimalPicture;
    inTurn(
        options.pairs, [&](int) { picture.push_back(startupMs("shoebox_bench_window", folder)); },
        [&](int) { minimalPicture.push_back(startupMs("shoebox_bench_minimal_window", data.photos24[0].path)); });
    report.figure("first_picture_ms", "ms", picture, minimalPicture);
}

} // namespace shoebox::bench
