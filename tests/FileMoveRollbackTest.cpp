// Every way a move can fail once it has started, one failing system call at
// a time through the seam: the source stays as it was and the target folder
// as it was, or both copies are kept and the failure says so; a fault the
// move can work around still moves the item whole.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <map>

#include "FileMoveTesting.h"

using namespace shoebox;
using namespace shoebox::testing;
namespace fs = std::filesystem;

namespace {

// The item moved in a scene: a photo, a folder of them, a symbolic link
// (each to another filesystem), or a photo renamed within its folder where
// RENAME_NOREPLACE is refused.
enum class Item { file, folder, symlink, renamed };

// What a failure leaves.
enum class Outcome {
    untouched, // source and target folder exactly as before
    bothKept,  // source as before, and a whole copy at the destination
    copyKept,  // a whole copy at the destination; the source changed or partly gone
    moved,     // the fault was worked around: the item moved whole
};

struct Scene {
    explicit Scene(Item item) : item(item)
    {
        switch (item) {
        case Item::file:
        case Item::renamed:
            from = here.write("IMG_0412.JPG", photoBytes());
            to = item == Item::file ? there / "Beach.JPG" : here / "Beach.JPG";
            break;
        case Item::folder:
            here.write("Holiday/IMG_1.JPG", photoBytes());
            here.write("Holiday/day 2/IMG_2.JPG", "2");
            fs::create_symlink("IMG_1.JPG", here / "Holiday/latest");
            from = here / "Holiday";
            to = there / "Trip";
            break;
        case Item::symlink:
            fs::create_symlink("IMG_0412.JPG", here / "latest");
            from = here / "latest";
            to = there / "latest";
            break;
        }
        targetFolder = fs::path(to).parent_path();
    }

    Item item;
    TempDir here;
    TempDir there{folderOnAnotherFilesystem(here.path()).value_or("/tmp")};
    std::string from, to, targetFolder;
};

// Every item under `path` (itself included) with what it holds: a file's
// bytes, a link's target, or that it is a folder.
std::map<std::string, std::string> snapshot(const std::string& path)
{
    std::map<std::string, std::string> items;
    auto note = [&](const fs::path& item, const std::string& as) {
        const fs::file_status status = fs::symlink_status(item);
        items[as] = fs::is_symlink(status)     ? "-> " + fs::read_symlink(item).string()
                    : fs::is_directory(status) ? "folder"
                    : fs::exists(status)       ? readFile(item)
                                               : "?";
    };
    if (!exists(path))
        return items;
    note(path, ".");
    if (fs::is_directory(fs::symlink_status(path)))
        for (const auto& entry : fs::recursive_directory_iterator(path))
            note(entry.path(), entry.path().lexically_relative(path).string());
    return items;
}

Names hiddenCopies(const std::string& folder)
{
    Names hidden;
    for (const std::string& name : names(folder))
        if (name.starts_with(".shoebox-move-"))
            hidden.push_back(name);
    return hidden;
}

std::string_view lastComponent(const char* name)
{
    const std::string_view path(name);
    return path.substr(path.rfind('/') + 1);
}

// Conditions on a call's arguments, for failWhen.
auto onName(std::string name)
{
    return [name](int, const char* called, auto&&...) { return lastComponent(called) == name; };
}
auto onTemporary()
{
    return [](int, const char* called, auto&&...) { return lastComponent(called).starts_with(".shoebox-move-"); };
}
auto onFolder()
{
    return [](int fd, auto&&...) {
        struct stat status {};
        return ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
    };
}
// The first time `when` holds, and never again.
template <typename When>
auto once(When when)
{
    return
        [when, done = false](auto&&... args) mutable { return !done && when(args...) && !std::exchange(done, true); };
}

// copy_file_range as between two filesystems of one type (it answers EXDEV
// between ext4 and tmpfs), in steps of 1 MiB.
std::function<ssize_t(int, off_t*, int, off_t*, size_t)> kernelCopyInSteps(const FileMoveIo& io)
{
    return [pread = io.pread, pwrite = io.pwrite](int in, off_t* inOffset, int out, off_t* outOffset, size_t) {
        std::string step(1 << 20, '\0');
        const ssize_t n = pread(in, step.data(), step.size(), *inOffset);
        if (n > 0 && pwrite(out, step.data(), static_cast<size_t>(n), *outOffset) != n)
            return ssize_t(-1);
        *inOffset += n > 0 ? n : 0;
        *outOffset += n > 0 ? n : 0;
        return n;
    };
}

// The fsync of a folder after `n` others: in a folder move, the copy of
// "day 2" and the copy itself come first, then the target folder.
auto afterFolderSyncs(int n)
{
    return [n, folders = 0](int fd) mutable { return onFolder()(fd) && ++folders == n + 1; };
}

// As NFS or CIFS: no RENAME_NOREPLACE.
void refuseNoReplace(FileMoveIo& io)
{
    io.renameat2 =
        failWhen([](int, const char*, int, const char*, unsigned flags) { return flags != 0; }, EINVAL, io.renameat2);
}

struct Row {
    const char* what;
    Item item;
    std::function<void(FileMoveIo&, Scene&)> inject;
    int code;
    Cause cause;
    Outcome outcome;
    bool hiddenCopyLeft = false; // which the next move into the folder removes
    bool sourceChanged = false;  // by the injection itself
    const char* mentions = "";   // in the description, after the source's path
};

} // namespace

