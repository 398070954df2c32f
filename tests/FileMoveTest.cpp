#include <sys/xattr.h>

#include "FileDescriptor.h"
#include "FileMoveTesting.h"

using namespace shoebox;
using namespace shoebox::testing;
namespace fs = std::filesystem;

// Someone took the names after the caller found them free: rename() would
// replace the file, and the empty folder too. Where RENAME_NOREPLACE is
// refused (NFS, CIFS) link + unlink cannot replace either; without hard links
// too (FUSE FAT) the file goes over a placeholder of ours and a folder is
// refused. Names need not be UTF-8.
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
        ScopedFileMoveIo scoped(io);
        dir.write("caf\xE9 \xFF.jpg", "new");
        dir.write("b.jpg", "old");
        dir.makeFolder("Holiday/inner");
        dir.makeFolder("Beach");
        expectFailure(moveItemNoReplace(dir / "caf\xE9 \xFF.jpg", dir / "b.jpg"), EEXIST);
        expectFailure(moveItemNoReplace(dir / "Holiday", dir / "Beach"), way == 0 ? EEXIST : EINVAL);
        ASSERT_TRUE(moveItemNoReplace(dir / "caf\xE9 \xFF.jpg", dir / "\xC3\x28.jpg"));
        EXPECT_EQ(names(dir.path()), (Names{"Beach", "Holiday", "b.jpg", "\xC3\x28.jpg"}));
        EXPECT_EQ(names(dir / "Holiday"), Names{"inner"});
        EXPECT_EQ(names(dir / "Beach"), Names{});
        EXPECT_EQ(readFile(dir / "b.jpg"), "old");
        EXPECT_EQ(readFile(dir / "\xC3\x28.jpg"), "new");
    }
}

TEST(MoveTest, MissingSourceFailsWithOneLineAndCreatesNothing)
{
    TempDir dir;
    Result<> result = moveItemNoReplace(dir / "gone.jpg", dir / "b.jpg");
    expectFailure(result, ENOENT);
    EXPECT_EQ(result.error().description, "Could not move \u201C" + dir / "gone.jpg" + "\u201D to \u201C" +
                                              dir / "b.jpg" + "\u201D: No such file or directory");
    EXPECT_EQ(names(dir.path()), Names{});
}

// There by the kernel's copy, back by plain reads and writes.
TEST_F(CrossMoveTest, KeepsBytesTimesAndModeBothWays)
{
    const struct timespec times[2] = {{1500000000, 123456789}, {1600000000, 987654321}};
    ASSERT_EQ(::chmod(source.c_str(), 0640), 0);
    for (auto [from, to, kernelCopy] : {std::tuple{source, target, true}, std::tuple{target, source, false}}) {
        FileMoveIo io = systemFileMoveIo();
        if (!kernelCopy)
            userSpaceCopyOnly(io);
        ScopedFileMoveIo scoped(io);
        ASSERT_EQ(::utimensat(AT_FDCWD, from.c_str(), times, 0), 0); // reading it moved the atime
        ASSERT_TRUE(moveItemNoReplace(from, to)) << from;
        struct stat moved {};
        ASSERT_EQ(::stat(to.c_str(), &moved), 0);
        EXPECT_EQ(moved.st_mode & 07777, 0640u);
        EXPECT_EQ(nanoseconds(moved.st_atim), nanoseconds(times[0]));
        EXPECT_EQ(nanoseconds(moved.st_mtim), nanoseconds(times[1]));
        EXPECT_EQ(readFile(to), original);
        EXPECT_FALSE(exists(from));
    }
    EXPECT_EQ(names(other.path()), Names{});
    EXPECT_EQ(names(dir.path()), Names{"IMG_0412.JPG"});
}

namespace {

// A POSIX ACL as the kernel stores it: the owner may read and write, user
// `uid` may read, nobody else anything.
std::string aclLettingUserRead(uint32_t uid)
{
    struct Entry {
        uint16_t tag, permissions;
        uint32_t id;
    };
    const uint32_t version = 2, anyone = ~0u;
    const Entry entries[] = {
        {0x01, 6, anyone}, {0x02, 4, uid}, {0x04, 0, anyone}, {0x10, 4, anyone}, {0x20, 0, anyone}};
    std::string bytes(reinterpret_cast<const char*>(&version), sizeof version);
    bytes.append(reinterpret_cast<const char*>(entries), sizeof entries);
    return bytes;
}

std::string attribute(const std::string& path, const char* name)
{
    std::string value(256, '\0');
    const ssize_t size = ::lgetxattr(path.c_str(), name, value.data(), value.size());
    value.resize(size < 0 ? 0 : size);
    return value;
}

// tmpfs before Linux 6.6 holds no user.* attributes.
bool holdsAttribute(const std::string& folder, const char* name, const std::string& value)
{
    const std::string probe = folder + "/.probe";
    writeFile(probe, "");
    const bool holds = ::setxattr(probe.c_str(), name, value.data(), value.size(), 0) == 0;
    ::unlink(probe.c_str());
    return holds;
}

} // namespace

