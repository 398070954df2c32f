#include "bench/Measure.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>

namespace shoebox::bench {

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void note(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::fputs("# ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
}

void die(const std::string& what)
{
    std::fprintf(stderr, "shoebox_bench: %s\n", what.c_str());
    std::exit(2); // NOLINT(concurrency-mt-unsafe): from the main thread, as returning from main would
}

double percentile(std::vector<double> values, double p)
{
    std::erase_if(values, [](double v) { return !std::isfinite(v); });
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

Spread spreadOf(const std::vector<double>& values, double p)
{
    Spread s;
    s.centre = percentile(values, p);
    s.min = percentile(values, 0);
    s.max = percentile(values, 100);
    for (double v : values)
        (std::isfinite(v) ? s.count : s.failed)++;
    return s;
}

namespace {

// Three significant figures or so: 4.31, 81.0, 2500.
std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, std::fabs(v) < 10 ? "%.2f" : std::fabs(v) < 1000 ? "%.1f" : "%.0f", v);
    return text;
}

std::string side(const Spread& s, const char* statistic, const std::string& unit)
{
    std::string text = std::string(statistic) + " " + number(s.centre) + " " + unit + " (min " + number(s.min) +
                       ", max " + number(s.max) + ")";
    if (s.failed)
        text += " [" + std::to_string(s.failed) + " of " + std::to_string(s.failed + s.count) + " failed]";
    return text;
}

} // namespace

std::string Report::line(const std::string& name, const std::string& unit, const std::vector<double>& app,
                         const std::vector<double>& baseline, Statistic statistic, double* ratio)
{
    const double p = statistic == Statistic::P95 ? 95 : 50;
    const char* label = statistic == Statistic::P95 ? "p95" : "median";
    const Spread a = spreadOf(app, p), b = spreadOf(baseline, p);
    *ratio = NAN;
    if (a.count == 0 || b.count == 0)
        return name + ": n/a (measurement failed)";
    std::string text = name + ": " + side(a, label, unit) + " | baseline: " + side(b, label, unit) + " | ratio: ";
    if (b.centre > 0) {
        *ratio = a.centre / b.centre;
        text += number(*ratio);
    } else {
        text += "n/a (baseline is 0)";
    }
    return text;
}

void Report::figure(const std::string& name, const std::string& unit, const std::vector<double>& app,
                    const std::vector<double>& baseline, Statistic statistic)
{
    double ratio = NAN;
    std::fprintf(out_, "%s\n", line(name, unit, app, baseline, statistic, &ratio).c_str());
    std::fflush(out_);
    if (!ratios_.contains(name))
        order_.push_back(name);
    ratios_[name].push_back(ratio);
}

void Report::unavailable(const std::string& name, const std::string& why)
{
    std::fprintf(out_, "%s: n/a (%s)\n", name.c_str(), why.c_str());
    std::fflush(out_);
}

void Report::summary() const
{
    for (const std::string& name : order_) {
        const std::vector<double>& ratios = ratios_.at(name);
        const Spread s = spreadOf(ratios);
        std::string text = name + ": ratio ";
        if (s.count == 0) {
            text += "n/a";
        } else {
            text += "median " + number(s.centre) + " (min " + number(s.min) + ", max " + number(s.max) + ") over " +
                    std::to_string(ratios.size()) + " repeats:";
            for (double r : ratios)
                text += " " + (std::isfinite(r) ? number(r) : std::string("n/a"));
        }
        std::fprintf(out_, "%s\n", text.c_str());
    }
    std::fflush(out_);
}

} // namespace shoebox::bench
