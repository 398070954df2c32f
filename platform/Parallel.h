#pragma once

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

namespace shoebox {

// Runs `work(begin, end)` over [0, count) in one contiguous slice per core, the calling thread taking the first;
// returns when every slice is done. Work of fewer than `perThread` items a slice stays on the calling thread: a
// thread costs tens of microseconds to start. For the few jobs that touch every name of a large folder (sort keys,
// sorting, locations), which are otherwise bound to one core.
template <class Work>
void parallelSlices(std::size_t count, std::size_t perThread, Work&& work)
{
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t slices = std::clamp<std::size_t>(count / std::max<std::size_t>(perThread, 1), 1, cores);
    if (slices == 1) {
        work(std::size_t{0}, count);
        return;
    }
    std::vector<std::jthread> helpers;
    helpers.reserve(slices - 1);
    for (std::size_t s = 1; s < slices; ++s)
        helpers.emplace_back([&work, s, slices, count] { work(count * s / slices, count * (s + 1) / slices); });
    work(std::size_t{0}, count / slices);
}

} // namespace shoebox
