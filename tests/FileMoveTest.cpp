#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include "platform/FileDescriptor.h"
#include "platform/MoveObserver.h"
#include "platform/Text.h"
#include "tests/FileMoveTesting.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

// A POSIX ACL as the kernel stores it (little-endian: version 2, then tag, permissions and id per entry): the owner
// may read and write, user 1234 may read, the group and others nothing, the mask read.
const std::string aclLettingUserRead("\2\0\0\0\1\0\6\0\xFF\xFF\xFF\xFF\2\0\4\0\xD2\4\0\0\4\0\0\0\xFF\xFF\xFF\xFF"
                                     "\x10\0\4\0\xFF\xFF\xFF\xFF\x20\0\0\0\xFF\xFF\xFF\xFF",
                                     44);

std::string attribute(const std::string& path, const char* name)
{
    std::string value(256, '\0');
    const ssize_t size = ::lgetxattr(path.c_str(), name, value.data(), value.size());
    value.resize(size < 0 ? 0 : size);
    return value;
}

// Records the reports, asks to stop at the `stopAt`th question, and notes
// how many fsyncs came before the last question.
struct Observer final : MoveObserver {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    int questions = 0, stopAt = 0, syncsAtLastQuestion = -1;
    const int* syncs = nullptr;

    void copied(std::uint64_t done, std::uint64_t total) override { reports.emplace_back(done, total); }
    bool cancelled() override
    {
        syncsAtLastQuestion = syncs ? *syncs : -1;
        return ++questions == stopAt;
    }
    // How many reports, when they only grow against the one `total` and end on it; else none.
    std::size_t steadySteps(std::uint64_t total) const
    {
        for (std::size_t i = 0; i < reports.size(); ++i)
            if (reports[i].second != total || (i > 0 && reports[i].first < reports[i - 1].first))
                return 0;
        return !reports.empty() && reports.back().first == total ? reports.size() : 0;
    }
};

// A file of `size` bytes, all holes but for `chunk` at each of `at`.
void writeSparse(const std::string& path, const std::string& chunk, std::initializer_list<off_t> at, off_t size)
{
    const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    for (const off_t offset : at)
        ASSERT_EQ(::pwrite(fd.get(), chunk.data(), chunk.size(), offset), static_cast<ssize_t>(chunk.size()));
    ASSERT_EQ(::ftruncate(fd.get(), size), 0);
}

} // namespace

// Guards replacing a file or an empty folder by RENAME_NOREPLACE, link and unlink (NFS), or a placeholder (FAT).
TEST(MoveTest, NeverReplacesAFileOrAFolder)
{
    for (int way : {0, 1, 2}) {
        SCOPED_TRACE(way == 0 ? "RENAME_NOREPLACE" : way == 1 ? "link and unlink" : "placeholder");
        TempDir dir;
        FileMoveIo io = systemFileMoveIo();
        if (way > 0)
            refuseNoReplace(io);
        if (way == 2)
            io.linkat = failWhen(fromCall(1), EPERM, io.linkat);
        dir.write("caf\xE9 \xFF.jpg", "new");
        dir.write("b.jpg", "old");
        dir.makeFolder("Holiday/inner");
        dir.makeFolder("Beach");
        expectFailure(moveItemNoReplace(dir / "caf\xE9 \xFF.jpg", dir / "b.jpg", nullptr, io), EEXIST);
        expectFailure(moveItemNoReplace(dir / "Holiday", dir / "Beach", nullptr, io), way == 0 ? EEXIST : EINVAL);
        ASSERT_TRUE(moveItemNoReplace(dir / "caf\xE9 \xFF.jpg", dir / "\xC3\x28.jpg", nullptr, io));
        EXPECT_EQ(tree(dir.path()), "Beach/ Holiday/inner/ b.jpg=old \xC3\x28.jpg=new");
    }
}

