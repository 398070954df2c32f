// Moves onto a USB stick: a FAT image mounted through FUSE (fusefat), which
// knows neither RENAME_NOREPLACE nor O_TMPFILE nor hard links, refuses
// names with ":" or "?", and destroys another file's bytes when it removes a
// name whose entries run across the end of a folder's cluster.

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/FileDescriptor.h"
#include "platform/Trash.h"
#include "tests/FileMoveTesting.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

// Runs a command quietly, also finding programs in the sbin folders a
// non-login root shell may lack from its PATH; true when it succeeds.
bool run(const std::string& command)
{
    return std::system(("PATH=\"$PATH:/usr/sbin:/sbin\"; { " + command + "; } >/dev/null 2>&1").c_str()) == 0;
}

dev_t deviceOf(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_dev : 0;
}

// FAT refuses the name (the kernel's driver with EINVAL, fusefat with EPERM).
void expectNameRefused(const Result<>& result)
{
    ASSERT_FALSE(result);
    EXPECT_TRUE(result.error().code == EINVAL || result.error().code == EPERM) << result.error().description;
    EXPECT_EQ(result.error().cause, Cause::nameNotAllowed) << result.error().description;
}

// A FAT image mounted read-write ("rw+": fusefat mounts read-only unless
// told) at `on`, in a mount namespace of this process's own where it may
// have one (as root), so that a test killed midway leaves no mount behind.
// Its clusters are the smallest FAT has (512 bytes, 16 names of 13
// characters), so a folder runs across many of them.
class FatStickTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!UniqueFd(::open("/dev/fuse", O_RDWR | O_CLOEXEC)))
            GTEST_SKIP() << "needs FUSE: /dev/fuse cannot be opened here";
        if (!run("command -v mkfs.vfat && command -v fusefat"))
            GTEST_SKIP() << "needs mkfs.vfat and fusefat (packages dosfstools and fusefat)";
        ASSERT_TRUE(::mkdir(on.c_str(), 0700) == 0 && run("mkfs.vfat -s 1 -C '" + image + "' 16384"));
        static const bool own =
            ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        (void)own;
        // fusefat returns once the image is mounted, and ends when it is unmounted.
        mounted = run("fusefat -o rw+ '" + image + "' '" + on + "'") && deviceOf(on) != deviceOf(folder.path());
        if (!mounted)
            GTEST_SKIP() << "needs FUSE: fusefat could not mount the image";
    }
    ~FatStickTest() override { unmount(); }
    // Lazily, so that a file a failed test left open cannot keep it.
    void unmount()
    {
        if (std::exchange(mounted, false) && ::umount2(on.c_str(), MNT_DETACH) != 0)
            run("fusermount -u -z '" + on + "'");
    }

    TempDir folder; // holds the image and the mount point
    const std::string image = folder / "stick.img", on = folder / "stick";
    bool mounted = false;
    TempDir home; // where the photos come from
    const std::string photo = photoBytes(1 << 20);
};

} // namespace

// Guards a copy not whole, a taken name replaced, a refused name, a folder not refused, or a hidden leftover.
TEST_F(FatStickTest, MovesOntoTheStickWithoutReplacingAnything)
{
    home.write("IMG_1.JPG", photo);
    home.write("IMG_2.JPG", "second");
    home.write("Trip/day 1/IMG_3.JPG", "3");
    writeFile(on + "/Taken.JPG", "someone else's");
    ASSERT_TRUE(moveItemNoReplace(home / "IMG_1.JPG", on + "/Beach.JPG"));
    expectFailure(moveItemNoReplace(home / "IMG_2.JPG", on + "/Taken.JPG"), EEXIST);
    expectNameRefused(moveItemNoReplace(home / "IMG_2.JPG", on + "/Beach: day 1.JPG"));
    expectNameRefused(moveItemNoReplace(home / "IMG_2.JPG", on + "/Beach?.JPG"));
    expectFailure(moveItemNoReplace(home / "Trip", on + "/Trip"), EINVAL);
    EXPECT_EQ(tree(home.path()) + " | " + tree(on),
              "IMG_2.JPG=second Trip/day 1/IMG_3.JPG=3 | .shoebox-moves/ Beach.JPG=" + shortly(photo) +
                  " Taken.JPG=someone else's");
}

// Guards a move off the stick, a rename on it or a Trash there removing a name, which can destroy another photo.
TEST_F(FatStickTest, RemovingANameOnTheStickIsRefused)
{
    writeFile(on + "/IMG_1.JPG", photo);
    ASSERT_EQ(::mkdir((on + "/Trip").c_str(), 0700), 0);
    const Result<> refused[] = {moveItemNoReplace(on + "/IMG_1.JPG", on + "/Trip/Beach.JPG"),
                                moveItemNoReplace(on + "/IMG_1.JPG", home / "Beach.JPG"),
                                moveItemNoReplace(on + "/Trip", home / "Trip")};
    for (const Result<>& result : refused) {
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().cause, Cause::unsafeFilesystem) << result.error().description;
    }
    const auto trashed = trashItem(on + "/IMG_1.JPG");
    ASSERT_FALSE(trashed);
    EXPECT_EQ(trashed.error().cause, Cause::unsafeFilesystem) << trashed.error().description;
    EXPECT_EQ(tree(on) + " | " + tree(home.path()), "IMG_1.JPG=" + shortly(photo) + " Trip/ | ");
}

// Guards a removal on the stick destroying an earlier photo or leaving the FAT inconsistent, as renaming a hidden
// copy over a placeholder did from about the 30th move into one folder. Names of two, three and four directory
// entries give every alignment against the clusters' ends. 100 moves cross some 20 of them in a few seconds; fusefat
// slows with every name a folder holds (500 take about four minutes, however they are made), so the full proof runs
// by hand: SHOEBOX_FAT_MOVES=500.
TEST_F(FatStickTest, ManyMovesIntoOneFolderKeepEveryByteAndTheFatConsistent)
{
    const char* wanted = std::getenv("SHOEBOX_FAT_MOVES");
    const int count = wanted ? std::atoi(wanted) : 100;
    const char* const patterns[] = {"Photo %d.JPG", "IMG_20190704_%d_Beach.JPG",
                                    "IMG_20190704_153012_Beach day %d.JPG"};
    ASSERT_EQ(::mkdir((on + "/Sorted").c_str(), 0700), 0);
    std::vector<std::string> moved;
    for (int i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, patterns[i % 3], i);
        moved.emplace_back(name);
        const std::string bytes = photoBytes(1 + (i * 977) % 3000) + std::to_string(i);
        ASSERT_TRUE(moveItemNoReplace(home.write(name, bytes), on + "/Sorted/" + name)) << name;
    }
    int differ = 0;
    for (int i = 0; i < count; ++i)
        differ += readFile(on + "/Sorted/" + moved[i]) != photoBytes(1 + (i * 977) % 3000) + std::to_string(i);
    EXPECT_EQ(differ, 0) << "of " << count << " moved photos";
    EXPECT_EQ(names(on + "/Sorted").size(), static_cast<std::size_t>(count));
    EXPECT_EQ(tree(home.path()) + tree(on + "/.shoebox-moves"), "");
    unmount();
    const bool clean = run("fsck.vfat -n '" + image + "'");
    EXPECT_TRUE(clean) << "fsck.vfat -n finds the FAT inconsistent";
    std::printf("%d moves into one folder: %d photos differ; fsck.vfat -n %s\n", count, differ,
                clean ? "clean" : "finds faults");
}
