// Every way a move can fail once it has started, one failing system call at
// a time: the source and the target folder stay as they were, or both
// copies are kept and the failure says so; a fault the move can work around
// still moves the item whole.

#include <sys/xattr.h>
#include <unistd.h>

#include <set>

#include "platform/LinuxFileManager.h"
#include "tests/FileMoveTesting.h"

using namespace shoebox;
using namespace shoebox::testing;
namespace {

// A photo, a folder of them or a symbolic link, each to another filesystem;
// or a photo renamed within its folder.
enum class Item { file, folder, symlink, renamed };

struct Scene {
    explicit Scene(Item item)
    {
        if (item == Item::folder) {
            here.write("Holiday/IMG_1.JPG", photoBytes());
            here.write("Holiday/day 2/IMG_2.JPG", "2");
            fs::create_symlink("IMG_1.JPG", here / "Holiday/latest");
        } else if (item == Item::symlink) {
            fs::create_symlink("IMG_0412.JPG", here / "latest");
        } else {
            here.write("IMG_0412.JPG", photoBytes());
        }
        from = here / (item == Item::folder ? "Holiday" : item == Item::symlink ? "latest" : "IMG_0412.JPG");
        to = (item == Item::renamed ? here.path() : there.path()) + (item == Item::folder    ? "/Trip"
                                                                     : item == Item::symlink ? "/latest"
                                                                                             : "/Beach.JPG");
        targetFolder = fs::path(to).parent_path();
    }

