#pragma once

// The steps of moveItemNoReplace, shared between its files: FileMove.cpp
// and FileMoveAcross.cpp (the move itself, see FileMoveOperation.h),
// FileMoveCopy.cpp (the contents and metadata of one file or symbolic
// link), FileMoveTree.cpp (folder trees) and FileMovePublish.cpp (hidden
// names for a copy under way, and giving it its final name). Functions
// answer 0 or an errno value; every call that changes the disk goes through
// io().

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

// The calls in force: the system's, or a test's.
const FileMoveIo& io();

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
int syncFd(int fd);

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
int copyFile(int in, const struct stat& status, int out, Progress& progress);

// Owner, mode, extended attributes (ACLs among them) and times of the open
// `in`, described by `status`, onto the open `out`; what the target cannot
// hold (FAT has no owners) is let go.
int copyMetadata(int in, int out, const struct stat& status);

// Makes `to` in `toDir` a symbolic link with the target of `from` in
// `fromDir` (described by `status`), its owner and times. EAGAIN when the
// link changed while it was read. Never replaces: EEXIST when `to` is taken.
int copySymlink(int fromDir, const char* from, const struct stat& status, int toDir, const char* to);

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
TreeError copyTreeContents(int from, int to, std::vector<CopiedItem>& copied, Progress& progress,
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
Removal removeCopied(int dir, const char* name, const CopiedItem& item);

// Removes `name` in `dir` and, for a folder, everything inside it, without
// following symbolic links. Answers the first errno met.
int removeTree(int dir, const char* name);

// Hidden names for a copy under way in the target folder. A folder copy
// always needs one; a file copy only where the filesystem has no O_TMPFILE.
inline constexpr std::string_view temporaryPrefix = ".shoebox-move-";

struct Temporary {
    UniqueFd fd; // open for writing (a file) or reading (a folder)
    std::string name;
};

// Creates a new hidden file (`folder` false) or folder in `dir` under a name
// nobody else holds, and locks it for as long as `made.fd` stays open.
int createTemporary(int dir, bool folder, Temporary& made);

// Removes from `dir` the temporaries that a move killed half-way left
// behind (a crash, a power cut): those with our names, of this user, that
// no running move holds locked. Anything else stays, whatever its name.
void removeStaleTemporaries(int dir);

// 0, or an errno value and, where the errno alone would mislead, a cause.
struct Outcome {
    int error = 0;
    Error::Cause cause = Error::Cause::none;
};

// Gives the finished copy `temporary` in `dir` the name `name` in the same
// folder without ever replacing anything (see renameOverPlaceholder). A
// folder needs RENAME_NOREPLACE: a plain rename() of a folder can replace
// an empty one, and fusefat (FUSE FAT, Debian's 0.1a) loses everything in a
// folder it renames.
Outcome publish(int dir, const Temporary& temporary, const char* name, bool folder);

// Where the filesystem can neither rename without replacing nor make hard
// links (FUSE FAT, exFAT): creates `to` exclusively as an empty placeholder
// and renames the file `from` over it, as long as it still is ours.
Outcome renameOverPlaceholder(int fromDir, const char* from, int toDir, const char* to);

// What link() answers on a filesystem without hard links.
bool cannotLink(int error);

} // namespace shoebox::moving
