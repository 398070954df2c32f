#include "viewer/Trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unordered_map>

namespace shoebox::trace {

namespace {

using Clock = std::chrono::steady_clock;

struct Times {
    Clock::time_point first, last;
};

std::mutex mutex;
std::unordered_map<std::string, Times> times; // by path; a few files at a time

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string_view nameOf(std::string_view path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

void print(std::string_view path, std::string_view what, bool restart)
{
    const auto now = Clock::now();
    std::lock_guard lock(mutex);
    auto [it, fresh] = times.try_emplace(std::string(path), Times{now, now});
    if (restart)
        it->second = {now, now};
    const double step = ms(now - it->second.last), total = ms(now - it->second.first);
    it->second.last = now;
    const std::string_view name = nameOf(path);
    std::fprintf(stderr, "[trace] %.*s %.*s +%.2f ms (total %.2f ms)\n", int(name.size()), name.data(),
                 int(what.size()), what.data(), step, total);
    if (times.size() > 256)
        times.clear(); // a long session: forget, rather than grow
}

bool enabled()
{
    static const bool on = std::getenv("SHOEBOX_TRACE") != nullptr;
    return on;
}

} // namespace

void begin(std::string_view path, std::string_view what)
{
    if (enabled())
        print(path, what, true);
}

void stage(std::string_view path, std::string_view what)
{
    if (enabled())
        print(path, what, false);
}

} // namespace shoebox::trace