// Guards a missing source's words, a folder moved into itself, and descriptions cut too long or inside a letter.
TEST(MoveTest, RefusalsAreToldInOneShortLineAndMakeNothing)
{
    TempDir dir;
    const Result<> missing = moveItemNoReplace(dir / "gone.jpg", dir / "b.jpg");
    expectFailure(missing, ENOENT);
    EXPECT_EQ(missing.error().description, "Could not move \u201C" + dir / "gone.jpg" + "\u201D to \u201C" +
                                               dir / "b.jpg" + "\u201D: No such file or directory");
    dir.write("Holiday/day 1/IMG_1.JPG");
    FileMoveIo io = systemFileMoveIo();
    io.renameat2 = failWhen(fromCall(1), EXDEV, io.renameat2);
    expectFailure(moveItemNoReplace(dir / "Holiday", dir / "Holiday/day 1/Holiday", nullptr, io), EINVAL);
    EXPECT_EQ(tree(dir.path()), "Holiday/day 1/IMG_1.JPG=data");

    std::string letters;
    for (int i = 0; i < 1000; ++i)
        letters += "\u00E9";
    for (int shift = 0; shift < 4; ++shift) { // each puts the cut inside another byte of a letter
        const std::string deep = dir / (std::string(shift, 'x') + "\n" + letters.substr(0, 250)) + "/" + letters;
        const Result<> result = moveItemNoReplace(deep, deep + "2", nullptr, io);
        expectFailure(result, ENOENT);
        const std::string& text = result.error().description;
        EXPECT_TRUE(text.size() <= maxDescriptionLength && text.starts_with("Could not move \u201C" + dir.path()) &&
                    text.ends_with("No such file or directory"))
            << text;
        for (std::size_t at = 0, length = 0; at < text.size(); at += length)
            ASSERT_NE(length = wellFormedUTF8Length(std::string_view(text).substr(at)), 0u) << "at byte " << at;
    }
}

// Guards bytes, mode, times, ACL, attributes, holes and trees lost either way, or a folder over an empty one.
TEST_F(CrossMoveTest, KeepsEverythingAboutTheItemsThereAndBack)
{
    const std::string chunk = photoBytes(64 << 10), &acl = aclLettingUserRead;
    writeSparse(dir / "clip.MOV", chunk, {0, 8 << 20}, 16 << 20);
    if (::setxattr((dir / "clip.MOV").c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0 ||
        ::setxattr(source.c_str(), "user.rating", "5", 1, 0) != 0)
        GTEST_SKIP() << "the filesystem of " << dir.path() << " holds no ACLs or user attributes";
    ASSERT_EQ(::chmod(source.c_str(), 0604), 0);
    const struct timespec times[2] = {{1500000000, 123456789}, {1600000000, 987654321}};
    dir.write("Holiday/day \xFF/IMG_1.JPG", "1");
    dir.makeFolder("Holiday/day \xFF/empty");
    fs::create_symlink("day \xFF/IMG_1.JPG", dir / "Holiday/latest");
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "Holiday/day \xFF").c_str(), times, 0), 0);
    const std::string folder = snapshot(dir / "Holiday"), video = snapshot(dir / "clip.MOV");
    EXPECT_EQ(folder, "folder: day \xFF/IMG_1.JPG=1 day \xFF/empty/ latest -> day \xFF/IMG_1.JPG");
    other.makeFolder("Holiday");
    expectFailure(move(dir / "Holiday", other / "Holiday"), EEXIST);
    EXPECT_EQ(snapshot(other / "Holiday") + " | " + snapshot(dir / "Holiday"), "folder:  | " + folder);
    fs::remove(other / "Holiday");
    // tmpfs before Linux 6.6 holds no user.* attributes.
    const bool ratingThere = ::setxattr(other.path().c_str(), "user.probe", "1", 1, 0) == 0;

    for (auto [from, to] : {std::pair{dir.path(), other.path()}, {other.path(), dir.path()}}) {
        SCOPED_TRACE(from + " to " + to);
        if (to == dir.path()) {
            userSpaceCopyOnly(io);
            auto user = [](int, const char* name, auto&&...) { return std::string_view(name).starts_with("user."); };
            io.fsetxattr = failWhen(user, EOPNOTSUPP, io.fsetxattr);
        }
        ASSERT_EQ(::utimensat(AT_FDCWD, (from + "/IMG_0412.JPG").c_str(), times, 0), 0); // reading moved the atime
        for (const char* name : {"IMG_0412.JPG", "clip.MOV", "Holiday"})
            ASSERT_TRUE(move(from + "/" + name, to + "/" + name)) << name;
        struct stat photo = {}, clip = {}, day = {}; // before reading the photo moves its atime
        ASSERT_EQ(::stat((to + "/IMG_0412.JPG").c_str(), &photo) + ::stat((to + "/clip.MOV").c_str(), &clip) +
                      ::stat((to + "/Holiday/day \xFF").c_str(), &day),
                  0);
        EXPECT_EQ(snapshot(from), "folder: ");
        EXPECT_EQ(snapshot(to + "/IMG_0412.JPG") + " " + snapshot(to + "/clip.MOV") + " " + snapshot(to + "/Holiday"),
                  shortly(original) + " " + video + " " + folder);
        EXPECT_EQ(photo.st_mode & 07777, 0604u);
        auto ns = [](const struct timespec& t) { return t.tv_sec * 1'000'000'000LL + t.tv_nsec; };
        EXPECT_EQ(std::tuple(ns(photo.st_atim), ns(photo.st_mtim), ns(day.st_mtim)),
                  std::tuple(ns(times[0]), ns(times[1]), ns(times[1])));
        EXPECT_LE(clip.st_blocks * 512, 1 << 20) << "the holes were filled";
        EXPECT_EQ(attribute(to + "/clip.MOV", "system.posix_acl_access"), acl);
        EXPECT_EQ(attribute(to + "/IMG_0412.JPG", "user.rating"), to == other.path() && ratingThere ? "5" : "");
    }
}

