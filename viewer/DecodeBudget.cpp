// The decode budget shared by every decode in the process.

#include "viewer/DecodeBudget.h"

#include <QImageReader>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>

#include <malloc.h>

namespace shoebox::imaging {

namespace {

// The decode budget's use, process-wide.
std::mutex budgetMutex;
std::condition_variable budgetFreed;
std::int64_t budgetUsed = 0;
// Decodes waiting to run alone. While one waits, no other decode starts,
// or a steady flow of small ones (the neighbours) would keep it waiting.
int aloneWaiting = 0;

// What /proc/meminfo says the machine can give without swapping, or -1.
std::int64_t memAvailableBytes()
{
    std::ifstream meminfo("/proc/meminfo");
    for (std::string line; std::getline(meminfo, line);) {
        if (line.starts_with("MemAvailable:"))
            return std::stoll(line.substr(13)) * 1024; // "MemAvailable:   23809200 kB"
    }
    return -1;
}

} // namespace

std::int64_t decodeCapBytes()
{
    // Read once: a decode refused a moment ago is refused again, and the
    // placeholder's figure stays the same.
    static const std::int64_t cap = [] {
        constexpr std::int64_t most = std::int64_t(1) << 30;
        const std::int64_t available = memAvailableBytes();
        return std::max(decodeBudgetBytes, available < 0 ? most : std::min(most, available / 4));
    }();
    return cap;
}

Problem reserveDecodeBytes(std::int64_t bytes, const CancelCheck& cancelled)
{
    if (bytes > decodeCapBytes())
        return Problem::TooLarge;
    const bool alone = bytes > decodeBudgetBytes;
    std::unique_lock lock(budgetMutex);
    if (alone)
        ++aloneWaiting;
    auto fits = [&] { return alone ? budgetUsed == 0 : aloneWaiting == 0 && budgetUsed + bytes <= decodeBudgetBytes; };
    // Polled: the check is a flag the owner sets, with nothing to notify.
    while (!fits()) {
        if (cancelled && cancelled()) {
            if (alone) {
                --aloneWaiting;
                lock.unlock();
                budgetFreed.notify_all(); // the others may go now
            }
            return Problem::Cancelled;
        }
        budgetFreed.wait_for(lock, std::chrono::milliseconds(10));
    }
    if (alone)
        --aloneWaiting;
    budgetUsed += bytes; // alone: more than the budget, so nothing else fits beside it
    return Problem::None;
}

void releaseDecodeBytes(std::int64_t bytes)
{
    {
        std::lock_guard lock(budgetMutex);
        budgetUsed -= bytes;
    }
    budgetFreed.notify_all();
}

void installDecodeLimits()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QImageReader::setAllocationLimit(int(decodeCapBytes() >> 20));
        // File buffers and decoded pictures are megabytes each and are freed
        // on other threads than they were made on. glibc raises its mmap
        // threshold after the first such free and then serves them from
        // per-thread arenas that fragment and never shrink (measured: peak
        // memory grew by half between 20 and 200 photos). A fixed threshold
        // keeps every large buffer in its own mapping, returned when freed.
        // glibc sets it under the main arena's lock, so other threads may allocate meanwhile.
        ::mallopt(M_MMAP_THRESHOLD, 1 << 20); // NOLINT(concurrency-mt-unsafe)
    });
}

} // namespace shoebox::imaging
