// Moves onto a USB stick: a FAT image mounted through FUSE (fusefat), which
// knows neither RENAME_NOREPLACE nor O_TMPFILE nor hard links, and refuses
// names with ":" or "?".

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "tests/FileMoveTesting.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

// Runs a command quietly, also finding programs in the sbin folders a
// non-login root shell may lack from its PATH; true when it succeeds.
bool run(const std::string& command)
{
    return std::system(("PATH=\"$PATH:/usr/sbin:/sbin\"; " + command + " >/dev/null 2>&1").c_str()) == 0;
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
class FatStickTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!UniqueFd(::open("/dev/fuse", O_RDWR | O_CLOEXEC)))
            GTEST_SKIP() << "needs FUSE: /dev/fuse cannot be opened here";
        if (!run("command -v mkfs.vfat && command -v fusefat"))
            GTEST_SKIP() << "needs mkfs.vfat and fusefat (packages dosfstools and fusefat)";
        ASSERT_TRUE(::mkdir(on.c_str(), 0700) == 0 && run("mkfs.vfat -C '" + image + "' 16384"));
        static const bool own =
            ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        (void)own;
        // fusefat returns once the image is mounted, and ends when it is unmounted.
        mounted = run("fusefat -o rw+ '" + image + "' '" + on + "'") && deviceOf(on) != deviceOf(folder.path());
        if (!mounted)
            GTEST_SKIP() << "needs FUSE: fusefat could not mount the image";
    }
    ~FatStickTest() override
    {
        // Lazily, so that a file a failed test left open cannot keep it.
        if (mounted && ::umount2(on.c_str(), MNT_DETACH) != 0)
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
              "IMG_2.JPG=second Trip/day 1/IMG_3.JPG=3 | Beach.JPG=" + shortly(photo) + " Taken.JPG=someone else's");
}

// Guards renames on the stick (where fusefat replaces, drops and empties) replacing or losing anything.
TEST_F(FatStickTest, RenamesOnTheStickWithoutReplacingOrLosingAnything)
{
    writeFile(on + "/IMG_1.JPG", photo);
    writeFile(on + "/Taken.JPG", "someone else's");
    ASSERT_EQ(::mkdir((on + "/Trip").c_str(), 0700), 0);
    writeFile(on + "/Trip/IMG_2.JPG", "second");
    expectFailure(moveItemNoReplace(on + "/IMG_1.JPG", on + "/Taken.JPG"), EEXIST);
    expectNameRefused(moveItemNoReplace(on + "/IMG_1.JPG", on + "/Beach: day 1.JPG"));
    expectFailure(moveItemNoReplace(on + "/Trip", on + "/Holiday"), EINVAL);
    ASSERT_TRUE(moveItemNoReplace(on + "/IMG_1.JPG", on + "/Trip/Beach.JPG"));
    EXPECT_EQ(tree(on), "Taken.JPG=someone else's Trip/Beach.JPG=" + shortly(photo) + " Trip/IMG_2.JPG=second");
}
