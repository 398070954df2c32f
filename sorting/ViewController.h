#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileManager.h"
#include "platform/FileURL.h"
#include "platform/Output.h"
#include "sorting/CommandHistory.h"
#include "sorting/Companions.h"
#include "sorting/Controls.h"
#include "sorting/Jobs.h"
#include "sorting/MoveJobs.h"
#include "sorting/MovePlan.h"
#include "sorting/Naming.h"
#include "sorting/RecentDestinations.h"
#include "sorting/Translation.h"

namespace shoebox {

// The controls of the sorting window that the commands use. The window
// connects every one of them; the controller does not test for absence.
struct Outlets {
    TextField* subSubFolder = nullptr; // name of the second-level subfolder
    Button* trashPhotoButton = nullptr;
    Button* prePhotoButton = nullptr;
    Button* nextPhotoButton = nullptr;
    Button* moveAndRenameFileButton = nullptr;
    TextField* newFileNamePreviewField = nullptr; // status of the last command that succeeded
    TextField* sourceFolderLabel = nullptr;
    TextField* destinationFolderLabel = nullptr;
    ProgressIndicator* progressBar = nullptr;
    TextField* progressTextField = nullptr;
    TextField* subFolderOneBox = nullptr; // name of the first-level subfolder
    TextField* newFileNameTextField = nullptr;
    PopUpMenu* renameTypeMenu = nullptr;
    TextField* currentFilePathLabel = nullptr;
    ImageView* imageViewer = nullptr;
    // Undo and redo report here, never in newFileNamePreviewField.
    TextField* statusBar = nullptr;
    MenuItem* undoMenuItem = nullptr;
    MenuItem* redoMenuItem = nullptr;
    TextField* destinationPreviewField = nullptr; // where the move would put the file now
};

// What the commands reach outside the window through. Moves go through
// `moves`, everything else that touches the disk through `fileManager`.
struct Services {
    FileManager* fileManager = nullptr;
    OpenPanel* openPanel = nullptr;
    Alert* alert = nullptr;
    Output* output = nullptr;
    MoveJobs* moves = nullptr;
    // Every text the window shows goes through it; what is printed does not.
    Translate translate = untranslated;
    JobRunner* jobs = nullptr; // the source listing runs here
};

// Every action takes the control that sent it and ignores it.
using Sender = const void*;

// The sorting window's controller: holds the sorting state and carries out
// every command, one at a time, on the thread that calls it. A command that
// moves a file ends when its move does, in the move's callback; until then
// every other command is refused (see refuseWhileMoving). The one other
// thing it hands off is the listing of a source folder
// (ViewControllerListing.cpp): the first file shows as soon as it is known,
// and the commands that need the whole list wait for it.
class ViewController {
public:
    ViewController(Outlets outlets, Services services);
    ~ViewController();
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    void viewDidLoad();
    // The next source scan shows `file` first, at its place in the list,
    // when it lists it ("Open With" a photo); without, or when it does not,
    // the scan starts at the first file as always. One scan only.
    void startNextScanAt(FileURL file) { nextScanStart_ = std::move(file); }

    // Whether the commands take the files that belong with the photo on
    // show along (its RAW twin, sidecars, a Live Photo's video; see
    // sorting/Companions.h): a move, Trash, undo or redo then acts on all
    // of them or none, and a Live Photo's video is no entry of its own.
    // Off: every file on its own. The list follows at once, the file on
    // show (or, for a video that stops being an entry, its still) stays.
    // The window asks refuseWhileMoving first.
    void setMoveCompanionsTogether(bool on);
    bool movesCompanionsTogether() const { return companionsTogether_; }

    void sourceFolderButton(Sender sender);
    void destinationFolderButton(Sender sender);
    void moveAndRenameButton(Sender sender);
    void prevImageButton(Sender sender);
    void nextImageButton(Sender sender);
    void moveImageToTrash(Sender sender);
    // Take back the newest move or Trash, or repeat the one last taken back.
    void undo(Sender sender);
    void redo(Sender sender);

    // Whether a source folder's listing is under way.
    bool isListing() const { return listing_ != nullptr; }
    // Gives up the listing under way, if any: nothing of it shows. Choosing
    // another source does the same.
    void stopListing();
    // Called when a source folder's listing has found files, with the folder.
    void onSourceListed(std::function<void(const FileURL&)> handler) { sourceListed_ = std::move(handler); }

    void moveToNextImage();
    void showWarningAlert(std::string_view messageText, std::string_view informativeText);
    void updateProgressText();
    void showCurrentFile();
    // Shows where the move would put the current file with the window's
    // entries as they are; the window calls it on every edit of them.
    void updateDestinationPreview();
    // Fills both subfolder boxes with the pair of the `rank`-th most recent
    // destination (0 the latest); moves nothing. Nothing when there are fewer.
    void useRecentDestination(std::size_t rank);

    // Whether a move (of the move command, undo or redo) is under way.
    bool isMoving() const { return moving_; }
    // While a move is under way, says in the status bar that the command
    // has to wait and returns true: the caller then does nothing. Every
    // command asks first; so does the window for its own (quitting).
    bool refuseWhileMoving();

    // The sorting state, read-only for the window and the tests.
    const std::optional<FileURL>& sourceFolderPath() const { return sourceFolderPath_; }
    const std::optional<FileURL>& destinationFolderPath() const { return destinationFolderPath_; }
    const std::vector<FileURL>& imageURLs() const { return imageURLs_; }
    std::int64_t currentImageItem() const { return currentImageItem_; }
    std::int64_t totalImageCount() const { return totalImageCount_; }
    const CommandHistory& history() const { return history_; }
    // Where moves went, most recent first; the window starts it from the
    // settings and keeps it there.
    RecentDestinations& recentDestinations() { return recent_; }

private:
    bool hasCurrentFile() const;
    void step(int direction);
    void updateNeighbours();

