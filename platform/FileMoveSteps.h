#pragma once

// The steps of moveItemNoReplace, shared between its files: FileMove.cpp
// and FileMoveAcross.cpp (the move itself, see FileMoveOperation.h),
// FileMoveCopy.cpp (the contents and metadata of one file or symbolic
// link), FileMoveTree.cpp (folder trees) and FileMovePublish.cpp (hidden
// names for a copy under way, and giving it its final name). Functions
// answer 0 or an errno value; every call that changes the disk goes through
// the FileMoveIo they are handed, the one their move was given.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/FileMoveIo.h"
#include "platform/MoveObserver.h"
#include "platform/Result.h"

namespace shoebox::moving {

// How the move opens a folder it copies from or into: never through a
// symbolic link.
inline constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// What a filesystem answers for a flag or call it does not know.
bool refusesFlags(int error);

// Whether `name` in `dir` is still the item (`device`, `inode`).
bool sameItem(int dir, const char* name, dev_t device, ino_t inode);

// Whether the open `fd` still has the size and times of `before`: a file
// that another program is still writing (an import from a card, a sync
// tool) changes them.
bool unchangedSince(int fd, const struct stat& before);
// The same for `status`, taken now, of the item that `before` described.
bool sameState(const struct stat& status, const struct stat& before);

// fsync, retried on EINTR.
int syncFd(const FileMoveIo& io, int fd);

// Tells the observer, if there is one, how far a copy got, and asks it
// whether to stop. Copying steps answer ECANCELED once it says stop.
class Progress {
public:
    explicit Progress(MoveObserver* observer = nullptr) : observer_(observer) {}

