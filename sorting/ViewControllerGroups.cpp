// The list as the option to move companions together makes it, and the
// Trash for a photo with its companions.

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/Text.h"
#include "sorting/ViewController.h"

namespace shoebox {

ViewController::Grouped ViewController::grouped(std::vector<ListedFile> listed)
{
    ShownFiles together = shownFiles(listed, true);
    return {std::move(listed), std::move(together)};
}

void ViewController::takeGrouped(Grouped grouped)
{
    discard(std::move(listed_));
    listed_ = std::move(grouped.listed);
    if (!companionsTogether_) { // switched off meanwhile
        rebuildList();
        return;
    }
    shown_ = std::move(grouped.together.listed);
    discardList();
    imageURLs_ = std::move(grouped.together.urls);
}

void ViewController::rebuildList()
{
    ShownFiles now = shownFiles(listed_, companionsTogether_);
    shown_ = std::move(now.listed);
    discardList();
    imageURLs_ = std::move(now.urls);
}

std::optional<std::size_t> ViewController::entryOfListed(std::size_t listed) const
{
    if (listed_.empty())
        return listed;
    const auto found = std::ranges::lower_bound(shown_, listed); // in list order
    if (found == shown_.end() || *found != listed)
        return std::nullopt;
    return static_cast<std::size_t>(found - shown_.begin());
}

void ViewController::setMoveCompanionsTogether(bool on)
{
    if (on == companionsTogether_)
        return;
    companionsTogether_ = on;
    if (listing_) // the listing's end lists the entries as the option is then
        return;
    if (imageURLs_.empty() || (listed_.empty() && !on)) { // nothing listed, or listed alone: the list stands
        updateDestinationPreview();
        return;
    }
    if (listed_.empty()) {
        startGrouping();
        return;
    }
    const std::size_t current = shown_[static_cast<std::size_t>(currentImageItem_)];
    rebuildList();
    showListed(current);
}

// Switched on after a listing without it: the companions among the source
// folder's names are found on a worker, as a listing's are (reading a
// million names takes a second, longer on a slow disk), and matched with
// the entries there too. Commands that need the list wait meanwhile, as
// they do for a listing, and choosing another folder cancels it.
void ViewController::startGrouping()
{
    if (!sourceFolderPath_) {
        finishGrouping(std::nullopt);
        return;
    }
    listing_ = std::make_shared<JobToken>();
    updateProgressText();
    // The entries as they are: the list stands still until the job ends.
    services_.jobs->start(listing_, [this, folder = *sourceFolderPath_, files = services_.fileManager,
                                     entries = imageURLs_](const JobToken& token, const JobRunner::Deliver& deliver) {
        std::optional<Grouped> found;
        if (const auto names = files->namesInDirectory(folder); names && !token.cancelled())
            found = grouped(listWithCompanions(entries, folder, *names));
        deliver([this, found = std::move(found)]() mutable { finishGrouping(std::move(found)); });
    });
}

void ViewController::finishGrouping(std::optional<Grouped> grouped)
{
    listing_.reset();
    positionWaits_ = false;
    // Listed as the entries were: the entry's index is its file's.
    const auto current = static_cast<std::size_t>(std::max<std::int64_t>(currentImageItem_, 0));
    if (grouped && current < grouped->listed.size()) {
        takeGrouped(std::move(*grouped));
        showListed(current);
    } else {
        updateProgressText(); // the folder could not be read: each file alone, until the next switch
    }
    runWaiting();
}

void ViewController::showListed(std::size_t current)
{
    totalImageCount_ = static_cast<std::int64_t>(imageURLs_.size());
    const std::optional<std::size_t> still = listed_[current].still;
    std::optional<std::size_t> entry = entryOfListed(current);
    if (!entry && still)
        entry = entryOfListed(*still);
    currentImageItem_ = static_cast<std::int64_t>(entry.value_or(0));
    showCurrentFile();
    updateProgressBar();
}

std::vector<FileURL> ViewController::companionsOf(std::size_t entry) const
{
    if (!companionsTogether_ || listed_.empty())
        return {};
    const ListedFile& file = listed_[shown_[entry]];
    std::vector<FileURL> all = file.companions;
    for (std::size_t video : file.videos)
        all.push_back(listed_[video].url);
    // One removed by hand meanwhile does not hold the photo back.
    std::erase_if(all, [this](const FileURL& url) { return !services_.fileManager->fileExistsAtPath(url.path()); });
    std::ranges::sort(all, [](const FileURL& a, const FileURL& b) {
        return naturalLess(a.lastPathComponent(), b.lastPathComponent());
    });
    return all;
}

void ViewController::setLocation(std::size_t entry, const FileURL& url)
{
    imageURLs_[entry] = url;
    if (!listed_.empty())
        listed_[shown_[entry]].url = url;
}

void ViewController::placeGroup(std::size_t entry, const FileCommand& command, bool back)
{
    setLocation(entry, back ? command.before : command.after);
    if (listed_.empty())
        return;
    ListedFile& file = listed_[shown_[entry]];
    for (const CompanionMove& companion : command.companions) {
        const FileURL& from = back ? companion.after : companion.before;
        const FileURL& to = back ? companion.before : companion.after;
        std::ranges::replace(file.companions, from, to);
        for (std::size_t video : file.videos) {
            if (listed_[video].url != from)
                continue;
            listed_[video].url = to;
            if (const std::optional<std::size_t> shown = entryOfListed(video))
                imageURLs_[*shown] = to; // the option was switched off meanwhile
        }
    }
}

void ViewController::detachGroup(std::size_t entry)
{
    if (listed_.empty())
        return;
    ListedFile& file = listed_[shown_[entry]];
    for (std::size_t video : file.videos)
        listed_[video].still.reset();
    if (file.still)
        std::erase(listed_[*file.still].videos, shown_[entry]);
    file.companions.clear();
    file.videos.clear();
    file.still.reset();
}

FileCommand ViewController::trashCommand(std::size_t entry) const
{
    const FileURL& url = imageURLs_[entry].absoluteURL();
    FileCommand command{FileCommand::Kind::Trash, entry, url, url, {}, {}};
    for (const FileURL& companion : companionsOf(entry))
        command.companions.push_back({companion, companion, {}});
    return command;
}

// All or none: a file that cannot go to the Trash brings back those that went.
Result<> ViewController::trashAll(FileCommand& command)
{
    FileManager& files = *services_.fileManager;
    Result<TrashedItem> trashed = files.trashItemAtURL(command.before);
    if (!trashed)
        return std::unexpected(trashed.error());
    command.trashed = *trashed;
    for (std::size_t i = 0; i < command.companions.size(); ++i) {
        CompanionMove& companion = command.companions[i];
        if (trashed = files.trashItemAtURL(companion.before); trashed) {
            companion.trashed = *trashed;
            continue;
        }
        Error error = trashed.error();
        while (i-- > 0) {
            if (auto back = files.restoreItemFromTrash(command.companions[i].trashed, command.companions[i].before);
                !back)
                error.description += "; " + back.error().description;
        }
        if (auto back = files.restoreItemFromTrash(command.trashed, command.before); !back)
            error.description += "; " + back.error().description;
        return failure(std::move(error.description), error.code, error.cause);
    }
    return {};
}

// All or none again: should one not come back, those that did go back to
// the Trash, where the next undo finds them by what they are.
Result<Restored> ViewController::restoreAll(const FileCommand& command)
{
    FileManager& files = *services_.fileManager;
    const Result<Restored> restored = files.restoreItemFromTrash(command.trashed, command.before);
    if (!restored)
        return restored;
    for (std::size_t i = 0; i < command.companions.size(); ++i) {
        const CompanionMove& companion = command.companions[i];
        const Result<Restored> back = files.restoreItemFromTrash(companion.trashed, companion.before);
        if (back)
            continue;
        Error error = back.error();
        for (std::size_t j = 0; j < i; ++j) {
            if (auto again = files.trashItemAtURL(command.companions[j].before); !again)
                error.description += "; " + again.error().description;
        }
        if (auto again = files.trashItemAtURL(command.before); !again)
            error.description += "; " + again.error().description;
        return failure(std::move(error.description), error.code, error.cause);
    }
    return restored;
}

} // namespace shoebox
