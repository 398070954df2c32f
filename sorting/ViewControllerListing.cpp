// Choosing the source folder, and its listing off the UI thread.
//
// A listing reads every name of the folder before it knows which comes first
// in natural order; that file shows at once, and the rest are sorted behind
// it. Until the whole list is there the progress text says the count is not
// known, and the commands that need the list (steps, undo, redo) wait for it.
// A move or Trash of the first file goes ahead: it changes only that entry,
// which the list takes over when it comes; but once a command waits, the
// later ones wait behind it, moves too, and run in the order given. A move
// one of them starts holds back the rest until it has ended, as it refuses
// every command meanwhile.

#include "sorting/ViewController.h"

#include <algorithm>
#include <utility>

namespace shoebox {

namespace {

// Hands the first file to the UI thread as soon as the listing knows it.
class FirstFileDelivery final : public ListingObserver {
public:
    FirstFileDelivery(const JobToken& token, const JobRunner::Deliver& deliver, std::function<void(FileURL)> show)
        : token_(token), deliver_(deliver), show_(std::move(show))
    {
    }
    void firstFile(const FileURL& file) override
    {
        deliver_([show = show_, file] { show(file); });
    }
    bool stopped() override { return token_.cancelled(); }

private:
    const JobToken& token_;
    const JobRunner::Deliver& deliver_;
    std::function<void(FileURL)> show_;
};

} // namespace

void ViewController::sourceFolderButton(Sender)
{
    if (refuseWhileMoving())
        return;
    std::optional<FileURL> start = std::exchange(nextScanStart_, std::nullopt);
    const std::optional<FileURL> folder = services_.openPanel->chooseFolder();
    if (!folder)
        return; // cancelled: nothing changes

    stopListing();
    listingStart_ = std::move(start);
    sourceFolderPath_ = folder;
    ui_.sourceFolderLabel->setStringValue(folder->lastPathComponent());
    discardList();
    startListing(*folder);
}

void ViewController::stopListing()
{
    listingStart_.reset();
    if (!listing_)
        return;
    listing_->cancel();
    listing_.reset();
    waiting_.clear();
    positionWaits_ = false;
}

void ViewController::discardList()
{
    discard(std::move(imageURLs_));
    imageURLs_.clear();
}

void ViewController::startListing(const FileURL& folder)
{
    listing_ = std::make_shared<JobToken>();
    // The tasks it hands back run on this thread, and only while the token
    // stands: never after the controller has gone, which cancels it.
    services_.jobs->start(listing_, [this, folder, files = services_.fileManager, withCompanions = companionsTogether_](
                                        const JobToken& token, const JobRunner::Deliver& deliver) {
        FirstFileDelivery first(token, deliver, [this](const FileURL& file) { showFirstFile(file); });
        std::optional<std::vector<FileURL>> list = files->shownFilesInDirectory(folder, first);
        // The companions are among the files that are not shown: a second
        // listing, of every name, only with the option on.
        std::optional<Grouped> found;
        if (withCompanions && list && !token.cancelled()) {
            if (const auto names = files->namesInDirectory(folder))
                found = grouped(listWithCompanions(*list, folder, *names));
        }
        deliver([this, list = std::move(list), found = std::move(found)]() mutable {
            finishListing(std::move(list), std::move(found));
        });
    });
}

void ViewController::showFirstFile(const FileURL& first)
{
    // A listing that starts at a given file shows it at its place, which
    // only the whole list tells.
    if (listingStart_)
        return;
    imageURLs_ = {first};
    totalImageCount_ = 1;
    showFromStart();
    // No count yet: an empty range, which a progress bar shows as busy.
    ui_.progressBar->setMaxValue(0.0);
    ui_.progressBar->setDoubleValue(0.0);
}

void ViewController::showFromStart()
{
    const std::optional<FileURL> start = std::exchange(listingStart_, std::nullopt);
    auto at = start ? std::find(imageURLs_.begin(), imageURLs_.end(), *start) : imageURLs_.end();
    // A Live Photo's video that is no entry: its still.
    const auto video =
        start && at == imageURLs_.end() ? std::ranges::find(listed_, *start, &ListedFile::url) : listed_.end();
    const std::optional<std::size_t> still = video != listed_.end() ? video->still : std::nullopt;
    if (still) {
        if (const std::optional<std::size_t> entry = entryOfListed(*still))
            at = imageURLs_.begin() + static_cast<std::ptrdiff_t>(*entry);
    }
    currentImageItem_ = at == imageURLs_.end() ? 0 : at - imageURLs_.begin();
    lastDirection_ = 1;
    showCurrentFile();
    ui_.prePhotoButton->setEnabled(true);
    ui_.nextPhotoButton->setEnabled(true);
    ui_.trashPhotoButton->setEnabled(true);
}

void ViewController::finishListing(std::optional<std::vector<FileURL>> list, std::optional<Grouped> grouped)
{
    listing_.reset();
    positionWaits_ = false;
    if (!list || list->empty()) {
        waiting_.clear();
        listingStart_.reset();
        updateDestinationPreview();
        showWarningAlert(
            services_.translate("Sorting", "No Image Files Found!"),
            services_.translate("Sorting", "Please choose a source folder that contains image files you ninny."));
        return;
    }

    const bool shown = !imageURLs_.empty();
    const bool firstMoved = shown && (*list)[0] != imageURLs_[0];
    if (shown)
        (*list)[0] = imageURLs_[0]; // where a move meanwhile put the first file
    imageURLs_ = std::move(*list);
    discard(std::move(listed_));
    listed_.clear();
    shown_.clear();
    // Switched on while the listing ran, which then left the companions out,
    // or the first file moved off on its own meanwhile (with the option
    // off): they are found once the list shows.
    const bool groupLater = companionsTogether_ && (!grouped || firstMoved);
    if (companionsTogether_ && !groupLater)
        takeGrouped(std::move(*grouped));
    else if (grouped)
        discard(std::move(*grouped));
    totalImageCount_ = static_cast<std::int64_t>(imageURLs_.size());
    const std::optional<std::size_t> firstStill = listed_.empty() ? std::nullopt : listed_[0].still;
    if (shown && firstStill) {
        // The first file is a Live Photo's video, which is no entry: its still.
        currentImageItem_ = static_cast<std::int64_t>(entryOfListed(*firstStill).value_or(0));
        showCurrentFile();
    } else if (shown) {
        updateProgressText();
        updateNeighbours();
    } else {
        showFromStart();
    }
    updateProgressBar();
    if (sourceListed_ && sourceFolderPath_)
        sourceListed_(*sourceFolderPath_);
    if (groupLater)
        startGrouping();
    else
        runWaiting();
}

// While a listing runs, or other commands still wait, `command` waits
// behind them; true when it does. A waiting command run by runWaiting()
// comes back here and goes ahead.
bool ViewController::waitForList(std::function<void()> command)
{
    if ((!listing_ && waiting_.empty()) || runningWaiting_)
        return false;
    waiting_.push_back(std::move(command));
    return true;
}

// Runs the waiting commands in order, until one starts a move that does not
// end at once; the move's end runs the rest.
void ViewController::runWaiting()
{
    if (runningWaiting_)
        return; // a rename that ended within a waiting command: the loop below goes on
    runningWaiting_ = true;
    while (!listing_ && !moving_ && !waiting_.empty()) {
        std::function<void()> command = std::move(waiting_.front());
        waiting_.pop_front();
        command();
    }
    runningWaiting_ = false;
}

} // namespace shoebox
