// Undo and redo of the move and Trash commands.

#include "sorting/ViewController.h"

#include "platform/Text.h"

namespace shoebox {

using Kind = FileCommand::Kind;

// The list entry that stands for the file at `location`: the one the command
// ran on when it still points there, else any that does (the entry may have
// moved, or a new scan replaced the list), or nothing.
std::optional<std::size_t> ViewController::entryAt(std::size_t index, const FileURL& location) const
{
    if (index < imageURLs_.size() && imageURLs_[index] == location)
        return index;
    for (std::size_t i = 0; i < imageURLs_.size(); ++i) {
        if (imageURLs_[i] == location)
            return i;
    }
    return std::nullopt;
}

void ViewController::showEntry(std::size_t index)
{
    currentImageItem_ = static_cast<std::int64_t>(index);
    showCurrentFile();
    updateProgressBar();
}

void ViewController::updateUndoMenuItems()
{
    ui_.undoMenuItem->setTitle(history_.undoTitle(services_.translate));
    ui_.undoMenuItem->setEnabled(history_.nextUndo() != nullptr);
    ui_.redoMenuItem->setTitle(history_.redoTitle(services_.translate));
    ui_.redoMenuItem->setEnabled(history_.nextRedo() != nullptr);
}

// A failed undo or redo changes nothing; the status bar says why, the
// output has the whole line like every failed command. `failed` is the
// translated sentence, with the command's name and the reason to go in.
void ViewController::reportHistoryFailure(const std::string& failed, const FileCommand& command, const Error& error)
{
    printFailure(error);
    ui_.statusBar->setStringValue(withArguments(failed, {command.name(services_.translate), error.description}));
}

// The file goes back from where the command put it, with the same
// never-replacing move; its entry gets its old place and is shown again.
void ViewController::undo(Sender)
{
    // It finds its file's entry in the whole list.
    if (waitForList([this] { undo(nullptr); }))
        return;
    if (refuseWhileMoving() || !history_.nextUndo())
        return;
    // A copy: undone() moves the history's own.
    const FileCommand command = *history_.nextUndo();
    if (command.kind == Kind::Move) {
        startMove(command, true, [this, command](const Result<>& back) {
            finishUndo(command, back ? Result<Restored>(Restored::putBack) : std::unexpected(back.error()));
        });
    } else {
        finishUndo(command, restoreAll(command));
    }
}

void ViewController::finishUndo(const FileCommand& command, const Result<Restored>& back)
{
    if (!back) {
        reportHistoryFailure(services_.translate("Sorting", "Can’t undo %1: %2"), command, back.error());
        return;
    }
    const FileURL& before = command.before;
    printPlaces(command, true);
    const std::optional<std::size_t> entry =
        entryAt(command.index, command.kind == Kind::Move ? command.after : before);
    history_.undone();
    if (entry) {
        placeGroup(*entry, command, true);
        showEntry(*entry);
    }
    // Put back by hand, the file is where undo would have put it.
    const std::string done = *back == Restored::alreadyBack
                                 ? services_.translate("Sorting", "Undone: %1 (it was back in its folder already).")
                                 : services_.translate("Sorting", "Undone: %1.");
    ui_.statusBar->setStringValue(withArguments(done, {command.name(services_.translate)}));
    updateUndoMenuItems();
}

// The command runs again on the same file: a move to the same final path,
// a Trash to the Trash. Like the command, it then steps on.
void ViewController::redo(Sender)
{
    if (waitForList([this] { redo(nullptr); }))
        return;
    if (refuseWhileMoving() || !history_.nextRedo())
        return;
    FileCommand command = *history_.nextRedo(); // a copy, as for undo
    if (command.kind == Kind::Move)
        startMove(command, false, [this, command](const Result<>& again) { finishRedo(command, again); });
    else
        finishRedo(command, trashAll(command)); // `command` with the files' new places in the Trash
}

// `command` as done again: for a Trash, with the item's new place.
void ViewController::finishRedo(const FileCommand& command, const Result<>& again)
{
    if (!again) {
        reportHistoryFailure(services_.translate("Sorting", "Can’t redo %1: %2"), command, again.error());
        return;
    }
    const bool moved = command.kind == Kind::Move;
    if (moved)
        printPlaces(command, false);
    const std::optional<std::size_t> entry = entryAt(command.index, command.before);
    history_.redone(command);
    if (entry) {
        if (moved)
            placeGroup(*entry, command, false);
        currentImageItem_ = static_cast<std::int64_t>(*entry);
        moveToNextImage();
    }
    ui_.statusBar->setStringValue(
        withArguments(services_.translate("Sorting", "Redone: %1."), {command.name(services_.translate)}));
    updateUndoMenuItems();
}

} // namespace shoebox
