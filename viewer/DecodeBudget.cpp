// The decode budget shared by every decode in the process.

#include "viewer/DecodeBudget.h"

#include <QImageReader>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include <malloc.h>

namespace shoebox::imaging {

namespace {

// The decode budget's use, process-wide.
std::mutex budgetMutex;
std::condition_variable budgetFreed;
std::int64_t budgetUsed = 0;

} // namespace

Problem reserveDecodeBytes(std::int64_t bytes, const CancelCheck& cancelled)
{
    if (bytes > decodeBudgetBytes)
        return Problem::TooLarge;
    std::unique_lock lock(budgetMutex);
    // Polled: the check is a flag the owner sets, with nothing to notify.
    while (budgetUsed + bytes > decodeBudgetBytes) {
        if (cancelled && cancelled())
            return Problem::Cancelled;
        budgetFreed.wait_for(lock, std::chrono::milliseconds(10));
    }
    budgetUsed += bytes;
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
        QImageReader::setAllocationLimit(int(decodeBudgetBytes >> 20));
        // File buffers and decoded pictures are megabytes each and are freed
        // on other threads than they were made on. glibc raises its mmap
        // threshold after the first such free and then serves them from
        // per-thread arenas that fragment and never shrink (measured: peak
        // memory grew by half between 20 and 200 photos). A fixed threshold
        // keeps every large buffer in its own mapping, returned when freed.
        ::mallopt(M_MMAP_THRESHOLD, 1 << 20);
    });
}

} // namespace shoebox::imaging
