#pragma once

// The move operation shared by FileMove.cpp and FileMoveAcross.cpp. Internal
// to the move.

#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "platform/FileMoveSteps.h"
#include "platform/Result.h"
#include "platform/Text.h"

namespace shoebox::moving {

using Cause = Error::Cause;

// The reasons no errno gives, each written once.
inline constexpr std::string_view changedWhileMoving = "it changed during the move, so it was left where it was";
inline constexpr std::string_view cannotMoveFolderSafely =
    "this filesystem cannot move a folder without risking replacing one";
inline constexpr std::string_view cancelled = "the move was cancelled";
inline constexpr std::string_view nameRefused = "the target filesystem does not accept this name";
inline constexpr std::string_view changedButCopyKept =
    "it changed during the move and the copy could not be taken back; both copies were kept";
inline constexpr std::string_view copyKept = "the copy could not be taken back; both copies were kept";
inline constexpr std::string_view noScratch =
    "this filesystem takes a copy safely only through a folder of Shoebox's own at its root (.shoebox-moves), "
    "which could not be made or opened";
inline constexpr std::string_view scratchNotOurs =
    "the folder .shoebox-moves at the root of this filesystem holds items that are not Shoebox's";
inline constexpr std::string_view originalGone =
    "the original was removed or replaced during the move; the copy was kept at the destination";

// One move: the state it carries from step to step, and its failures told
// in one place. FileMove.cpp has the dispatch and the renames within one
// filesystem, FileMoveAcross.cpp the copies to another.
class Move {
public:
    Move(const std::string& source, const std::string& destination, MoveObserver* observer, const FileMoveIo& io)
        : source_(source), destination_(destination), io_(io), progress_(observer)
    {
    }

    Result<> run();

private:
    // The system's reason for `error`, with `detail` in brackets after it.
    std::unexpected<Error> fail(int error, std::string_view detail = {}, Cause cause = Cause::none) const
    {
        if (error == ECANCELED) {
            return failBecause(cancelled, Cause::cancelled, error);
        }
        std::string text = systemReason(error);
        if (!detail.empty()) {
            text += " (";
            text += detail;
            text += ")";
        }
        return failBecause(text, cause, error);
    }
    std::unexpected<Error> fail(Outcome outcome) const
    {
        return fail(outcome.error, outcome.cause == Cause::nameNotAllowed ? nameRefused : std::string_view(),
                    outcome.cause);
    }
    // For the few failures that no errno describes.
    std::unexpected<Error> failBecause(std::string_view why, Cause cause, int error = 0) const
    {
        return failure("Could not move \u201C" + oneLine(source_) + "\u201D to \u201C" + oneLine(destination_) +
                           "\u201D: " + std::string(why),
                       error, cause);
    }

    Result<> moveWithoutNoReplace(int renameError);
    Result<> refuseMovingIntoItself(const struct stat& folder);
    // Opens the destination's folder (once) and notes its last component.
    int openDestinationFolder();
    // `holder` is where the copy `out` was made on a FUSE filesystem
    // without O_TMPFILE, or null.
    Outcome publishFile(const Temporary& out, const Scratch* holder);
    Result<> moveAcrossFilesystems();
    Result<> moveFile(const struct stat& status);
    Result<> moveSymlink(const struct stat& status);
    Result<> moveTree(const struct stat& status);
    // `opened` is the source's open file, or -1 for a symbolic link.
    Result<> removeSource(const struct stat& status, int opened, const struct stat& copy);
    // Drops the published copy, described by `copy`, unless the final name
    // holds something else by now. False when it is still there.
    bool takeBack(const struct stat& copy);
    // A step after publishing failed with `error` while the original is
    // still whole: the copy is taken back.
    std::unexpected<Error> failTakingBack(int error, const struct stat& copy);

    const std::string& source_;
    const std::string& destination_;
    const FileMoveIo& io_;
    Progress progress_;
    UniqueFd folder_;  // the destination's folder, once the move leaves the fast path
    std::string name_; // the destination's last component
    // Set where removing a name in the destination's folder could destroy
    // another file (see scratchFolderName): a published copy is then kept
    // rather than taken back.
    bool keepPublished_ = false;
};

} // namespace shoebox::moving
