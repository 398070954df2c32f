#include "sorting/ViewController.h"

#include <algorithm>
#include <utility>

#include "platform/MediaTypes.h"
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
    return previewOfMove(*services_.fileManager, *destinationFolderPath_,
                         imageURLs_[static_cast<std::size_t>(currentImageItem_)], moveEntries(), translate);
}

void ViewController::updateDestinationPreview()
{
    ui_.destinationPreviewField->setStringValue(destinationPreview());
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
    step(-1);
}

void ViewController::nextImageButton(Sender)
{
    step(+1);
}

void ViewController::moveToNextImage()
{
    step(+1);
}

// --- The move command -------------------------------------------------------

void ViewController::moveAndRenameButton(Sender)
{
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

    const FileURL target = makeTargetFolder(entries);
    const CandidateNames names(entries.renameType, imageURLs_[static_cast<std::size_t>(currentImageItem_)],
                               entries.nameText);
    moveCurrentFile(target, finalNameIn(*services_.fileManager, target, names));
}

// Makes the subfolders the checked entries name, not whatever the boxes
// hold by now.
FileURL ViewController::makeTargetFolder(const MoveEntries& entries)
{
    FileURL target = *destinationFolderPath_;

    print("starting if folder is not nil");
    if (!entries.levelOne.empty()) {
        descendIntoSubfolder(target, entries.levelOne);
        print("done with subfolder 1");
    }

    print("starting if folder is not nil");
    if (!entries.levelTwo.empty()) {
        descendIntoSubfolder(target, entries.levelTwo);
        print("done with subfolder 2");
    }
    return target;
}

void ViewController::descendIntoSubfolder(FileURL& target, const std::string& name)
{
    FileURL sub = target.appendingPathComponent(name);
    bool isDirectory = false;
    if (services_.fileManager->fileExistsAtPath(sub.path(), isDirectory)) {
        print(isDirectory ? "file exists and is dir" : "file exists and is file");
    } else {
        print("file does not exist");
        if (auto made = services_.fileManager->createDirectoryAtURL(sub); made) {
            print("made folder");
        } else {
            print(made.error().description);
            print("tried to make folder and failed");
        }
    }
    // The target descends even when the folder could not be made; the move
    // into it then fails and says why.
    target = std::move(sub);
}

void ViewController::moveCurrentFile(const FileURL& target, const std::string& name)
{
    const FileURL destination = target.appendingPathComponent(name);
    const std::size_t index = static_cast<std::size_t>(currentImageItem_);
    auto moved = services_.fileManager->moveItemAtPath(imageURLs_[index].path(), destination.path());
    if (!moved) {
        printFailure(moved.error());
        updateDestinationPreview(); // the name may have been taken meanwhile
        return;
    }

    history_.record(FileCommand{FileCommand::Kind::Move, index, imageURLs_[index], destination});
    updateUndoMenuItems();
    imageURLs_[index] = destination;
    // A line break in a folder or file name must not split the line.
    print(oneLine(destination.path()));
    ui_.newFileNamePreviewField->setStringValue(services_.translate("Sorting", "File Renamed: ") + name);
    moveToNextImage();
}

// --- Trash --------------------------------------------------------------------

void ViewController::moveImageToTrash(Sender)
{
    if (!hasCurrentFile())
        return;
    const auto index = static_cast<std::size_t>(currentImageItem_);
    const FileURL& url = imageURLs_[index].absoluteURL();
    auto trashed = services_.fileManager->trashItemAtURL(url);
    if (!trashed) {
        printFailure(trashed.error());
        return;
    }
    history_.record(FileCommand{FileCommand::Kind::Trash, index, url, *trashed});
    updateUndoMenuItems();
    ui_.newFileNamePreviewField->setStringValue(services_.translate("Sorting", "File Moved to Trash."));
    moveToNextImage();
}

} // namespace shoebox