// Guards progress that shrinks or falls short, and a stop at any question leaving a trace or asked past.
TEST_F(CrossMoveTest, ReportsProgressAndStopsWhereverItIsAsked)
{
    dir.write("Holiday/IMG_1.JPG", original);
    dir.write("Holiday/day 2/IMG_2.JPG", "2");
    dir.write("Holiday/day 2/IMG_3.JPG", "");
    for (const char* name : {"a.JPG", "b.JPG", "c.JPG"})
        dir.write(std::string("Empty/") + name, "");
    writeSparse(dir / "clip.MOV", "data", {2 << 20}, 4 << 20);
    userSpaceCopyOnly(io);
    int syncs = 0;
    io.fsync = [&, real = io.fsync](int fd) {
        ++syncs;
        return real(fd);
    };
    const struct {
        std::string what, from;
        std::uint64_t total;
        std::size_t reports;
        int questions;
    } variants[] = {{"file", source, original.size(), 3, 4},
                    {"folder", dir / "Holiday", original.size() + 1, 4, 6},
                    {"video with holes", dir / "clip.MOV", 4 << 20, 1, 2},
                    {"folder of empty files", dir / "Empty", 0, 0, 3},
                    {"file without O_TMPFILE", source, original.size(), 3, 4}}; // last: a folder needs it
    for (const auto& v : variants) {
        if (v.what == "file without O_TMPFILE")
            likeFat(io);
        const std::string to = other / "Moved", before = snapshot(v.from);
        Observer counter;
        counter.syncs = &syncs;
        ASSERT_TRUE(move(v.from, to, &counter));
        EXPECT_GE(counter.steadySteps(v.total), v.reports) << v.what;
        EXPECT_GE(counter.questions, v.questions) << v.what;
        EXPECT_EQ(counter.syncsAtLastQuestion, syncs - 1) << v.what;
        ASSERT_TRUE(move(to, v.from));

        for (int stopAt = 1; stopAt <= counter.questions; ++stopAt) {
            SCOPED_TRACE(v.what + ", stopped at question " + std::to_string(stopAt));
            Observer observer;
            observer.stopAt = stopAt;
            const Result<> result = move(v.from, to, &observer);
            expectFailure(result, ECANCELED, Cause::cancelled);
            EXPECT_TRUE(result.error().description.ends_with(": the move was cancelled"));
            EXPECT_EQ(observer.questions, stopAt) << "asked again after the stop";
            EXPECT_EQ(snapshot(other.path()) + " | " + snapshot(v.from), "folder:  | " + before);
        }
    }
    Observer rename;
    ASSERT_TRUE(move(source, dir / "Renamed.JPG", &rename));
    EXPECT_EQ(rename.reports.size() + rename.questions, 0u);
}

// A move across filesystems while the world changes under it: other programs, other moves, and a move killed
// half-way. (A file written to during its move is a row of the rollback table.)

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