// A photo's attributes (a rating, its ACL) and a video's holes survive the
// trip there and back; one the target cannot hold (on the way back) is
// dropped without failing the move.
TEST_F(CrossMoveTest, KeepsExtendedAttributesAclsAndHoles)
{
    const std::string acl = aclLettingUserRead(1234);
    if (::setxattr(source.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0 ||
        ::setxattr(source.c_str(), "user.rating", "5", 1, 0) != 0)
        GTEST_SKIP() << "the filesystem of " << dir.path() << " holds no ACLs or user attributes";
    const std::string video = dir / "clip.MOV", videoThere = other / "clip.MOV";
    const std::string chunk = photoBytes(64 << 10);
    {
        const UniqueFd fd(::open(video.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        ASSERT_EQ(::pwrite(fd.get(), chunk.data(), chunk.size(), 0), static_cast<ssize_t>(chunk.size()));
        ASSERT_EQ(::pwrite(fd.get(), chunk.data(), chunk.size(), 8 << 20), static_cast<ssize_t>(chunk.size()));
        ASSERT_EQ(::ftruncate(fd.get(), 16 << 20), 0);
    }
    const std::string bytes = readFile(video);

    for (auto [from, to, kernelCopy] :
         {std::tuple{dir.path(), other.path(), true}, std::tuple{other.path(), dir.path(), false}}) {
        SCOPED_TRACE(from + " to " + to);
        FileMoveIo io = systemFileMoveIo();
        if (!kernelCopy) {
            userSpaceCopyOnly(io);
            auto user = [](int, const char* name, auto&&...) { return std::string_view(name).starts_with("user."); };
            io.fsetxattr = failWhen(user, EOPNOTSUPP, io.fsetxattr);
        }
        ScopedFileMoveIo scoped(io);
        ASSERT_TRUE(moveItemNoReplace(from + "/IMG_0412.JPG", to + "/IMG_0412.JPG"));
        ASSERT_TRUE(moveItemNoReplace(from + "/clip.MOV", to + "/clip.MOV"));

        const std::string photo = to + "/IMG_0412.JPG";
        EXPECT_EQ(attribute(photo, "system.posix_acl_access"), acl);
        EXPECT_EQ(attribute(photo, "user.rating"), kernelCopy && holdsAttribute(to, "user.rating", "5") ? "5" : "");
        struct stat moved {};
        ASSERT_EQ(::stat((to + "/clip.MOV").c_str(), &moved), 0);
        EXPECT_LE(moved.st_blocks * 512, 1 << 20) << "the holes were filled";
        EXPECT_TRUE(readFile(to + "/clip.MOV") == bytes);
    }
}

TEST_F(CrossMoveTest, FolderMovesAsATreeAndNeverOverAnother)
{
    const std::string tree = dir / "Holiday", moved = other / "Trip";
    dir.write("Holiday/day \xFF/IMG_1.JPG", original);
    dir.makeFolder("Holiday/day \xFF/empty");
    fs::create_symlink("day \xFF/IMG_1.JPG", tree + "/latest");
    const struct timespec times[2] = {{1500000000, 1}, {1600000000, 2}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (tree + "/day \xFF").c_str(), times, 0), 0);

    other.makeFolder("Trip");
    expectFailure(moveItemNoReplace(tree, moved), EEXIST);
    EXPECT_EQ(names(other.path()), Names{"Trip"});
    EXPECT_EQ(names(moved), Names{});
    fs::remove(moved);

    ASSERT_TRUE(moveItemNoReplace(tree, moved));
    EXPECT_FALSE(exists(tree));
    EXPECT_EQ(names(moved), (Names{"day \xFF", "latest"}));
    EXPECT_EQ(names(moved + "/day \xFF"), (Names{"IMG_1.JPG", "empty"}));
    EXPECT_EQ(readFile(moved + "/latest"), original);
    EXPECT_EQ(fs::read_symlink(moved + "/latest"), "day \xFF/IMG_1.JPG");
    struct stat day {};
    ASSERT_EQ(::stat((moved + "/day \xFF").c_str(), &day), 0);
    EXPECT_EQ(nanoseconds(day.st_mtim), nanoseconds(times[1]));
}