    // The source listing (ViewControllerListing.cpp).
    void startListing(const FileURL& folder);
    void showFirstFile(const FileURL& first);
    void showFromStart();
    // Every shown file with its companions, and the entries they make with
    // companions together: made on a worker, taken over by the UI thread.
    struct Grouped {
        std::vector<ListedFile> listed;
        ShownFiles together;
    };
    static Grouped grouped(std::vector<ListedFile> listed);
    // `grouped`: the files with their companions, when the listing looked
    // for them (the option was on as it started).
    void finishListing(std::optional<std::vector<FileURL>> list, std::optional<Grouped> grouped);
    // Freeing a million locations takes tens of milliseconds: a worker does it.
    template <typename T>
    void discard(T&& big);
    void discardList();
    // Whether a move or Trash waits for the list: behind other commands, or
    // while companions travel, which only the whole listing tells.
    bool waitsForList() const { return !waiting_.empty() || (companionsTogether_ && listing_); }
    bool waitForList(std::function<void()> command);
    void runWaiting();
    void updateProgressBar();
    void print(std::string_view line);
    void printFailure(const Error& error);

    MoveEntries moveEntries() const;
    std::string destinationPreview() const;

    // The move command's stages: the folders, the move, and what follows it.
    void makeSubfolder(const FileURL& folder);
    void moveCurrentFile(const FileURL& target, const std::vector<std::string>& names,
                         const std::vector<FileURL>& companions, const SubfolderPair& subfolders);
    void finishMove(const FileCommand& command, const std::string& name, const SubfolderPair& subfolders,
                    const Result<>& moved);
    // Starts moving the command's files, before to after (back: after to
    // before), all or none; `then` gets the result once the move has
    // ended, which may be before this returns.
    void startMove(const FileCommand& command, bool back, std::function<void(Result<>)> then);
    // Prints where each of the command's files is now, the photo's first.
    void printPlaces(const FileCommand& command, bool back);

    // The list and the files that go with its entries (ViewControllerGroups.cpp).
    // Finds the entries' companions on a worker, as the listing does.
    void startGrouping();
    void finishGrouping(std::optional<Grouped> grouped);
    // Takes the files with their companions, and the entries as the option
    // makes them.
    void takeGrouped(Grouped grouped);
    // The entries as the option makes them.
    void rebuildList();
    // Shows the listed file `current`, or its still when it is no entry.
    void showListed(std::size_t current);
    std::optional<std::size_t> entryOfListed(std::size_t listed) const;
    std::vector<FileURL> companionsOf(std::size_t entry) const;
    void setLocation(std::size_t entry, const FileURL& url);
    // The entry's files where the command put them (or, back, took them from).
    void placeGroup(std::size_t entry, const FileCommand& command, bool back);
    // The entry went on its own: from now on it is.
    void detachGroup(std::size_t entry);
    FileCommand trashCommand(std::size_t entry) const;
    Result<> trashAll(FileCommand& command);
    Result<Restored> restoreAll(const FileCommand& command);

    // Undo and redo (ViewControllerHistory.cpp).
    std::optional<std::size_t> entryAt(std::size_t index, const FileURL& location) const;
    void showEntry(std::size_t index);
    void updateUndoMenuItems();
    void reportHistoryFailure(const std::string& failed, const FileCommand& command, const Error& error);
    void finishUndo(const FileCommand& command, const Result<Restored>& back);
    void finishRedo(const FileCommand& command, const Result<>& again);

    Outlets ui_;
    Services services_;

    std::optional<FileURL> sourceFolderPath_;
    std::optional<FileURL> destinationFolderPath_;
    std::vector<FileURL> imageURLs_;
    std::int64_t currentImageItem_ = 0;
    std::int64_t totalImageCount_ = 0;
    int lastDirection_ = 1; // which way the user travels, for prefetching
    std::optional<FileURL> nextScanStart_;
    // Once companions have been looked for (a scan or a switch with the
    // option on), every shown file of the scan with its companions, and
    // which of them are entries: shown_[entry] is an entry's file, and
    // imageURLs_ follows listed_. Empty until then: imageURLs_ alone.
    std::vector<ListedFile> listed_;
    std::vector<std::size_t> shown_;
    bool companionsTogether_ = false;
    CommandHistory history_;

    std::shared_ptr<JobToken> listing_;   // while a source listing runs
    std::optional<FileURL> listingStart_; // the file that listing shows first, when given
    // Commands that need the whole list, waiting for the listing to end,
    // and those given after them; see waitForList().
    std::deque<std::function<void()>> waiting_;
    bool runningWaiting_ = false;
    // A step waits for the list: until it is taken there is no current file.
    bool positionWaits_ = false;
    std::function<void(const FileURL&)> sourceListed_;
    RecentDestinations recent_;
    bool moving_ = false;
    bool refusedWhileMoving_ = false; // the status bar says so, until the move ends
};

template <typename T>
void ViewController::discard(T&& big)
{
    if constexpr (requires { big.empty(); }) {
        if (big.empty()) // nothing to free: no job
            return;
    }
    services_.jobs->start(std::make_shared<JobToken>(),
                          [old = std::forward<T>(big)](const JobToken&, const JobRunner::Deliver&) mutable {
                              auto gone = std::move(old); // freed here, whenever the job itself is
                          });
}

} // namespace shoebox