// Guards the copy going over a name taken before or during the copy, and on FUSE a name removed in the target folder
// (fusefat then destroys another file's bytes), even by a failed move.
TEST_F(CrossMoveTest, OnFuseTheCopyTakesOnlyAFreeNameAndNothingThereIsRemoved)
{
    likeFat(io);
    io.openat = [&, real = io.openat](int at, const char* name, int flags, mode_t mode) {
        const int fd = real(at, name, flags, mode);
        if (fd >= 0 && std::string_view(name) == "Swapped.JPG") // another program takes the name
            other.write("Swapped.JPG", "someone else's");
        return fd;
    };
    int removedThere = 0;
    io.unlinkat = [&, real = io.unlinkat](int at, const char* name, int flags) {
        struct stat folder {};
        struct stat there {};
        removedThere += ::fstat(at, &folder) == 0 && ::stat(other.path().c_str(), &there) == 0 &&
                        folder.st_ino == there.st_ino && folder.st_dev == there.st_dev;
        return real(at, name, flags);
    };
    other.write("Taken.JPG", "taken");
    other.write(".shoebox-move-4444444444", "a killed move's copy, left alone there");
    dir.write("Holiday/IMG_1.JPG", "1");
    expectFailure(move(source, other / "Taken.JPG"), EEXIST);
    expectFailure(move(source, other / "Beach: day 1.JPG"), EINVAL, Cause::nameNotAllowed);
    expectFailure(move(source, other / "Swapped.JPG"), EEXIST);
    expectFailure(move(dir / "Holiday", other / "Trip"), EINVAL);
    const std::string theirs = " .shoebox-move-4444444444=a killed move's copy, left alone there";
    EXPECT_EQ(snapshot(source) + " | " + tree(other.path()),
              shortly(original) + " |" + theirs + " Swapped.JPG=someone else's Taken.JPG=taken");
    ASSERT_TRUE(move(source, target));
    EXPECT_EQ(snapshot(source) + " | " + tree(other.path()),
              " |" + theirs + " Beach.JPG=" + shortly(original) + " Swapped.JPG=someone else's Taken.JPG=taken");
    EXPECT_EQ(removedThere, 0);
}

// Guards a killed move leaving the source short, a copy under the final name, or its hidden copy for good.
TEST_F(CrossMoveTest, WhatAKilledMoveLeftTheNextOneRemoves)
{
    dir.write("Holiday/IMG_1.JPG", original);
    const std::string before = snapshot(dir.path());
    userSpaceCopyOnly(io);
    for (std::string what : {"file", "folder", "file without O_TMPFILE", "file on FUSE without O_TMPFILE"}) {
        SCOPED_TRACE(what);
        if (what == "file without O_TMPFILE")
            io.openat = failWhen(unnamedFile, EOPNOTSUPP, io.openat);
        if (what == "file on FUSE without O_TMPFILE")
            likeFat(io);
        // On FUSE the copy is made at the root of the filesystem, which other tests may use at the same time.
        const std::string scratch = fs::path(other.path()).parent_path() / ".shoebox-moves";
        const Names scratchBefore = names(scratch);
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
        EXPECT_TRUE(what == "file" || what.ends_with("on FUSE without O_TMPFILE")
                        ? left.empty()
                        : left.size() == 1 && left[0].starts_with(".shoebox-move-"))
            << join(left);
        Names killed;
        std::ranges::set_difference(names(scratch), scratchBefore, std::back_inserter(killed));
        EXPECT_EQ(killed.size(), what.ends_with("on FUSE without O_TMPFILE") ? 1u : 0u) << join(killed);
        ASSERT_TRUE(move(dir.write("next.JPG", "next"), other / "next.JPG"));
        EXPECT_EQ(tree(other.path()), "next.JPG=next");
        for (const std::string& name : killed)
            EXPECT_FALSE(exists(scratch + "/" + name)) << name;
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

    io.openat = failWhen(unnamedFile, EOPNOTSUPP, io.openat); // the copy under way has a hidden name
    userSpaceCopyOnly(io);
    Result<> second;
    io.pwrite = [&, started = false, real = io.pwrite](int fd, const void* data, size_t length, off_t at) mutable {
        if (!std::exchange(started, true))
            second = move(dir.write("IMG_2.JPG", "second"), other / "IMG_2.JPG");
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
    io.openat = failWhen(unnamedFile, EOPNOTSUPP, io.openat);
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
