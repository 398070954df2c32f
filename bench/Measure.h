#pragma once

// Taking a figure and printing it: the app's rounds and its baseline's are
// taken in turn, and each figure prints the spread of both, so a reader can
// tell a real difference from the noise of a shared machine. Plain C++, so
// that its test needs no window.

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace shoebox::bench {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to);

// Notes for the reader go to stderr, each line starting "# "; figures go to
// stdout.
void note(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void die(const std::string& what);

// Nearest-rank percentile of the finite values (failed rounds are NaN);
// NaN when none is finite.
double percentile(std::vector<double> values, double p);

struct Spread {
    double centre = 0; // the percentile asked for: the median unless said otherwise
    double min = 0;
    double max = 0;
    std::size_t count = 0;  // finite values
    std::size_t failed = 0; // NaN values: rounds that did not finish
};
Spread spreadOf(const std::vector<double>& values, double p = 50);

// Runs `pairs` rounds of the app and of its baseline in turn. Each pair
// swaps which goes first (app, baseline, baseline, app, app, ...), so that
// neither always gets the warmer caches and a steady drift of the machine
// (another build starting, the CPU clocking down) falls on both alike.
// Each call gets its round number.
template <class App, class Baseline>
void inTurn(int pairs, App&& app, Baseline&& baseline)
{
    for (int round = 0; round < pairs; ++round) {
        if (round % 2 == 0) {
            app(round);
            baseline(round);
        } else {
            baseline(round);
            app(round);
        }
    }
}

// Which statistic of the rounds a figure is: the median of the rounds, or
// their 95th percentile when each round is one key press.
enum class Statistic { Median, P95 };

// One line per figure:
//
//   next_cold_ms: median 81.0 ms (min 77.1, max 90.2) | baseline: median 69.0 ms (min 66.3, max 75.0) | ratio: 1.17
//
// and, after several repeats of the whole set, each figure's ratios.
class Report {
public:
    explicit Report(std::FILE* out = stdout) : out_(out) {}

    void figure(const std::string& name, const std::string& unit, const std::vector<double>& app,
                const std::vector<double>& baseline, Statistic statistic = Statistic::Median);
    void unavailable(const std::string& name, const std::string& why);
    // The ratios each figure had in the repeats so far: their median, range
    // and the values in the order they came.
    void summary() const;

    static std::string line(const std::string& name, const std::string& unit, const std::vector<double>& app,
                            const std::vector<double>& baseline, Statistic statistic, double* ratio);

private:
    std::FILE* out_;
    std::vector<std::string> order_;
    std::map<std::string, std::vector<double>> ratios_;
};

} // namespace shoebox::bench
