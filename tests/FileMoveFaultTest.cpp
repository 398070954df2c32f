// A move across filesystems while the world changes under it: other
// programs, other moves, and a move killed half-way. (A file written to
// during its move is a row of the rollback table.)

#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>

#include "FileDescriptor.h"
#include "FileMoveTesting.h"

using namespace shoebox;
using namespace shoebox::testing;

// Guards files added to or changed in a folder during its copy being removed with the original.
TEST_F(CrossMoveTest, AFolderKeepsWhatWasAddedOrChangedDuringTheMove)
{
    dir.write("Holiday/a.JPG", "a");
    dir.write("Holiday/day 1/b.JPG", "b");
    dir.write("Holiday/day 2/c.JPG", "c");
    io.renameat2 = [&, real = io.renameat2](int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
        if (std::string_view(to) == "Trip") { // the copy is complete and about to get its name
            dir.write("Holiday/day 1/new.JPG", "new");
            dir.write("Holiday/day 2/c.JPG", "c edited");
        }
        return real(fromDir, from, toDir, to, flags);
    };
    expectFailure(move(dir / "Holiday", other / "Trip"), 0, Cause::bothCopiesKept);
    EXPECT_EQ(tree(other / "Trip"), "a.JPG=a day 1/b.JPG=b day 2/c.JPG=c");
    EXPECT_EQ(tree(dir / "Holiday"), "day 1/new.JPG=new day 2/c.JPG=c edited");
}

// Guards the copy going over a name taken before, or swapped in after our placeholder (FUSE FAT).
TEST_F(CrossMoveTest, WithoutNoReplaceOrLinksTheCopyGoesOverOurPlaceholderOnly)
{
    likeFat(io);
    io.openat = [&, real = io.openat](int at, const char* name, int flags, mode_t mode) {
        const int fd = real(at, name, flags, mode);
        if (fd >= 0 && std::string_view(name) == "Swapped.JPG") // another program swaps in its file
            fs::rename(other.write("theirs", "someone else's"), other / "Swapped.JPG");
        return fd;
    };
    other.write("Taken.JPG", "taken");
    expectFailure(move(source, other / "Taken.JPG"), EEXIST);
    expectFailure(move(source, other / "Beach: day 1.JPG"), EINVAL, Cause::nameNotAllowed);
    expectFailure(move(source, other / "Swapped.JPG"), EEXIST);
    EXPECT_EQ(snapshot(source) + " | " + tree(other.path()),
              shortly(original) + " | Swapped.JPG=someone else's Taken.JPG=taken");
    ASSERT_TRUE(move(source, target));
    EXPECT_EQ(snapshot(source) + " | " + tree(other.path()),
              " | Beach.JPG=" + shortly(original) + " Swapped.JPG=someone else's Taken.JPG=taken");
}

// Guards a killed move leaving the source short, a copy under the final name, or its hidden copy for good.
TEST_F(CrossMoveTest, WhatAKilledMoveLeftTheNextOneRemoves)
{
    dir.write("Holiday/IMG_1.JPG", original);
    const std::string before = snapshot(dir.path());
    userSpaceCopyOnly(io);
    for (std::string what : {"file", "folder", "file without O_TMPFILE"}) {
        SCOPED_TRACE(what);
        if (what == "file without O_TMPFILE")
            likeFat(io);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            io.pwrite = [calls = 0, real = io.pwrite](int fd, const void* data, size_t length, off_t at) mutable {
                if (++calls == 2)
                    ::raise(SIGKILL);
                return real(fd, data, length, at);
            };
            (void)move(what == "folder" ? dir / "Holiday" : source, other / "Moved");
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(snapshot(dir.path()), before);
        const Names left = names(other.path());
        EXPECT_TRUE(what == "file" ? left.empty() : left.size() == 1 && left[0].starts_with(".shoebox-move-"))
            << join(left);
        ASSERT_TRUE(move(dir.write("next.JPG", "next"), other / "next.JPG"));
        EXPECT_EQ(tree(other.path()), "next.JPG=next");
        fs::remove(other / "next.JPG");
    }
}

// Guards removing a running move's copy, a name not quite ours, another user's, a pipe or a link.
TEST_F(CrossMoveTest, OnlyStaleCopiesOfOursAreRemoved)
{
    other.write(".shoebox-move-1111111111", "another user's");
    ASSERT_EQ(::mkfifo((other / ".shoebox-move-2222222222").c_str(), 0600), 0);
    fs::create_symlink(source, other / ".shoebox-move-3333333333");
    other.write(".shoebox-move-abc", "a name not quite ours");
    other.write(".shoebox-move-4444444444", "stale");
    other.makeFolder(".shoebox-move-5555555555/inside");
    // Without the right to give a file away, it stays ours.
    const bool otherUser = ::chown((other / ".shoebox-move-1111111111").c_str(), ::geteuid() + 1, -1) == 0;

    likeFat(io); // the copy under way has a hidden name
    userSpaceCopyOnly(io);
    Result<> second;
    io.pwrite = [&, started = false, real = io.pwrite](int fd, const void* data, size_t length, off_t at) mutable {
        if (!std::exchange(started, true))
            second = moveItemNoReplace(dir.write("IMG_2.JPG", "second"), other / "IMG_2.JPG");
        return real(fd, data, length, at);
    };
    ASSERT_TRUE(move(source, target));
    ASSERT_TRUE(second);
    EXPECT_TRUE(readFile(target) == original);
    EXPECT_EQ(join(names(other.path())), std::string(otherUser ? ".shoebox-move-1111111111 " : "") +
                                             ".shoebox-move-2222222222 .shoebox-move-3333333333 .shoebox-move-abc "
                                             "Beach.JPG IMG_2.JPG");
}

// Guards taking, or removing while locked, a hidden name another move locked first.
TEST_F(CrossMoveTest, AHiddenNameAnotherMoveLockedFirstIsLeftToIt)
{
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
    ASSERT_TRUE(move(source, target));
    EXPECT_EQ(names(other.path()).size(), 2u) << "the locked name was taken";
    held.reset();
    ASSERT_TRUE(moveItemNoReplace(dir.write("next.JPG", "next"), other / "next.JPG"));
    EXPECT_EQ(tree(other.path()), "Beach.JPG=" + shortly(original) + " next.JPG=next");
}
