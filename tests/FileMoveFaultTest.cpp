// What a move across filesystems does when the world changes under it or a
// system call fails half-way: the source stays whole and nothing new is left
// in the target folder, or both copies are kept and the failure says so.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>

#include "FileDescriptor.h"
#include "FileMoveTesting.h"
#include "Text.h"

using namespace shoebox;
using namespace shoebox::testing;
namespace fs = std::filesystem;

// A file still being written (a card import) grows during the copy or after
// it was published: the move stops, the source keeps every byte and the
// copy goes; a change seen before publishing never shows the copy.
TEST_F(CrossMoveTest, AFileWrittenToDuringTheMoveStaysWithAllItsBytes)
{
    for (bool afterPublishing : {false, true}) {
        SCOPED_TRACE(afterPublishing ? "written to after publishing" : "written to during the copy");
        FileMoveIo io = systemFileMoveIo();
        bool written = false, published = false;
        auto writeMore = [&] {
            if (!std::exchange(written, true))
                appendTo(source, "more");
        };
        if (afterPublishing) { // the target folder is synced once the copy has its name
            io.fsync = [&, real = io.fsync](int fd) {
                if (isFolder(fd))
                    writeMore();
                return real(fd);
            };
        } else {
            userSpaceCopyOnly(io);
            io.pwrite = [&, real = io.pwrite](int fd, const void* data, size_t length, off_t offset) {
                writeMore();
                return real(fd, data, length, offset);
            };
        }
        io.linkat = [&, real = io.linkat](int fromDir, const char* from, int toDir, const char* to, int flags) {
            published = published || std::string_view(to) == "Beach.JPG";
            return real(fromDir, from, toDir, to, flags);
        };
        ScopedFileMoveIo scoped(io);
        expectFailure(moveItemNoReplace(source, target), 0, Cause::changedDuringMove);
        EXPECT_EQ(published, afterPublishing);
        EXPECT_EQ(readFile(source), original + "more");
        EXPECT_EQ(names(other.path()), Names{});
        dir.write("IMG_0412.JPG", original);
    }
}

// Files that land in a folder or change while it is copied stay in the
// original with the folders holding them; the rest goes, and the failure
// says both copies were kept.
TEST_F(CrossMoveTest, AFolderKeepsWhatWasAddedOrChangedDuringTheMove)
{
    const std::string tree = dir / "Holiday", moved = other / "Trip";
    dir.write("Holiday/a.JPG", "a");
    dir.write("Holiday/day 1/b.JPG", "b");
    dir.write("Holiday/day 2/c.JPG", "c");
    FileMoveIo io = systemFileMoveIo();
    io.renameat2 = [&, real = io.renameat2](int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
        if (std::string_view(to) == "Trip") { // the copy is complete and about to get its name
            dir.write("Holiday/day 1/new.JPG", "new");
            appendTo(tree + "/day 2/c.JPG", " edited");
        }
        return real(fromDir, from, toDir, to, flags);
    };
    ScopedFileMoveIo scoped(io);
    expectFailure(moveItemNoReplace(tree, moved), 0, Cause::bothCopiesKept);
    EXPECT_EQ(names(moved), (Names{"a.JPG", "day 1", "day 2"}));
    EXPECT_EQ(names(moved + "/day 1"), Names{"b.JPG"});
    EXPECT_EQ(readFile(moved + "/day 2/c.JPG"), "c");
    EXPECT_EQ(names(tree), (Names{"day 1", "day 2"}));
    EXPECT_EQ(names(tree + "/day 1"), Names{"new.JPG"});
    EXPECT_EQ(readFile(tree + "/day 2/c.JPG"), "c edited");
}

