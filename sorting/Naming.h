#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FileURL.h"
#include "sorting/Translation.h"

// The rules that turn the user's name text into the file's new name. Pure
// functions of their arguments: the move command, the live preview and the
// fuzz tests share them.
namespace shoebox {

// The rename type menu's items, in menu order.
enum class RenameType {
    NewNameOnly,         // "Beach.JPG", then "Beach 2.JPG"
    StemAndNewName,      // "IMG_0412_Beach.JPG", then "IMG_0412_Beach 2.JPG"
    ShortStemAndNewName, // "IMG_0412_Beach.JPG" from the first nine characters of the stem
    // Any other index: the name alone, with no search for a free name.
    NewNameOnlyUntested,
};

// The type the menu's selected index stands for; -1 (nothing selected)
// and every index past the three items is NewNameOnlyUntested.
RenameType renameTypeForIndex(long index);

// Why the name text cannot be used for `type`, or nothing when it can.
// Checked before anything is made, so a refused command changes nothing.
std::optional<std::string> refusalOfNameText(RenameType type, std::string_view nameText,
                                             Translate translate = untranslated);

// Why a subfolder name cannot be used, or nothing when it can. Slashes are
// allowed: they name nested folders.
std::optional<std::string> refusalOfFolderName(std::string_view folderName, Translate translate = untranslated);

// The candidate names for one file: the first, and those with collision
// numbers 2, 3, ... (`numbered(n)`).
class CandidateNames {
public:
    CandidateNames(RenameType type, const FileURL& file, std::string_view nameText);

    std::string first() const;
    std::string numbered(std::int64_t number) const;
    // The same names for another file of the photo's group: `suffix` (see
    // suffixInGroup: "MOV", "NEF.xmp") in place of the extension.
    CandidateNames withSuffix(std::string_view suffix) const;
    // Whether the move looks for a free name at all (not for the untested type).
    bool searchesForFreeName() const { return searches_; }

private:
    std::string prefix_; // the stem or short stem and "_", or nothing
    std::string nameText_;
    std::string extension_;
    bool searches_ = true;
};

// A name as the window shows it: each byte that is not part of valid UTF-8
// as U+FFFD and control characters escaped, so it stays one readable line.
std::string displayName(std::string_view name);

// The file's name as stored, less its final dot and extension; raw bytes.
std::string stemOf(const FileURL& file);
// The first nine user-perceived characters of the stem (all when shorter).
std::string shortStemOf(const FileURL& file);

} // namespace shoebox