    bool watched() const { return observer_ != nullptr; }
    void expect(std::uint64_t total) { total_ = total; }
    // `bytes` more are copied. False when the observer wants the move
    // stopped.
    bool advance(std::uint64_t bytes)
    {
        if (observer_ == nullptr) {
            return true;
        }
        done_ += bytes;
        total_ = std::max(total_, done_); // a file grew meanwhile
        observer_->copied(done_, total_);
        return !observer_->cancelled();
    }
    // Whether the observer wants the move stopped, between steps that
    // copy no bytes.
    bool stopped() const { return observer_ != nullptr && observer_->cancelled(); }

private:
    MoveObserver* observer_;
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
};

// Copies the open regular file `in`, described by `status`, into the empty
// file `out`: its contents (holes kept), then its metadata, then fsync.
int copyFile(const FileMoveIo& io, int in, const struct stat& status, int out, Progress& progress);

// Owner, mode, extended attributes (ACLs among them) and times of the open
// `in`, described by `status`, onto the open `out`; what the target cannot
// hold (FAT has no owners) is let go.
int copyMetadata(const FileMoveIo& io, int in, int out, const struct stat& status);

// Makes `to` in `toDir` a symbolic link with the target of `from` in
// `fromDir` (described by `status`), its owner and times. EAGAIN when the
// link changed while it was read. Never replaces: EEXIST when `to` is taken.
int copySymlink(const FileMoveIo& io, int fromDir, const char* from, const struct stat& status, int toDir,
                const char* to);

// A listing of the open folder `dir` that leaves `dir` itself open; null
// with `error` set when it cannot be read.
UniqueDir listFolder(int dir, int& error);

// A failure inside a folder copy: the errno and the path (relative to the
// folder being moved, starting with a slash) where it happened.
struct TreeError {
    int error = 0;
    std::string where;
};

// One item a folder copy copied, as it was when copied (for a regular file,
// as it was when opened for copying), and for a folder what it held.
struct CopiedItem {
    std::string name;
    struct stat status {};
    std::vector<CopiedItem> inside;
};

// Copies everything inside the open folder `from` into the empty open folder
// `to`, without following symbolic links, and notes in `copied` what it
// copied.
TreeError copyTreeContents(const FileMoveIo& io, int from, int to, std::vector<CopiedItem>& copied, Progress& progress,
                           const std::string& where = {});

// The bytes in the regular files inside the open folder `dir`, at any depth.
std::uint64_t bytesInside(int dir);

// Whether the open folder `dir` is the folder (`device`, `inode`) or lies
// anywhere inside it, mount points and symbolic links along the way
// notwithstanding.
bool liesWithin(int dir, dev_t device, ino_t inode);

// Removes of `item`, named `name` in `dir`, what was copied and has not
// changed since: an item added or written to meanwhile stays, and so does
// the folder holding it. `error` is the first errno met; `keptSome` tells
// whether anything stayed for having changed.
struct Removal {
    int error = 0;
    bool keptSome = false;
};
Removal removeCopied(const FileMoveIo& io, int dir, const char* name, const CopiedItem& item);

// Removes `name` in `dir` and, for a folder, everything inside it, without
// following symbolic links. Answers the first errno met.
int removeTree(const FileMoveIo& io, int dir, const char* name);

// 0, or an errno value and, where the errno alone would mislead, a cause.
struct Outcome {
    int error = 0;
    Error::Cause cause = Error::Cause::none;
};

// Hidden names for a copy under way in the target folder. A folder copy
// always needs one; a file copy only where the filesystem has no O_TMPFILE.
inline constexpr std::string_view temporaryPrefix = ".shoebox-move-";

struct Temporary {
    UniqueFd fd; // open for writing (a file) or reading (a folder)
    std::string name;
};

// Creates a new hidden file (`folder` false) or folder in `dir` under a name
// nobody else holds, starting with `prefix`, and locks it for as long as
// `made.fd` stays open.
int createTemporary(const FileMoveIo& io, int dir, bool folder, Temporary& made,
                    std::string_view prefix = temporaryPrefix);

// Removes from `dir` the temporaries that a move killed half-way left
// behind (a crash, a power cut): those with our names (`prefix` and the
// digits after it), of this user, that no running move holds locked.
// Anything else stays, whatever its name. False when `dir` holds anything
// but such names, or cannot be read.
bool removeStaleTemporaries(const FileMoveIo& io, int dir, std::string_view prefix = temporaryPrefix);

// fusefat (FUSE FAT, Debian's 0.1a) writes the removal of a name whose
// directory entries run across the end of one of the folder's clusters into
// the cluster that follows on disk, which belongs to some other file: the
// removal destroys bytes of another photo and leaves a stray entry behind
// (the FAT inconsistent). There every name takes at least two entries (a
// long name and its short alias), and where a name's entries lie no call
// tells. Creating names, and writing into files, it does right.
//
// So on a FUSE filesystem without O_TMPFILE the move removes no name in the
// target folder, not even on failure: it copies into a folder of its own
// (the holder) inside a folder of ours at the filesystem's root (scratch),
// and publishes by renaming the copy out of the holder, which only adds a
// name to the target folder. The names it removes are all in the scratch
// folder, where every name is a holder's and takes exactly two entries
// (after the one-entry "." and ".."), so none runs across a cluster's end;
// and in a holder, where the copy's name comes right after "." and "..".
inline constexpr std::string_view scratchFolderName = ".shoebox-moves";
inline constexpr std::string_view holderPrefix = "m"; // with the ten digits, 11 characters: one long-name entry
// A name right after "." and ".." ends inside a folder's first cluster, in
// the smallest cluster FAT knows (512 bytes, 16 entries), while it takes at
// most 14 entries: 13 of 13 characters each, and the short alias. UTF-8
// never has fewer bytes than UTF-16 has units.
inline constexpr std::size_t longestNameInHolder = std::size_t{13} * 13;

// Whether `dir` is on a FUSE filesystem (see scratchFolderName).
bool onFuse(const FileMoveIo& io, int dir);

struct Scratch {
    UniqueFd folder;  // the scratch folder at the filesystem's root
    Temporary holder; // this move's folder in it, locked
};

// Opens the scratch folder at the root of `dir`'s filesystem (making it the
// first time), removes what killed moves left in it, and makes this move's
// holder in it. EEXIST when the scratch folder holds anything not ours.
int openScratch(const FileMoveIo& io, int dir, Scratch& scratch);

// Removes `inside` (unless null) from the holder, if it is still there, and
// the holder.
void closeScratch(const FileMoveIo& io, Scratch& scratch, const char* inside);

// Whether the filesystem of the scratch folder renames without replacing:
// renames the holder with RENAME_NOREPLACE. 0, or the errno that says no.
int probeNoReplace(const FileMoveIo& io, Scratch& scratch);

// Whether the filesystem of `dir` takes `name` (FAT refuses ":" or "?",
// fusefat anything not ASCII), judged by creating it in a holder: fusefat
// loses a file it is asked to rename to a name it refuses.
Outcome judgeName(const FileMoveIo& io, int dir, const char* name);

// An errno from creating a name: EINVAL (the kernel's FAT driver) or EPERM
// (fusefat) mean the filesystem refuses the name.
Outcome creatingName(int error);

// Gives the finished copy `from` in `fromDir` the name `to` in `toDir` (on
// the same filesystem) without ever replacing anything: RENAME_NOREPLACE,
// else a hard link, else renameToFreeName. A folder needs RENAME_NOREPLACE:
// a plain rename() of a folder can replace an empty one, and fusefat loses
// everything in a folder it renames.
Outcome publish(const FileMoveIo& io, int fromDir, const char* from, int toDir, const char* to, bool folder);

// Where the filesystem can neither rename without replacing nor make hard
// links (FUSE FAT, exFAT): renames the file `from` to `to` once `to` is
// found free, with every move of ours into `toDir` waiting its turn.
Outcome renameToFreeName(const FileMoveIo& io, int fromDir, const char* from, int toDir, const char* to);

// What link() answers on a filesystem without hard links.
bool cannotLink(int error);

} // namespace shoebox::moving