    TempDir here;
    TempDir there{folderOnAnotherFilesystem(here.path()).value_or("/tmp")};
    std::string from, to, targetFolder;
};

auto isHiddenCopy = [](std::string_view name) { return name.starts_with(".shoebox-move-"); };

using Io = FileMoveIo;
using Inject = std::function<void(Io&, Scene&)>;

// `call` fails with `error` whenever `when` holds.
template <auto call, typename When>
Inject fail(When when, int error)
{
    return [=](Io& io, Scene&) { io.*call = failWhen(when, error, io.*call); };
}
// `act(scene, args...)` runs before every `call`.
template <auto call, typename Act>
Inject before(Act act)
{
    return [=](Io& io, Scene& scene) {
        io.*call = [=, &scene, real = io.*call](auto... args) mutable {
            act(scene, args...);
            return real(args...);
        };
    };
}
template <typename... Injects>
Inject all(Injects... injects)
{
    return [=](Io& io, Scene& scene) { (Inject(injects)(io, scene), ...); };
}

auto first = fromCall(1); // and every one after
auto onlyFirst = [done = false](auto&&...) mutable { return !std::exchange(done, true); };
auto onName = [](const std::string& name) {
    return [name](int, const char* path, auto&&...) { return fs::path(path).filename() == name; };
};
auto onTemporary = [](int, const char* path, auto&&...) { return isHiddenCopy(fs::path(path).filename().c_str()); };
auto onFolder = [](int fd) { return isFolder(fd); };
// The fsync of a folder after `n` others: in a folder move, the copy of
// "day 2" and the copy itself come first, then the target folder.
auto afterFolderSyncs = [](int n) {
    return [n, folders = 0](int fd) mutable { return isFolder(fd) && ++folders == n + 1; };
};

const Inject userCopy = [](Io& io, Scene&) { userSpaceCopyOnly(io); };
const Inject fat = [](Io& io, Scene&) { likeFat(io); };
const Inject noReplace = [](Io& io, Scene&) { refuseNoReplace(io); };
const Inject noTmpfile = fail<&Io::openat>(unnamedFile, EOPNOTSUPP);
template <auto call>
const Inject answersZero = [](Io& io, Scene&) { io.*call = [](auto&&...) -> ssize_t { return 0; }; };
const Inject withRating = [](Io&, Scene& s) { ASSERT_EQ(::setxattr(s.from.c_str(), "user.rating", "5", 1, 0), 0); };
const Inject withHoleAtEnd = [](Io&, Scene& s) { ASSERT_EQ(::truncate(s.from.c_str(), 16 << 20), 0); };
// "more" lands at the end of the original, once, before the first `call` that `when` accepts.
template <auto call, typename When = decltype(first)>
Inject growsBefore(When when = first)
{
    return before<call>([when, grown = false](Scene& s, auto... args) mutable {
        if (when(args...) && !std::exchange(grown, true))
            std::ofstream(s.from, std::ios::app) << "more";
    });
}
auto replacedNow = [](Scene& s, auto&&...) { fs::rename(s.here.write("replaced", "new version"), s.from); };
auto replacedOnOpen = [](Scene& s, int, const char* name, auto&&...) {
    if (name == s.from)
        replacedNow(s);
};
// Just before the copy gets its name.
auto folderReplaced = [](Scene& s, int, const char*, int, const char* to, unsigned) {
    if (to == std::string_view("Trip")) {
        fs::rename(s.from, s.here / "old");
        s.here.makeFolder("Holiday");
    }
};
auto plainRename = [](int, const char*, int, const char*, unsigned flags) { return flags == 0; };
// Publishing the copy under its final name fails.
auto toBeach = [](int, const char*, int, const char* to, auto) { return std::string_view(to) == "Beach.JPG"; };
const Inject unpublishable = all(fail<&Io::linkat>(toBeach, EROFS), fail<&Io::renameat2>(toBeach, EROFS));

// Every other write is cut short, every other one interrupted, and so are
// every other read and the first fsync.
const Inject shortAndInterrupted = [](Io& io, Scene&) {
    userSpaceCopyOnly(io);
    io.pwrite = [real = io.pwrite, calls = 0](int fd, const void* data, size_t length, off_t at) mutable {
        if (++calls % 2 == 0) {
            errno = EINTR;
            return ssize_t(-1);
        }
        return real(fd, data, (length + 1) / 2, at);
    };
    io.pread = failWhen([calls = 0](auto&&...) mutable { return ++calls % 2 == 0; }, EINTR, io.pread);
    io.fsync = failWhen(onlyFirst, EINTR, io.fsync);
};

// copy_file_range as between two filesystems of one type (it answers EXDEV between ext4 and tmpfs): a first step
// of 1 MiB, then a failure.
const Inject kernelCopyFailsHalfWay = [](Io& io, Scene&) {
    io.copyFileRange = [calls = 0](int, off_t* inAt, int, off_t* outAt, size_t) mutable -> ssize_t {
        if (++calls > 1)
            return errno = EIO, -1;
        *inAt += 1 << 20;
        *outAt += 1 << 20;
        return 1 << 20;
    };
};
// The original moves away as it is removed, and the removal fails.
const Inject sourceVanishes = all(fail<&Io::unlinkat>(onName("IMG_0412.JPG"), EACCES),
                                  before<&Io::unlinkat>([](Scene& s, int, const char* name, int) {
                                      if (name == s.from)
                                          fs::rename(s.from, s.here / "elsewhere");
                                  }));

// The original cannot be removed, and meanwhile another program has put a file of its own under the final name.
const Inject copyReplacedThenOriginalStuck = all(fail<&Io::unlinkat>(onName("IMG_0412.JPG"), EACCES),
                                                 before<&Io::unlinkat>([](Scene& s, int, const char* name, int) {
                                                     if (name == s.from)
                                                         fs::rename(writeFile(s.to + "~", "theirs"), s.to);
                                                 }));

// Once the target folder cannot be synced after publishing, nothing can be removed.
const Inject publishedFolderStuck = all(fail<&Io::fsync>(afterFolderSyncs(2), EIO), fail<&Io::unlinkat>(first, EIO));

enum Outcome {
    untouched,  // source and target folder exactly as before
    bothKept,   // source as before, and a whole copy at the destination
    copyKept,   // a whole copy at the destination; the source changed or partly gone
    moved,      // the fault was worked around: the item moved whole
    theirsKept, // source as before, and what another program put under the final name kept
};
enum Source { asBefore, replaced, grown }; // what the injection itself did to the source

struct Row {
    const char* what;
    Item item;
    Inject inject;
    int code;
    Cause cause;
    Outcome outcome;
    bool hiddenCopyLeft = false; // which the next move into the folder removes
    Source source = asBefore;
    const char* mentions = ""; // in the description, after the source's path
};

} // namespace

