#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileURL.h"
#include "platform/TrashedItem.h"
#include "sorting/Translation.h"

namespace shoebox {

// A file that went with the photo of a command (see sorting/Companions.h).
struct CompanionMove {
    FileURL before;
    FileURL after;
    TrashedItem trashed;
};

// A command that changed where a file is, with what undo and redo need.
struct FileCommand {
    enum class Kind { Move, Trash };

    Kind kind = Kind::Move;
    std::size_t index = 0; // the file's entry in the list when the command ran
    FileURL before;        // where the file was
    FileURL after;         // where a Move put it (a Trash: where it was)
    TrashedItem trashed;   // what a Trash took, and where it put it
    // The files that went with it, in name order; undo and redo take them
    // along, all or none, as the command did.
    std::vector<CompanionMove> companions = {};

    // What menus and messages call it: "Move of “Beach.JPG”" (by the new
    // name) or "Move to Trash of “clip.mov”", with "and 2 companions".
    std::string name(Translate translate = untranslated) const;
};

// The window's commands, for undo and redo: kept for the life of the
// window, never saved, with no limit on how far back undo reaches.
class CommandHistory {
public:
    // A new command: what was undone can no longer be redone.
    void record(FileCommand command);

    // The command that undo or redo would take back or repeat, or nothing.
    const FileCommand* nextUndo() const { return done_.empty() ? nullptr : &done_.back(); }
    const FileCommand* nextRedo() const { return undone_.empty() ? nullptr : &undone_.back(); }
    std::size_t undoCount() const { return done_.size(); }

    // The command of nextUndo was undone, and can be redone.
    void undone();
    // The command of nextRedo was done again, as `again` (a Trash puts
    // the file at a new place).
    void redone(FileCommand again);

    // The menu titles: "Undo Move of “Beach.JPG”", or "Undo" with nothing to undo.
    std::string undoTitle(Translate translate = untranslated) const;
    std::string redoTitle(Translate translate = untranslated) const;

private:
    std::vector<FileCommand> done_;   // newest last
    std::vector<FileCommand> undone_; // most recently undone last
};

} // namespace shoebox
