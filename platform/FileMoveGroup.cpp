// A photo and the files that belong with it move as one: all of them, or,
// should one fail, none.

#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "platform/FileManager.h"
#include "platform/Text.h"

namespace shoebox {

namespace {

// The size an item's copy will count, as far as it is known before moving
// it: a folder's or a link's own copy reports its total when it starts.
std::uint64_t sizeBeforeMoving(const std::string& path)
{
    struct stat status {};
    if (path.find('\0') != std::string::npos || ::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return 0;
    return static_cast<std::uint64_t>(status.st_size);
}

// Passes one item's copy on as part of the group's: what the items before
// it moved, plus its own, of the whole group's bytes.
class GroupProgress final : public MoveObserver {
public:
    GroupProgress(MoveObserver& group, std::vector<std::uint64_t> sizes) : group_(group), sizes_(std::move(sizes))
    {
        for (std::uint64_t size : sizes_)
            after_ += size;
    }

    // The item `index` is next.
    void starting(std::size_t index)
    {
        after_ -= sizes_[index];
        current_ = sizes_[index];
        group_.copied(before_, before_ + current_ + after_);
    }
    void finished() { before_ += current_; }

    void copied(std::uint64_t done, std::uint64_t total) override
    {
        current_ = total; // it may have grown
        group_.copied(before_ + done, before_ + total + after_);
    }
    bool cancelled() override { return group_.cancelled(); }

private:
    MoveObserver& group_;
    std::vector<std::uint64_t> sizes_;
    std::uint64_t before_ = 0, current_ = 0, after_ = 0;
};

} // namespace

Result<> FileManager::moveItemsAtPaths(std::span<const PathMove> items, MoveObserver* observer)
{
    if (items.size() == 1)
        return moveItemAtPath(items[0].source, items[0].destination, observer);

    std::optional<GroupProgress> progress;
    if (observer) {
        std::vector<std::uint64_t> sizes;
        for (const PathMove& item : items)
            sizes.push_back(sizeBeforeMoving(item.source));
        progress.emplace(*observer, std::move(sizes));
    }

    std::size_t moved = 0;
    Result<> result;
    for (; moved < items.size(); ++moved) {
        const PathMove& item = items[moved];
        // A move within one filesystem never asks; Cancel between two
        // items stops the group all the same.
        if (moved > 0 && progress && progress->cancelled()) {
            result = failure("Could not move \u201C" + oneLine(item.source) + "\u201D to \u201C" +
                                 oneLine(item.destination) + "\u201D: the move was cancelled",
                             ECANCELED, Error::Cause::cancelled);
            break;
        }
        if (progress)
            progress->starting(moved);
        result = moveItemAtPath(item.source, item.destination, progress ? &*progress : nullptr);
        if (!result)
            break;
        if (progress)
            progress->finished();
    }
    if (result)
        return {};

    // Back, newest first, each uncancellable: a half-undone group is worse
    // than a slow Cancel. One that cannot go back stays where it went, and
    // the failure says so.
    Error error = result.error();
    while (moved-- > 0) {
        const PathMove& item = items[moved];
        if (Result<> back = moveItemAtPath(item.destination, item.source, nullptr); !back) {
            error.description += "; " + back.error().description + ", so it stays at its new place";
            error.cause = Error::Cause::keptAtDestination;
        }
    }
    return failure(std::move(error.description), error.code, error.cause);
}

} // namespace shoebox
