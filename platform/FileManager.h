#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/FileURL.h"
#include "platform/ListingObserver.h"
#include "platform/MoveObserver.h"
#include "platform/Result.h"
#include "platform/TrashedItem.h"

namespace shoebox {

// One item of a group move: from where, to where.
struct PathMove {
    std::string source;
    std::string destination;
};

class FileManager {
public:
    virtual ~FileManager() = default;

    // The entries directly inside `folder` whose extension is a shown type
    // (MediaTypes.h), hidden names (a leading dot) skipped, in natural name
    // order. Unreadable entries are skipped. Nothing when the folder cannot
    // be listed at all, or when `observer` stopped it. `observer` hears of
    // the first entry before the rest are sorted. Safe on any thread, and
    // kept off the UI thread: a million names take a good part of a second,
    // a slow disk as long as it likes.
    virtual std::optional<std::vector<FileURL>> shownFilesInDirectory(const FileURL& folder,
                                                                      ListingObserver& observer) = 0;

    // Whether any item stands at `path`, a dangling symlink included (lstat).
    virtual bool fileExistsAtPath(const std::string& path) = 0;
    // Whether an item stands at `path`; `isDirectory` tells whether it is a
    // folder or a link to one (stat).
    virtual bool fileExistsAtPath(const std::string& path, bool& isDirectory) = 0;

    // Creates the folder and every missing folder above it.
    virtual Result<> createDirectoryAtURL(const FileURL& folder) = 0;

    // Moves (and so renames) the item. Never replaces: when anything stands
    // at `destination` it fails and changes nothing. Across filesystems the
    // source is removed only once a complete copy is published. `observer`
    // (optional) follows a copy and can stop it.
    virtual Result<> moveItemAtPath(const std::string& source, const std::string& destination,
                                    MoveObserver* observer) = 0;
    Result<> moveItemAtPath(const std::string& source, const std::string& destination)
    {
        return moveItemAtPath(source, destination, nullptr);
    }

    // Moves every item in turn with moveItemAtPath, or none of them: when
    // one fails, those already moved go back with the same never-replacing
    // move, newest first, and the failure is the failing item's (its
    // description names it), with what could not go back added. `observer`
    // sees the group as one copy, every item's bytes counted, and a cancel
    // also stops it between items. One item is exactly moveItemAtPath.
    Result<> moveItemsAtPaths(std::span<const PathMove> items, MoveObserver* observer);

    // The names of every entry directly inside `folder`, hidden names
    // skipped, in the order the folder gives them: for the files that go
    // with a photo (sorting/Companions.h). Nothing when the folder cannot be
    // listed. Safe on any thread.
    virtual std::optional<std::vector<std::string>> namesInDirectory(const FileURL& folder) = 0;

    // The names of the folders directly inside `folder` (links to folders
    // included), hidden names skipped, in natural order. Nothing when the
    // folder cannot be listed. Reads the folder once, without a call per
    // entry where the file system tells the types; safe on any thread.
    virtual std::optional<std::vector<std::string>> folderNamesInDirectory(const FileURL& folder) = 0;

    // Moves the item to the user's Trash (freedesktop.org Trash). Never
    // deletes instead. On success, where it went and which item it is.
    virtual Result<TrashedItem> trashItemAtURL(const FileURL& url) = 0;

    // Puts the item that trashItemAtURL took from `originalURL` back there
    // with the never-replacing move, and takes it off the Trash's list (its
    // .trashinfo goes); `alreadyBack` when it stands there already, put
    // back by hand. Fails and changes nothing when anything else stands at
    // `originalURL` or the item has left the Trash; the description says
    // where it is, where that is known.
    virtual Result<Restored> restoreItemFromTrash(const TrashedItem& item, const FileURL& originalURL) = 0;
};

} // namespace shoebox
