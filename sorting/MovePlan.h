#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileManager.h"
#include "platform/FileURL.h"
#include "sorting/Naming.h"
#include "sorting/Translation.h"

// The decisions of the move command that the live preview shares with it,
// so the preview can never promise another place than the move picks.
namespace shoebox {

// What the window holds when the move runs.
struct MoveEntries {
    RenameType renameType = RenameType::NewNameOnly;
    std::string nameText;
    std::string levelOne; // subfolder 1
    std::string levelTwo; // subfolder 2
};

// Why the move refuses these entries (the alert's informative text), or
// nothing. Checked before anything is made.
std::optional<std::string> refusalOfEntries(const MoveEntries& entries, Translate translate = untranslated);

// Where the move puts the file. `levels` holds, for subfolder 1 and then
// subfolder 2, the folder that level names, or nothing when its box is
// empty and the level is skipped; `folder`, the last of them (the
// destination when both are empty), is where the file goes. The move makes
// the levels' folders in this order, the preview walks down them.
struct TargetPlan {
    std::array<std::optional<FileURL>, 2> levels;
    FileURL folder;
};
TargetPlan planTarget(const FileURL& destination, const MoveEntries& entries);

// The name the file gets in `target`: the first candidate, or for the types
// that search, the first one that is free. One existence test per
// candidate, nothing else.
std::string finalNameIn(FileManager& files, const FileURL& target, const CandidateNames& names);

// The names a photo and its companions get in `target`, the photo's first,
// then one per suffix (see suffixInGroup): one collision number for all,
// the smallest that leaves every name free, so a group never ends up as
// "Beach 2.HEIC" with "Beach 3.MOV".
std::vector<std::string> finalNamesIn(FileManager& files, const FileURL& target, const CandidateNames& names,
                                      const std::vector<std::string>& suffixes);

// Where the move would put `file` right now, as one line for the window:
// the destination's name, the subfolders and the final name joined by
// " / ", or why the move would be refused or fail, in the user's language.
// Creates nothing, and looks up only the subfolders, the file and the
// candidate names.
// With `companions` (the Live Photo's video first, then the rest in name
// order) the line names them after the photo: "Sorted / Beach.HEIC + .MOV, .AAE".
std::string previewOfMove(FileManager& files, const FileURL& destination, const FileURL& file,
                          const MoveEntries& entries, Translate translate = untranslated,
                          const std::vector<FileURL>& companions = {});

} // namespace shoebox