TEST(MoveRollbackTest, EveryFailingCallLeavesTheSourceWholeOrBothCopies)
{
    SKIP_WITHOUT_ANOTHER_FILESYSTEM("/tmp");
    using enum Item;
    using enum Error::Cause;
    const auto onOriginal = onName("IMG_0412.JPG"), onCopy = onName("Beach.JPG");
    // clang-format off
    const Row rows[] = {
        // Copying the contents.
        {"copy_file_range answers 0 at once: another way, never an empty copy", file, answersZero<&Io::copyFileRange>, 0, none, moved},
        {"sendfile answers 0 at once", file, all(fail<&Io::copyFileRange>(first, EXDEV), answersZero<&Io::sendfile>), 0, none, moved},
        {"short writes and interrupted calls", file, shortAndInterrupted, 0, none, moved},
        {"copy_file_range fails half-way", file, kernelCopyFailsHalfWay, EIO, none, untouched},
        {"no room for the copy", file, fail<&Io::fallocate>(first, ENOSPC), ENOSPC, none, untouched},
        {"the disk fills up during the copy", file, all(userCopy, fail<&Io::pwrite>(fromCall(2), ENOSPC)), ENOSPC, none, untouched},
        {"the source cannot be read", file, all(userCopy, fail<&Io::pread>(fromCall(2), EIO)), EIO, none, untouched},
        {"a sparse copy cannot be given its size", file, all(withHoleAtEnd, fail<&Io::ftruncate>(first, EIO)), EIO, none, untouched},
        {"the mode cannot be set", file, fail<&Io::fchmod>(first, EIO), EIO, none, untouched},
        {"the filesystem holds no modes", file, fail<&Io::fchmod>(first, EPERM), 0, none, moved},
        {"an extended attribute cannot be written", file, all(withRating, fail<&Io::fsetxattr>(first, EIO)), EIO, none, untouched},
        {"the times cannot be set", file, fail<&Io::futimens>(first, EIO), EIO, none, untouched},
        {"the copy cannot be synced", file, fail<&Io::fsync>(first, EIO), EIO, none, untouched},
        {"the original grows during the copy: never published", file, all(userCopy, growsBefore<&Io::pwrite>(), unpublishable), 0, changedDuringMove, untouched, false, grown},
        // Making room for the copy.
        {"no unnamed file may be made there", file, fail<&Io::openat>(unnamedFile, EACCES), EACCES, none, untouched},
        {"no hidden file may be made there", file, all(noTmpfile, fail<&Io::openat>(onTemporary, EACCES)), EACCES, none, untouched},
        {"a failed copy's hidden file stays", file, all(noTmpfile, fail<&Io::futimens>(first, EIO), fail<&Io::unlinkat>(onTemporary, EIO)), EIO, none, untouched, true},
        {"no folder of our own may be made at the root of a FUSE filesystem", file, all(fat, fail<&Io::openat>(onName(".shoebox-moves"), EACCES)), EACCES, none, untouched},
        {"the original is replaced as it is opened", file, before<&Io::openat>(replacedOnOpen), 0, changedDuringMove, untouched, false, replaced},
        // Publishing the copy.
        {"the name is taken before the copy is published", file, [](Io&, Scene& s) { writeFile(s.to, "theirs"); }, EEXIST, none, untouched},
        {"a copy made in a folder of our own cannot be renamed out to its name", file, all(fat, fail<&Io::renameat2>(plainRename, EIO)), EIO, none, untouched},
        {"published by a link, as on NFS", file, all(noReplace, noTmpfile), 0, none, moved},
        {"published by a link whose hidden name stays", file, all(noReplace, noTmpfile, fail<&Io::unlinkat>(onTemporary, EIO)), 0, none, moved, true},
        {"the target folder cannot be synced", file, fail<&Io::fsync>(onFolder, EIO), EIO, none, untouched},
        {"the target folder cannot be synced, nor the copy taken back", file, all(fail<&Io::fsync>(onFolder, EIO), fail<&Io::unlinkat>(onCopy, EIO)), EIO, bothCopiesKept, bothKept},
        {"the original grows after publishing", file, growsBefore<&Io::fsync>(onFolder), 0, changedDuringMove, untouched, false, grown},
        {"the original grows after publishing, and the copy cannot be taken back", file, all(growsBefore<&Io::fsync>(onFolder), fail<&Io::unlinkat>(onCopy, EIO)), 0, bothCopiesKept, bothKept, false, grown},
        // Removing the original.
        {"the original cannot be removed", file, fail<&Io::unlinkat>(onOriginal, EACCES), EACCES, none, untouched},
        {"the original cannot be removed, nor the copy taken back", file, all(fail<&Io::unlinkat>(onOriginal, EACCES), fail<&Io::unlinkat>(onCopy, EIO)), EACCES, bothCopiesKept, bothKept},
        {"the original cannot be removed, and on FUSE the copy is not taken back (a removal there can destroy another file)", file, all(fat, fail<&Io::unlinkat>(onOriginal, EACCES)), EACCES, bothCopiesKept, bothKept},
        {"the original cannot be removed, and the copy was replaced meanwhile: theirs is not taken back", file, copyReplacedThenOriginalStuck, EACCES, none, theirsKept},
        {"the original vanishes as it is removed", file, sourceVanishes, EACCES, keptAtDestination, copyKept},
        {"the original is replaced during the copy", file, all(userCopy, before<&Io::pwrite>(replacedNow)), 0, keptAtDestination, copyKept},
        // A symbolic link.
        {"a link's target folder cannot be synced", symlink, fail<&Io::fsync>(onFolder, EIO), EIO, none, untouched},
        {"a link cannot be made there", symlink, fail<&Io::symlinkat>(first, EPERM), EPERM, none, untouched},
        // Renaming without RENAME_NOREPLACE, by link and unlink.
        {"the old name cannot be removed, so the move is undone", renamed, all(noReplace, fail<&Io::unlinkat>(onOriginal, EACCES)), EACCES, none, untouched},
        {"the old name cannot be removed, nor the new one", renamed, all(noReplace, fail<&Io::unlinkat>(onOriginal, EACCES), fail<&Io::unlinkat>(onCopy, EIO)), EACCES, bothCopiesKept, bothKept},
        {"the old name vanishes as it is removed", renamed, all(noReplace, sourceVanishes), EACCES, keptAtDestination, copyKept},
        {"a link is refused as crossing filesystems: copied", renamed, all(noReplace, fail<&Io::linkat>(onlyFirst, EXDEV)), 0, none, moved},
        // A folder.
        {"a folder inside cannot be made", folder, fail<&Io::mkdirat>(onName("day 2"), EIO), EIO, none, untouched},
        {"a link inside cannot be made", folder, fail<&Io::symlinkat>(first, EIO), EIO, none, untouched},
        {"a photo inside cannot be copied", folder, all(userCopy, fail<&Io::pwrite>(fromCall(2), ENOSPC)), ENOSPC, none, untouched, false, asBefore, "/IMG_1.JPG"},
        {"the hidden folder cannot be opened", folder, fail<&Io::openat>(onTemporary, EMFILE), EMFILE, none, untouched},
        {"the copy's folder cannot be synced", folder, fail<&Io::fsync>(onFolder, EIO), EIO, none, untouched},
        {"a failed copy's hidden folder stays", folder, all(fail<&Io::fsync>(onFolder, EIO), fail<&Io::unlinkat>(onTemporary, EIO)), EIO, none, untouched, true},
        {"the target folder cannot be synced after publishing", folder, fail<&Io::fsync>(afterFolderSyncs(2), EIO), EIO, none, untouched},
        {"the target folder cannot be synced after publishing, nor the copy taken back", folder, publishedFolderStuck, EIO, bothCopiesKept, bothKept},
        {"the original folder cannot be removed entirely", folder, fail<&Io::unlinkat>(onName("IMG_2.JPG"), EACCES), EACCES, bothCopiesKept, copyKept},
        {"the original folder is replaced before it is removed", folder, before<&Io::renameat2>(folderReplaced), 0, keptAtDestination, copyKept},
    };
    // clang-format on
    for (const Row& row : rows) {
        for (bool tmpfile : row.item == file ? std::vector{true, false} : std::vector{true}) {
            SCOPED_TRACE(std::string(row.what) + (tmpfile ? "" : ", without O_TMPFILE"));
            Scene scene(row.item);
            FileMoveIo io = systemFileMoveIo();
            if (!tmpfile)
                noTmpfile(io, scene);
            row.inject(io, scene);
            const std::string source = snapshot(scene.from), folder = snapshot(scene.targetFolder);
            const Result<> result = moveItemNoReplace(scene.from, scene.to, nullptr, io);
            if (row.code == 0 && row.cause == none) {
                EXPECT_TRUE(result) << result.error().description;
            } else {
                expectFailure(result, row.code, row.cause);
                EXPECT_NE(result.error().description.find(scene.from + row.mentions + "\u201D"), std::string::npos)
                    << result.error().description;
            }
            auto hidden = [&] { return std::ranges::count_if(names(scene.targetFolder), isHiddenCopy); };
            EXPECT_EQ(hidden(), row.hiddenCopyLeft ? 1 : 0);
            if (row.hiddenCopyLeft) {
                ASSERT_TRUE(moveItemNoReplace(scene.here.write("next.JPG"), scene.targetFolder + "/next.JPG"));
                fs::remove(scene.targetFolder + "/next.JPG");
                EXPECT_EQ(hidden(), 0);
            }
            const std::string expected = row.source == grown ? shortly(photoBytes() + "more") : source;
            EXPECT_TRUE(row.outcome == copyKept || row.source == replaced ||
                        snapshot(scene.from) == (row.outcome == moved ? "" : expected))
                << snapshot(scene.from);
            EXPECT_EQ(row.outcome == untouched ? snapshot(scene.targetFolder) : snapshot(scene.to),
                      row.outcome == untouched    ? folder
                      : row.outcome == theirsKept ? "theirs"
                                                  : source);
        }
    }
}

