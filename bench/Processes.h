#pragma once

// Running programs and reading a process's own numbers.

#include <ctime>
#include <string>
#include <vector>

namespace shoebox::bench {

// CLOCK_MONOTONIC in nanoseconds; a child given this on its command line
// can time itself from the moment its parent spawned it. Inline, so that the
// start-up programs read the same clock without linking anything.
inline long long monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// Runs args[0] (found on PATH unless it holds a slash) with stdout into
// `out`, or /dev/null when null, and stderr to ours unless `quiet`. The
// wall time from spawn to reaped, or NaN when it could not run or did not
// exit with 0.
double runTimed(const std::vector<std::string>& args, std::string* out = nullptr, bool quiet = false);

// Runs a program that prints numbers and returns them; empty on failure.
std::vector<double> childNumbers(const std::vector<std::string>& args);
// The same for a program that prints one number; NaN on failure.
double childNumber(const std::vector<std::string>& args);

// A program built next to this one.
std::string siblingProgram(const std::string& name);
std::string selfPath();

// This process's peak resident set (VmHWM) in kB, or -1.
long vmHighWaterKB();

} // namespace shoebox::bench