// Without RENAME_NOREPLACE and links (FUSE FAT) the copy goes over a
// placeholder of ours and only ours: a name taken before, or swapped in just
// after the placeholder was made, is never replaced.
TEST_F(CrossMoveTest, WithoutNoReplaceOrLinksTheCopyGoesOverOurPlaceholderOnly)
{
    FileMoveIo io = systemFileMoveIo();
    likeFat(io);
    bool swap = false;
    io.openat = [&, real = io.openat](int at, const char* name, int flags, mode_t mode) {
        const int fd = real(at, name, flags, mode);
        if (swap && fd >= 0 && std::string_view(name) == "Swapped.JPG") // another program swaps in its file
            fs::rename(other.write("theirs", "someone else's"), other / "Swapped.JPG");
        return fd;
    };
    ScopedFileMoveIo scoped(io);
    writeFile(other / "Taken.JPG", "taken");

    expectFailure(moveItemNoReplace(source, other / "Taken.JPG"), EEXIST);
    expectFailure(moveItemNoReplace(source, other / "Beach: day 1.JPG"), EINVAL, Cause::nameNotAllowed);
    swap = true;
    expectFailure(moveItemNoReplace(source, other / "Swapped.JPG"), EEXIST);
    swap = false;
    EXPECT_EQ(readFile(source), original);
    EXPECT_EQ(names(other.path()), (Names{"Swapped.JPG", "Taken.JPG"}));
    EXPECT_EQ(readFile(other / "Swapped.JPG"), "someone else's");

    ASSERT_TRUE(moveItemNoReplace(source, target));
    EXPECT_TRUE(readFile(target) == original);
    EXPECT_FALSE(exists(source));
    EXPECT_EQ(names(other.path()), (Names{"Beach.JPG", "Swapped.JPG", "Taken.JPG"}));
}

// A move killed half-way leaves the source whole and nothing under the final
// name: its copy had no name (O_TMPFILE) or a hidden one, which the next
// move into that folder removes.
TEST_F(CrossMoveTest, WhatAKilledMoveLeftTheNextOneRemoves)
{
    dir.write("Holiday/IMG_1.JPG", original);
    enum What { file, fileWithoutTmpfile, folder };
    for (What what : {file, fileWithoutTmpfile, folder}) {
        SCOPED_TRACE(what == file ? "file" : what == folder ? "folder" : "file without O_TMPFILE");
        const std::string from = what == folder ? dir / "Holiday" : source;
        FileMoveIo io = systemFileMoveIo();
        userSpaceCopyOnly(io);
        if (what == fileWithoutTmpfile)
            likeFat(io);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            io.pwrite = [calls = 0, real = io.pwrite](int fd, const void* data, size_t length, off_t at) mutable {
                if (++calls == 2)
                    ::raise(SIGKILL);
                return real(fd, data, length, at);
            };
            ScopedFileMoveIo scoped(io);
            (void)moveItemNoReplace(from, other / "Moved");
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(readFile(source), original);
        EXPECT_EQ(readFile(dir / "Holiday/IMG_1.JPG"), original);
        const Names left = names(other.path());
        ASSERT_EQ(left.size(), what == file ? 0u : 1u);
        if (what != file) {
            EXPECT_TRUE(left[0].starts_with(".shoebox-move-")) << left[0];
        }

        ScopedFileMoveIo scoped(io);
        ASSERT_TRUE(moveItemNoReplace(dir.write("next.JPG", "next"), other / "next.JPG"));
        EXPECT_EQ(names(other.path()), Names{"next.JPG"});
        std::filesystem::remove(other / "next.JPG");
    }
}

// Only stale copies of ours go: never the copy of a move still running into
// the same folder, a name not quite ours, another user's, a pipe or a link.
TEST_F(CrossMoveTest, OnlyStaleCopiesOfOursAreRemoved)
{
    const Names kept = {".shoebox-move-1111111111",
                        ".shoebox-move-2222222222",
                        ".shoebox-move-3333333333",
                        ".shoebox-move-abc",
                        "Beach.JPG",
                        "IMG_2.JPG"};
    other.write(".shoebox-move-1111111111", "another user's");
    ASSERT_EQ(::mkfifo((other / ".shoebox-move-2222222222").c_str(), 0600), 0);
    std::filesystem::create_symlink(source, other / ".shoebox-move-3333333333");
    other.write(".shoebox-move-abc", "a name not quite ours");
    other.write(".shoebox-move-4444444444", "stale");
    other.makeFolder(".shoebox-move-5555555555/inside");
    const bool otherUser = ::chown((other / ".shoebox-move-1111111111").c_str(), ::geteuid() + 1, -1) == 0;

    FileMoveIo io = systemFileMoveIo();
    likeFat(io); // the copy under way has a hidden name
    Result<> second;
    io.pwrite = [&, started = false, real = io.pwrite](int fd, const void* data, size_t length, off_t at) mutable {
        if (!std::exchange(started, true))
            second = moveItemNoReplace(dir.write("IMG_2.JPG", "second"), other / "IMG_2.JPG");
        return real(fd, data, length, at);
    };
    userSpaceCopyOnly(io);
    ScopedFileMoveIo scoped(io);
    ASSERT_TRUE(moveItemNoReplace(source, target));
    ASSERT_TRUE(second);
    EXPECT_TRUE(readFile(target) == original);
    Names expected = kept;
    if (!otherUser) // without the right to give a file away, it stays ours
        expected.erase(expected.begin());
    EXPECT_EQ(names(other.path()), expected);
}