namespace {

// Follows a group move: the last progress it was told and every total, and a cancel from the start when asked for.
struct GroupWatch final : MoveObserver {
    bool cancel = false;
    std::uint64_t done = 0;
    std::set<std::uint64_t> totals;
    void copied(std::uint64_t d, std::uint64_t t) override { done = d, totals.insert(t); }
    bool cancelled() override { return cancel; }
};

struct GroupRow {
    const char* what;
    bool across;
    Inject inject;
    int code;
    Cause cause = Cause::none;
    const char* failing = ""; // the member whose move the description names
    bool cancel = false;
};

} // namespace

// Guards a photo's companions split from it: a member that fails brings back those moved before it, or says which
// one could not come back; the group's bytes counted as one copy.
TEST(MoveRollbackTest, AGroupMovesWholeOrComesBackWhole)
{
    SKIP_WITHOUT_ANOTHER_FILESYSTEM("/tmp");
    using enum Error::Cause;
    auto onlyCall = [](int nth) { return [nth, calls = 0](auto&&...) mutable { return ++calls == nth; }; };
    auto onNames = [](const std::vector<std::string>& names) {
        return [names](int, const char*, int, const char* to, unsigned) {
            return std::ranges::count(names, fs::path(to).filename().string()) > 0;
        };
    };
    // clang-format off
    const GroupRow rows[] = {
        {"all three move, counted as one copy", true, [](Io&, Scene&) {}, 0},
        {"the second's name is taken", true, [](Io&, Scene& s) { s.there.write("Beach.MOV", "theirs"); }, EEXIST, none, "IMG_0412.MOV"},
        {"the third cannot be renamed", false, fail<&Io::renameat2>(onNames({"Beach.AAE"}), EIO), EIO, none, "IMG_0412.AAE"},
        {"the disk fills up copying the third", true, all(userCopy, fail<&Io::pwrite>(onlyCall(6), ENOSPC)), ENOSPC, none, "IMG_0412.AAE"},
        {"the third fails and the photo cannot go back", false, fail<&Io::renameat2>(onNames({"Beach.AAE", "IMG_0412.HEIC"}), EIO), EIO, keptAtDestination, "IMG_0412.AAE"},
        {"cancelled after the first", false, [](Io&, Scene&) {}, ECANCELED, cancelled, "IMG_0412.MOV", true},
    };
    // clang-format on
    for (const GroupRow& row : rows) {
        SCOPED_TRACE(row.what);
        Scene scene(Item::renamed);
        if (row.across)
            scene.to = scene.there / "Beach.JPG";
        const std::string to = fs::path(scene.to).parent_path();
        // Sizes that tell the members apart: the photo's 3 MiB, the video's 1 MiB plus a byte, the edit's 4 bytes.
        fs::rename(scene.from, scene.here / "IMG_0412.HEIC");
        scene.here.write("IMG_0412.MOV", photoBytes((1 << 20) + 1));
        scene.here.write("IMG_0412.AAE", "edit");
        std::vector<PathMove> items;
        for (const char* suffix : {".HEIC", ".MOV", ".AAE"})
            items.push_back({scene.here / ("IMG_0412" + std::string(suffix)), to + "/Beach" + suffix});
        FileMoveIo io = systemFileMoveIo();
        row.inject(io, scene);
        const std::string here = tree(scene.here.path()), there = tree(to);
        GroupWatch watch;
        watch.cancel = row.cancel;
        LinuxFileManager files(io);
        const Result<> result = files.moveItemsAtPaths(items, &watch);

        if (row.code == 0) {
            ASSERT_TRUE(result) << result.error().description;
            EXPECT_EQ(tree(to), "Beach.AAE=edit Beach.HEIC=" + shortly(photoBytes()) +
                                    " Beach.MOV=" + shortly(photoBytes((1 << 20) + 1)));
            const std::uint64_t group = (3u << 20) + (1u << 20) + 1 + 4;
            EXPECT_EQ(watch.done, group);
            EXPECT_EQ(watch.totals, std::set{group}) << "the whole group's bytes from the start";
            continue;
        }
        expectFailure(result, row.code, row.cause);
        EXPECT_TRUE(result.error().description.starts_with("Could not move \u201C" + scene.here / row.failing))
            << result.error().description;
        if (row.cause == keptAtDestination) {
            EXPECT_TRUE(result.error().description.ends_with(
                "IMG_0412.HEIC\u201D: Input/output error, so it stays at its new place"))
                << result.error().description;
            EXPECT_EQ(tree(scene.here.path()),
                      "Beach.HEIC=" + shortly(photoBytes()) +
                          " IMG_0412.AAE=edit IMG_0412.MOV=" + shortly(photoBytes((1 << 20) + 1)));
            continue;
        }
        EXPECT_EQ(tree(scene.here.path()), here);
        EXPECT_EQ(tree(to), there);
    }
}
