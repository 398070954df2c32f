#include "sorting/ViewController.h"

#include <algorithm>
#include <utility>

#include "platform/Text.h"
#include "sorting/Naming.h"

namespace shoebox {

ViewController::ViewController(Outlets outlets, Services services) : ui_(outlets), services_(services) {}

ViewController::~ViewController()
{
    stopListing();
}

void ViewController::viewDidLoad()
{
    // The bar shows the position in the list (1 of N ... N of N), so it
    // starts from zero: the first of five files fills a fifth of it.
    ui_.progressBar->setMinValue(0.0);
    ui_.moveAndRenameFileButton->setEnabled(false);
    ui_.prePhotoButton->setEnabled(false);
    ui_.nextPhotoButton->setEnabled(false);
    ui_.trashPhotoButton->setEnabled(false);
    updateUndoMenuItems();
    updateDestinationPreview();
}

// --- Shared display operations ------------------------------------------

void ViewController::showWarningAlert(std::string_view messageText, std::string_view informativeText)
{
    services_.alert->showWarning(messageText, informativeText);
}

void ViewController::updateProgressText()
{
    // Until the listing ends, the count is not known.
    ui_.progressTextField->setStringValue(
        std::to_string(currentImageItem_ + 1) + " / " +
        (listing_ ? services_.translate("Sorting", "counting…") : std::to_string(totalImageCount_)));
}

void ViewController::showCurrentFile()
{
    const FileURL& url = imageURLs_[static_cast<std::size_t>(currentImageItem_)];
    ui_.imageViewer->setImage(url);
    // The location as text; where its bytes are not valid text, with U+FFFD
    // standing for each byte that is not.
    const std::string location = url.absoluteString();
    const std::optional<std::string> text = removingPercentEncoding(location);
    ui_.currentFilePathLabel->setStringValue(text ? *text : percentDecodedForDisplay(location));
    updateProgressText();
    updateNeighbours();
    updateDestinationPreview();
}

// Tells the view what comes next so it can decode it before it is asked:
// the next file in the direction of travel, the one behind, and two more
// ahead (a held key outruns a decode: the view starts on a photo three
// steps before the key reaches it).
void ViewController::updateNeighbours()
{
    std::vector<FileURL> likelyNext;
    const auto count = static_cast<std::int64_t>(imageURLs_.size());
    for (std::int64_t offset : {1, -1, 2, 3}) {
        const std::int64_t index = currentImageItem_ + offset * lastDirection_;
        if (index >= 0 && index < count)
            likelyNext.push_back(imageURLs_[static_cast<std::size_t>(index)]);
    }
    ui_.imageViewer->setNeighbours(likelyNext);
}

MoveEntries ViewController::moveEntries() const
{
    return MoveEntries{renameTypeForIndex(ui_.renameTypeMenu->indexOfSelectedItem()),
                       ui_.newFileNameTextField->stringValue(), ui_.subFolderOneBox->stringValue(),
                       ui_.subSubFolder->stringValue()};
}

// The same checks in the same order as the move command.
std::string ViewController::destinationPreview() const
{
    const Translate translate = services_.translate;
    if (!sourceFolderPath_)
        return translate("Sorting", "Choose a source folder to start.");
    if (!destinationFolderPath_)
        return translate("Sorting", "Choose a destination folder to see where the file will go.");
    if (!hasCurrentFile())
        return translate("Sorting", "There is no file to move.");
    const auto index = static_cast<std::size_t>(currentImageItem_);
    // The Live Photo's video first: what makes the pair one.
    std::vector<FileURL> companions = companionsOf(index);
    std::ranges::stable_partition(companions, isVideoName);
    return previewOfMove(*services_.fileManager, *destinationFolderPath_, imageURLs_[index], moveEntries(), translate,
                         companions);
}

void ViewController::updateDestinationPreview()
{
    ui_.destinationPreviewField->setStringValue(destinationPreview());
}

void ViewController::useRecentDestination(std::size_t rank)
{
    if (rank >= recent_.pairs().size())
        return;
    const SubfolderPair pair = recent_.pairs()[rank];
    ui_.subFolderOneBox->setStringValue(pair.levelOne);
    ui_.subSubFolder->setStringValue(pair.levelTwo);
    updateDestinationPreview();
}

void ViewController::updateProgressBar()
{
    ui_.progressBar->setMaxValue(static_cast<double>(totalImageCount_));
    ui_.progressBar->setDoubleValue(static_cast<double>(currentImageItem_ + 1));
}

void ViewController::print(std::string_view line)
{
    services_.output->print(line);
}

void ViewController::printFailure(const Error& error)
{
    print("Ooops! Something went wrong: " + error.description);
}

bool ViewController::refuseWhileMoving()
{
    if (!moving_)
        return false;
    ui_.statusBar->setStringValue(
        services_.translate("Sorting", "Wait for the move to end, or press Escape to cancel it."));
    refusedWhileMoving_ = true;
    return true;
}

// Every command that moves a file comes through here. Nothing else changes
// the list, the position or the history until the move has ended: the
// other commands are refused meanwhile.
void ViewController::startMove(const FileCommand& command, bool back, std::function<void(Result<>)> then)
{
    std::vector<PathMove> items;
    auto add = [&](const FileURL& before, const FileURL& after) {
        items.push_back(back ? PathMove{after.path(), before.path()} : PathMove{before.path(), after.path()});
    };
    add(command.before, command.after);
    for (const CompanionMove& companion : command.companions)
        add(companion.before, companion.after);
    moving_ = true;
    services_.moves->move(std::move(items), [this, then = std::move(then)](Result<> result) {
        moving_ = false;
        if (std::exchange(refusedWhileMoving_, false))
            ui_.statusBar->setStringValue("");
        then(std::move(result));
        runWaiting(); // the commands held back behind the one that moved
    });
}

bool ViewController::hasCurrentFile() const
{
    // A scan that finds nothing empties the list but keeps the counters, so
    // the position may point past the end: then there is no current file.
    // Nor is there while a step waits for the listing to end.
    return !positionWaits_ && currentImageItem_ >= 0 &&
           currentImageItem_ < static_cast<std::int64_t>(imageURLs_.size());
}

// --- Choosing the folders -------------------------------------------------

void ViewController::destinationFolderButton(Sender)
{
    if (refuseWhileMoving())
        return;
    const std::optional<FileURL> folder = services_.openPanel->chooseFolder();
    if (!folder)
        return; // cancelled: nothing changes

    destinationFolderPath_ = folder;
    ui_.destinationFolderLabel->setStringValue(folder->lastPathComponent());
    ui_.moveAndRenameFileButton->setEnabled(true);
    updateDestinationPreview();
}

// --- Navigation -------------------------------------------------------------

void ViewController::step(int direction)
{
    if (listing_) {
        // From the first file on, steps wait for the whole list; before
        // it shows there is nowhere to step from.
        if (hasCurrentFile() || positionWaits_) {
            waitForList([this, direction] { step(direction); });
            positionWaits_ = true;
        }
        return;
    }
    if (!hasCurrentFile())
        return;
    lastDirection_ = direction;
    currentImageItem_ = std::clamp<std::int64_t>(currentImageItem_ + direction, 0, totalImageCount_ - 1);
    showCurrentFile();
    updateProgressBar();
}

void ViewController::prevImageButton(Sender)
{
    if (!refuseWhileMoving())
        step(-1);
}

void ViewController::nextImageButton(Sender)
{
    if (!refuseWhileMoving())
        step(+1);
}

void ViewController::moveToNextImage()
{
    step(+1);
}

// --- The move command -------------------------------------------------------

void ViewController::moveAndRenameButton(Sender)
{
    if (refuseWhileMoving() || (waitsForList() && waitForList([this] { moveAndRenameButton(nullptr); })))
        return;
    if (!sourceFolderPath_) {
        showWarningAlert(
            services_.translate("Sorting", "No Image Source!"),
            services_.translate("Sorting", "Choose a source folder of images before you can start moving them."));
        return;
    }
    if (!destinationFolderPath_) {
        showWarningAlert(services_.translate("Sorting", "No Destination!"),
                         services_.translate("Sorting", "Choose a destination folder for the images to move to. "
                                                        "(This can be the same as the source folder.)"));
        return;
    }
    if (!hasCurrentFile())
        return;

    // Refuse a bad name before any folder is made, so a refused command
    // changes nothing on disk.
    const MoveEntries entries = moveEntries();
    if (std::optional<std::string> refusal = refusalOfEntries(entries, services_.translate)) {
        showWarningAlert(services_.translate("Sorting", "This Name Can’t Be Used"), *refusal);
        return;
    }

    // The folders are made as the plan lays them out, the same plan the
    // preview showed: the entries checked above, not whatever the boxes
    // hold by now.
    const TargetPlan plan = planTarget(*destinationFolderPath_, entries);
    for (std::size_t level = 0; level < plan.levels.size(); ++level) {
        print("starting if folder is not nil");
        if (const std::optional<FileURL>& folder = plan.levels[level]) {
            makeSubfolder(*folder);
            print("done with subfolder " + std::to_string(level + 1));
        }
    }
    const auto index = static_cast<std::size_t>(currentImageItem_);
    const CandidateNames names(entries.renameType, imageURLs_[index], entries.nameText);
    const std::vector<FileURL> companions = companionsOf(index);
    std::vector<std::string> suffixes;
    suffixes.reserve(companions.size());
    for (const FileURL& companion : companions)
        suffixes.push_back(suffixInGroup(imageURLs_[index], companion));
    moveCurrentFile(plan.folder, finalNamesIn(*services_.fileManager, plan.folder, names, suffixes), companions,
                    {entries.levelOne, entries.levelTwo});
}

// The plan goes on down even when the folder could not be made; the move
// into it then fails and says why.
void ViewController::makeSubfolder(const FileURL& folder)
{
    bool isDirectory = false;
    if (services_.fileManager->fileExistsAtPath(folder.path(), isDirectory)) {
        print(isDirectory ? "file exists and is dir" : "file exists and is file");
        return;
    }
    print("file does not exist");
    if (auto made = services_.fileManager->createDirectoryAtURL(folder); made) {
        print("made folder");
    } else {
        print(made.error().description);
        print("tried to make folder and failed");
    }
}

void ViewController::moveCurrentFile(const FileURL& target, const std::vector<std::string>& names,
                                     const std::vector<FileURL>& companions, const SubfolderPair& subfolders)
{
    const auto index = static_cast<std::size_t>(currentImageItem_);
    FileCommand command{
        FileCommand::Kind::Move, index, imageURLs_[index], target.appendingPathComponent(names[0]), {}, {}};
    for (std::size_t i = 0; i < companions.size(); ++i)
        command.companions.push_back({companions[i], target.appendingPathComponent(names[i + 1]), {}});
    startMove(command, false, [this, command, name = names[0], subfolders](const Result<>& moved) {
        finishMove(command, name, subfolders, moved);
    });
}

void ViewController::finishMove(const FileCommand& command, const std::string& name, const SubfolderPair& subfolders,
                                const Result<>& moved)
{
    if (!moved) {
        printFailure(moved.error());
        updateDestinationPreview(); // the name may have been taken meanwhile
        return;
    }

    history_.record(command);
    updateUndoMenuItems();
    recent_.record(subfolders);
    if (command.companions.empty())
        detachGroup(command.index);
    placeGroup(command.index, command, false);
    printPlaces(command, false);
    ui_.newFileNamePreviewField->setStringValue(services_.translate("Sorting", "File Renamed: ") + name);
    moveToNextImage();
}

// One line each, the photo first: a script reading them sees every file
// that moved. A line break in a folder or file name must not split a line.
void ViewController::printPlaces(const FileCommand& command, bool back)
{
    print(oneLine((back ? command.before : command.after).path()));
    for (const CompanionMove& companion : command.companions)
        print(oneLine((back ? companion.before : companion.after).path()));
}

// --- Trash --------------------------------------------------------------------

void ViewController::moveImageToTrash(Sender)
{
    if (refuseWhileMoving() || (waitsForList() && waitForList([this] { moveImageToTrash(nullptr); })) ||
        !hasCurrentFile())
        return;
    const auto index = static_cast<std::size_t>(currentImageItem_);
    FileCommand command = trashCommand(index);
    if (auto trashed = trashAll(command); !trashed) {
        printFailure(trashed.error());
        return;
    }
    if (command.companions.empty())
        detachGroup(index);
    history_.record(std::move(command));
    updateUndoMenuItems();
    ui_.newFileNamePreviewField->setStringValue(services_.translate("Sorting", "File Moved to Trash."));
    moveToNextImage();
}

} // namespace shoebox