TEST(MoveRollbackTest, EveryFailingCallLeavesTheSourceWholeOrBothCopies)
{
    SKIP_WITHOUT_ANOTHER_FILESYSTEM("/tmp");
    using enum Item;
    using enum Outcome;
    const Row rows[] = {
        // Copying the contents.
        {"copy_file_range answers 0 at once: another way is taken, never an empty copy", file,
         [](FileMoveIo& io, Scene&) { io.copyFileRange = [](auto&&...) -> ssize_t { return 0; }; }, 0, Cause::none,
         moved},
        {"sendfile answers 0 at once", file,
         [](FileMoveIo& io, Scene&) {
             io.copyFileRange = failWhen(fromCall(1), EXDEV, io.copyFileRange);
             io.sendfile = [](auto&&...) -> ssize_t { return 0; };
         },
         0, Cause::none, moved},
        {"short writes and interrupted calls", file,
         [](FileMoveIo& io, Scene&) {
             userSpaceCopyOnly(io);
             io.pwrite = [real = io.pwrite, calls = 0](int fd, const void* data, size_t length, off_t at) mutable {
                 if (++calls % 2 == 0) {
                     errno = EINTR;
                     return ssize_t(-1);
                 }
                 return real(fd, data, (length + 1) / 2, at);
             };
             io.pread = failWhen([calls = 0](auto&&...) mutable { return ++calls % 2 == 0; }, EINTR, io.pread);
             io.fsync = failWhen(once([](auto&&...) { return true; }), EINTR, io.fsync);
         },
         0, Cause::none, moved},
        {"copy_file_range fails half-way", file,
         [](FileMoveIo& io, Scene&) { io.copyFileRange = failWhen(fromCall(2), EIO, kernelCopyInSteps(io)); }, EIO,
         Cause::none, untouched},
        {"no room for the copy", file,
         [](FileMoveIo& io, Scene&) { io.fallocate = failWhen(fromCall(1), ENOSPC, io.fallocate); }, ENOSPC,
         Cause::none, untouched},
        {"the disk fills up during the copy", file,
         [](FileMoveIo& io, Scene&) {
             userSpaceCopyOnly(io);
             io.pwrite = failWhen(fromCall(2), ENOSPC, io.pwrite);
         },
         ENOSPC, Cause::none, untouched},
        {"the source cannot be read", file,
         [](FileMoveIo& io, Scene&) {
             userSpaceCopyOnly(io);
             io.pread = failWhen(fromCall(2), EIO, io.pread);
         },
         EIO, Cause::none, untouched},
        {"a sparse copy cannot be given its size", file,
         [](FileMoveIo& io, Scene& scene) {
             ASSERT_EQ(::truncate(scene.from.c_str(), 16 << 20), 0); // a hole at the end
             io.ftruncate = failWhen(fromCall(1), EIO, io.ftruncate);
         },
         EIO, Cause::none, untouched},
        {"the mode cannot be set", file,
         [](FileMoveIo& io, Scene&) { io.fchmod = failWhen(fromCall(1), EIO, io.fchmod); }, EIO, Cause::none,
         untouched},
        {"the filesystem holds no modes", file,
         [](FileMoveIo& io, Scene&) { io.fchmod = failWhen(fromCall(1), EPERM, io.fchmod); }, 0, Cause::none, moved},
        {"an extended attribute cannot be written", file,
         [](FileMoveIo& io, Scene& scene) {
             ASSERT_EQ(::setxattr(scene.from.c_str(), "user.rating", "5", 1, 0), 0);
             io.fsetxattr = failWhen(fromCall(1), EIO, io.fsetxattr);
         },
         EIO, Cause::none, untouched},
        {"the times cannot be set", file,
         [](FileMoveIo& io, Scene&) { io.futimens = failWhen(fromCall(1), EIO, io.futimens); }, EIO, Cause::none,
         untouched},
        {"the copy cannot be synced", file,
         [](FileMoveIo& io, Scene&) { io.fsync = failWhen(fromCall(1), EIO, io.fsync); }, EIO, Cause::none, untouched},
        // Making room for the copy.
        {"no unnamed file may be made there", file,
         [](FileMoveIo& io, Scene&) {
             auto tmpfile = [](int, const char*, int flags, mode_t) { return (flags & O_TMPFILE) == O_TMPFILE; };
             io.openat = failWhen(tmpfile, EACCES, io.openat);
         },
         EACCES, Cause::none, untouched},
        {"no hidden file may be made there", file,
         [](FileMoveIo& io, Scene&) {
             likeFat(io);
             io.openat = failWhen(onTemporary(), EACCES, io.openat);
         },
         EACCES, Cause::none, untouched},
        {"a failed copy's hidden file cannot be removed", file,
         [](FileMoveIo& io, Scene&) {
             likeFat(io);
             io.futimens = failWhen(fromCall(1), EIO, io.futimens);
             io.unlinkat = failWhen(onTemporary(), EIO, io.unlinkat);
         },
         EIO, Cause::none, untouched, true},
        {"the original is replaced while it is opened", file,
         [](FileMoveIo& io, Scene& scene) {
             io.openat = [&, real = io.openat](int at, const char* name, int flags, mode_t mode) {
                 if (name == scene.from && !exists(scene.here / "replaced"))
                     fs::rename(scene.here.write("replaced", "new version"), scene.from);
                 return real(at, name, flags, mode);
             };
         },
         0, Cause::changedDuringMove, untouched, false, true},
        // Publishing the copy.
        {"the name is taken before the copy is published", file,
         [](FileMoveIo&, Scene& scene) { writeFile(scene.to, "someone else's"); }, EEXIST, Cause::none, untouched},
        {"renaming over our placeholder fails", file,
         [](FileMoveIo& io, Scene&) {
             likeFat(io);
             auto plain = [](int, const char*, int, const char*, unsigned flags) { return flags == 0; };
             io.renameat2 = failWhen(plain, EIO, io.renameat2);
         },
         EIO, Cause::none, untouched},
        {"published by a link, as on NFS", file,
         [](FileMoveIo& io, Scene&) {
             refuseNoReplace(io);
             auto tmpfile = [](int, const char*, int flags, mode_t) { return (flags & O_TMPFILE) == O_TMPFILE; };
             io.openat = failWhen(tmpfile, EOPNOTSUPP, io.openat);
         },
         0, Cause::none, moved},
        {"published by a link whose hidden name cannot be dropped", file,
         [](FileMoveIo& io, Scene&) {
             refuseNoReplace(io);
             auto tmpfile = [](int, const char*, int flags, mode_t) { return (flags & O_TMPFILE) == O_TMPFILE; };
             io.openat = failWhen(tmpfile, EOPNOTSUPP, io.openat);
             io.unlinkat = failWhen(onTemporary(), EIO, io.unlinkat);
         },
         0, Cause::none, moved, true},
        {"the target folder cannot be synced", file,
         [](FileMoveIo& io, Scene&) { io.fsync = failWhen(onFolder(), EIO, io.fsync); }, EIO, Cause::none, untouched},
        {"the target folder cannot be synced, nor the copy taken back", file,
         [](FileMoveIo& io, Scene&) {
             io.fsync = failWhen(onFolder(), EIO, io.fsync);
             io.unlinkat = failWhen(onName("Beach.JPG"), EIO, io.unlinkat);
         },
         EIO, Cause::bothCopiesKept, bothKept},
        // Removing the original.
        {"the original cannot be removed", file,
         [](FileMoveIo& io, Scene&) { io.unlinkat = failWhen(onName("IMG_0412.JPG"), EACCES, io.unlinkat); }, EACCES,
         Cause::none, untouched},
        {"the original cannot be removed, nor the copy taken back", file,
         [](FileMoveIo& io, Scene&) {
             io.unlinkat = failWhen(onName("IMG_0412.JPG"), EACCES, io.unlinkat);
             io.unlinkat = failWhen(onName("Beach.JPG"), EIO, io.unlinkat);
         },
         EACCES, Cause::bothCopiesKept, bothKept},
        {"the original vanishes as it is removed", file,
         [](FileMoveIo& io, Scene& scene) {
             io.unlinkat = [&, real = io.unlinkat](int at, const char* name, int flags) {
                 if (name != scene.from)
                     return real(at, name, flags);
                 fs::rename(scene.from, scene.here / "elsewhere");
                 errno = EACCES;
                 return -1;
             };
         },
         EACCES, Cause::keptAtDestination, copyKept},
        {"the original is replaced during the copy", file,
         [](FileMoveIo& io, Scene& scene) {
             userSpaceCopyOnly(io);
             io.pwrite = [&, real = io.pwrite](int fd, const void* data, size_t length, off_t at) {
                 if (!exists(scene.here / "replaced"))
                     fs::rename(scene.here.write("replaced", "new version"), scene.from);
                 return real(fd, data, length, at);
             };
         },
         0, Cause::keptAtDestination, copyKept},
        {"the original is written to after publishing, and the copy cannot be taken back", file,
         [](FileMoveIo& io, Scene& scene) {
             io.fsync = [&, real = io.fsync](int fd) {
                 if (onFolder()(fd))
                     appendTo(scene.from, "more");
                 return real(fd);
             };
             io.unlinkat = failWhen(onName("Beach.JPG"), EIO, io.unlinkat);
         },
         0, Cause::bothCopiesKept, bothKept, false, true},
        // A symbolic link.
        {"a link's target folder cannot be synced", symlink,
         [](FileMoveIo& io, Scene&) { io.fsync = failWhen(onFolder(), EIO, io.fsync); }, EIO, Cause::none, untouched},
        {"a link cannot be made there", symlink,
         [](FileMoveIo& io, Scene&) { io.symlinkat = failWhen(fromCall(1), EPERM, io.symlinkat); }, EPERM, Cause::none,
         untouched},
        // Renaming without RENAME_NOREPLACE, by link and unlink.
        {"the old name cannot be removed, so the move is undone", renamed,
         [](FileMoveIo& io, Scene&) {
             refuseNoReplace(io);
             io.unlinkat = failWhen(onName("IMG_0412.JPG"), EACCES, io.unlinkat);
         },
         EACCES, Cause::none, untouched},
        {"the old name cannot be removed, nor the new one", renamed,
         [](FileMoveIo& io, Scene&) {
             refuseNoReplace(io);
             io.unlinkat = failWhen(onName("IMG_0412.JPG"), EACCES, io.unlinkat);
             io.unlinkat = failWhen(onName("Beach.JPG"), EIO, io.unlinkat);
         },
         EACCES, Cause::bothCopiesKept, bothKept},
        {"the old name vanishes as it is removed", renamed,
         [](FileMoveIo& io, Scene& scene) {
             refuseNoReplace(io);
             io.unlinkat = [&, real = io.unlinkat](int at, const char* name, int flags) {
                 if (name != scene.from)
                     return real(at, name, flags);
                 fs::rename(scene.from, scene.here / "elsewhere");
                 errno = EACCES;
                 return -1;
             };
         },
         EACCES, Cause::keptAtDestination, copyKept},
        {"a link is refused as crossing filesystems: the item is copied", renamed,
         [](FileMoveIo& io, Scene&) {
             refuseNoReplace(io);
             io.linkat = failWhen(once([](auto&&...) { return true; }), EXDEV, io.linkat);
         },
         0, Cause::none, moved},
        // A folder.
        {"a folder inside cannot be made", folder,
         [](FileMoveIo& io, Scene&) { io.mkdirat = failWhen(onName("day 2"), EIO, io.mkdirat); }, EIO, Cause::none,
         untouched},
        {"a link inside cannot be made", folder,
         [](FileMoveIo& io, Scene&) { io.symlinkat = failWhen(fromCall(1), EIO, io.symlinkat); }, EIO, Cause::none,
         untouched},
        {"a photo inside cannot be copied", folder,
         [](FileMoveIo& io, Scene&) {
             userSpaceCopyOnly(io);
             io.pwrite = failWhen(fromCall(2), ENOSPC, io.pwrite);
         },
         ENOSPC, Cause::none, untouched, false, false, "/IMG_1.JPG"},
        {"the hidden folder cannot be opened", folder,
         [](FileMoveIo& io, Scene&) { io.openat = failWhen(onTemporary(), EMFILE, io.openat); }, EMFILE, Cause::none,
         untouched},
        {"the copy's folder cannot be synced", folder,
         [](FileMoveIo& io, Scene&) { io.fsync = failWhen(onFolder(), EIO, io.fsync); }, EIO, Cause::none, untouched},
        {"a failed copy's hidden folder cannot be removed", folder,
         [](FileMoveIo& io, Scene&) {
             io.fsync = failWhen(onFolder(), EIO, io.fsync);
             io.unlinkat = failWhen(onTemporary(), EIO, io.unlinkat);
         },
         EIO, Cause::none, untouched, true},
        {"the target folder cannot be synced after publishing", folder,
         [](FileMoveIo& io, Scene&) { io.fsync = failWhen(afterFolderSyncs(2), EIO, io.fsync); }, EIO, Cause::none,
         untouched},
        {"the target folder cannot be synced after publishing, nor the copy taken back", folder,
         [](FileMoveIo& io, Scene&) {
             auto published = std::make_shared<bool>(false);
             io.fsync = [published, fail = afterFolderSyncs(2), real = io.fsync](int fd) mutable {
                 if (!fail(fd))
                     return real(fd);
                 *published = true;
                 errno = EIO;
                 return -1;
             };
             io.unlinkat = failWhen([published](auto&&...) { return *published; }, EIO, io.unlinkat);
         },
         EIO, Cause::bothCopiesKept, bothKept},
        {"the original folder cannot be removed entirely", folder,
         [](FileMoveIo& io, Scene&) { io.unlinkat = failWhen(onName("IMG_2.JPG"), EACCES, io.unlinkat); }, EACCES,
         Cause::bothCopiesKept, copyKept},
        {"the original folder is replaced before it is removed", folder,
         [](FileMoveIo& io, Scene& scene) {
             io.renameat2 = [&, real = io.renameat2](int fromDir, const char* from, int toDir, const char* to,
                                                     unsigned flags) {
                 if (std::string_view(to) == "Trip") {
                     fs::rename(scene.from, scene.here / "old");
                     scene.here.makeFolder("Holiday");
                 }
                 return real(fromDir, from, toDir, to, flags);
             };
         },
         0, Cause::keptAtDestination, copyKept},
    };
    for (const Row& row : rows) {
        for (bool tmpfile : row.item == file ? std::vector{true, false} : std::vector{true}) {
            SCOPED_TRACE(std::string(row.what) + (tmpfile ? "" : ", without O_TMPFILE"));
            Scene scene(row.item);
            FileMoveIo io = systemFileMoveIo();
            if (!tmpfile) {
                auto unnamed = [](int, const char*, int flags, mode_t) { return (flags & O_TMPFILE) == O_TMPFILE; };
                io.openat = failWhen(unnamed, EOPNOTSUPP, io.openat);
            }
            row.inject(io, scene);
            const auto source = snapshot(scene.from), folder = snapshot(scene.targetFolder);
            Result<> result;
            {
                ScopedFileMoveIo scoped(io);
                result = moveItemNoReplace(scene.from, scene.to);
            }

            if (row.code == 0 && row.cause == Cause::none) {
                EXPECT_TRUE(result) << result.error().description;
            } else {
                expectFailure(result, row.code, row.cause);
                EXPECT_NE(result.error().description.find(scene.from + row.mentions + "\u201D"), std::string::npos)
                    << result.error().description;
            }
            // Compared without printing: the photos are megabytes.
            const bool sourceAsBefore = row.sourceChanged || snapshot(scene.from) == source;
            const bool wholeCopy = snapshot(scene.to) == source;
            switch (row.outcome) {
            case untouched: {
                auto after = snapshot(scene.targetFolder);
                std::erase_if(after, [&](const auto& item) {
                    return row.hiddenCopyLeft && item.first.starts_with(".shoebox-move-");
                });
                EXPECT_TRUE(sourceAsBefore && after == folder) << "something changed";
                break;
            }
            case bothKept:
                EXPECT_TRUE(sourceAsBefore) << "the source changed";
                EXPECT_TRUE(wholeCopy) << "no whole copy at the destination";
                break;
            case copyKept:
                EXPECT_TRUE(wholeCopy) << "no whole copy at the destination";

                break;
            case moved:
                EXPECT_FALSE(exists(scene.from));
                EXPECT_TRUE(wholeCopy) << "no whole copy at the destination";
                break;
            }
            EXPECT_EQ(hiddenCopies(scene.targetFolder).size(), row.hiddenCopyLeft ? 1u : 0u);
            if (row.hiddenCopyLeft) {
                ASSERT_TRUE(moveItemNoReplace(scene.here.write("next.JPG"), scene.targetFolder + "/next.JPG"));
                EXPECT_EQ(hiddenCopies(scene.targetFolder), Names{});
            }
        }
    }
}