// A folder moved into itself on another filesystem (a rename that answers
// EXDEV) is refused before copying the copy without end. However long the
// paths, a description stays a short line cut between whole characters.
TEST(MoveIntoItselfTest, IsRefusedBeforeCopyingAndDescriptionsStayShort)
{
    TempDir dir;
    dir.write("Holiday/day 1/IMG_1.JPG");
    FileMoveIo io = systemFileMoveIo();
    io.renameat2 = failWhen(fromCall(1), EXDEV, io.renameat2);
    ScopedFileMoveIo scoped(io);
    const Result<> result = moveItemNoReplace(dir / "Holiday", dir / "Holiday/day 1/Holiday");
    expectFailure(result, EINVAL);
    EXPECT_EQ(names(dir / "Holiday"), Names{"day 1"});
    EXPECT_EQ(names(dir / "Holiday/day 1"), Names{"IMG_1.JPG"});

    // Each shift puts the cut inside another byte of a two-byte letter.
    std::string letters;
    for (int i = 0; i < 1000; ++i)
        letters += "\u00E9";
    for (int shift = 0; shift < 4; ++shift) {
        const std::string deep = dir / (std::string(shift, 'x') + "\n" + letters.substr(0, 250)) + "/" + letters;
        const Result<> missing = moveItemNoReplace(deep, deep + "2");
        expectFailure(missing, ENOENT);
        const std::string& text = missing.error().description;
        EXPECT_LE(text.size(), maxDescriptionLength);
        EXPECT_TRUE(text.starts_with("Could not move \u201C" + dir.path())) << text;
        EXPECT_TRUE(text.ends_with("No such file or directory")) << text;
        for (std::size_t at = 0, length = 0; at < text.size(); at += length)
            ASSERT_NE(length = wellFormedUTF8Length(std::string_view(text).substr(at)), 0u) << "at byte " << at;
    }
}

// A hidden name another move locked first (between its creation and its
// locking) is left to that move; the copy takes another name.
TEST_F(CrossMoveTest, AHiddenNameAnotherMoveLockedFirstIsLeftToIt)
{
    FileMoveIo io = systemFileMoveIo();
    likeFat(io);
    UniqueFd held;
    io.openat = [&, real = io.openat](int at, const char* name, int flags, mode_t mode) {
        const int fd = real(at, name, flags, mode);
        if (!held && fd >= 0 && (flags & O_CREAT) && std::string_view(name).starts_with(".shoebox-move-")) {
            held = UniqueFd(real(at, name, O_RDONLY | O_CLOEXEC, 0));
            EXPECT_EQ(::flock(held.get(), LOCK_EX | LOCK_NB), 0);
        }
        return fd;
    };
    {
        ScopedFileMoveIo scoped(io);
        ASSERT_TRUE(moveItemNoReplace(source, target));
    }
    EXPECT_TRUE(readFile(target) == original);
    EXPECT_EQ(names(other.path()).size(), 2u) << "the locked name was taken";
    held.reset();
    ASSERT_TRUE(moveItemNoReplace(dir.write("next.JPG"), other / "next.JPG"));
    EXPECT_EQ(names(other.path()), (Names{"Beach.JPG", "next.JPG"}));
}
