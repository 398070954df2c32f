// Moves onto a USB stick: a FAT image mounted through FUSE (fusefat), which
// knows neither RENAME_NOREPLACE nor O_TMPFILE nor hard links, and refuses
// names with ":" or "?".

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <ranges>

#include "FileDescriptor.h"
#include "FileMoveTesting.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

// The program's path, also in the sbin folders a non-login root shell may
// lack from its PATH; empty when it is not installed.
std::string findProgram(const std::string& name)
{
    const std::string path = std::string(::getenv("PATH") ? ::getenv("PATH") : "") + ":/usr/sbin:/sbin";
    for (const auto& folder : std::views::split(path, ':'))
        if (const std::string candidate = std::string(folder.begin(), folder.end()) + "/" + name;
            !folder.empty() && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    return {};
}

// Runs a command quietly (the paths here hold no quotes); true when it succeeds.
bool run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

dev_t deviceOf(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_dev : 0;
}

// A FAT image mounted read-write ("rw+": fusefat mounts read-only unless
// told) in a mount namespace of this process's own where it may have one
// (as root), so that a test killed midway leaves no mount behind.
class FatStick {
public:
    // Empty when it could be mounted; otherwise why not.
    std::string mount(const std::string& folder)
    {
        if (!UniqueFd(::open("/dev/fuse", O_RDWR | O_CLOEXEC)))
            return "/dev/fuse cannot be opened here";
        const std::string mkfs = findProgram("mkfs.vfat"), fusefat = findProgram("fusefat");
        if (mkfs.empty() || fusefat.empty())
            return "needs mkfs.vfat and fusefat (packages dosfstools and fusefat)";
        const std::string image = folder + "/stick.img";
        mountPoint_ = folder + "/stick";
        if (::mkdir(mountPoint_.c_str(), 0700) != 0 || !run(mkfs + " -C '" + image + "' 16384"))
            return "could not make a FAT image with " + mkfs;
        static const bool own =
            ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        (void)own;
        // fusefat returns once the image is mounted, and ends when it is unmounted.
        mounted_ =
            run(fusefat + " -o rw+ '" + image + "' '" + mountPoint_ + "'") && deviceOf(mountPoint_) != deviceOf(folder);
        return mounted_ ? "" : "fusefat could not mount the image (is FUSE usable here?)";
    }
    ~FatStick()
    {
        // Lazily, so that a file a failed test left open cannot keep it.
        if (mounted_ && ::umount2(mountPoint_.c_str(), MNT_DETACH) != 0)
            run(findProgram("fusermount") + " -u -z '" + mountPoint_ + "'");
    }
    const std::string& path() const { return mountPoint_; }

private:
    std::string mountPoint_;
    bool mounted_ = false;
};

// FAT refuses the name (the kernel's driver with EINVAL, fusefat with EPERM).
void expectNameRefused(const Result<>& result)
{
    ASSERT_FALSE(result);
    EXPECT_TRUE(result.error().code == EINVAL || result.error().code == EPERM) << result.error().description;
    EXPECT_EQ(result.error().cause, Cause::nameNotAllowed) << result.error().description;
}

class FatStickTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string why = stick.mount(folder.path()); !why.empty())
            GTEST_SKIP() << "needs a FUSE FAT mount: " << why;
    }

    TempDir folder; // holds the image and the mount point
    FatStick stick; // unmounted before the folder goes
    TempDir home;   // where the photos come from
    const std::string photo = photoBytes(1 << 20);
};

} // namespace

// From another filesystem onto the stick: a file arrives whole, a taken
// name is never replaced, a name FAT refuses is reported as such, a folder
// is refused (publishing one needs RENAME_NOREPLACE), and nothing hidden is
// left behind.
TEST_F(FatStickTest, MovesOntoTheStickWithoutReplacingAnything)
{
    const std::string on = stick.path();
    home.write("IMG_1.JPG", photo);
    home.write("IMG_2.JPG", "second");
    home.write("Trip/day 1/IMG_3.JPG", photo);
    writeFile(on + "/Taken.JPG", "someone else's");

    ASSERT_TRUE(moveItemNoReplace(home / "IMG_1.JPG", on + "/Beach.JPG"));
    EXPECT_TRUE(readFile(on + "/Beach.JPG") == photo);
    expectFailure(moveItemNoReplace(home / "IMG_2.JPG", on + "/Taken.JPG"), EEXIST);
    expectNameRefused(moveItemNoReplace(home / "IMG_2.JPG", on + "/Beach: day 1.JPG"));
    expectNameRefused(moveItemNoReplace(home / "IMG_2.JPG", on + "/Beach?.JPG"));
    expectFailure(moveItemNoReplace(home / "Trip", on + "/Trip"), EINVAL);

    EXPECT_EQ(readFile(on + "/Taken.JPG"), "someone else's");
    EXPECT_EQ(readFile(home / "IMG_2.JPG"), "second");
    EXPECT_TRUE(readFile(home / "Trip/day 1/IMG_3.JPG") == photo);
    EXPECT_EQ(names(home.path()), (Names{"IMG_2.JPG", "Trip"}));
    EXPECT_EQ(names(on), (Names{"Beach.JPG", "Taken.JPG"}));
}

// Within the stick, where rename() would replace, and fusefat even drops a
// file renamed to a name it refuses and empties a folder it renames.
TEST_F(FatStickTest, RenamesOnTheStickWithoutReplacingOrLosingAnything)
{
    const std::string on = stick.path();
    writeFile(on + "/IMG_1.JPG", photo);
    writeFile(on + "/Taken.JPG", "someone else's");
    ASSERT_EQ(::mkdir((on + "/Trip").c_str(), 0700), 0);
    writeFile(on + "/Trip/IMG_2.JPG", "second");

    expectFailure(moveItemNoReplace(on + "/IMG_1.JPG", on + "/Taken.JPG"), EEXIST);
    expectNameRefused(moveItemNoReplace(on + "/IMG_1.JPG", on + "/Beach: day 1.JPG"));
    expectFailure(moveItemNoReplace(on + "/Trip", on + "/Holiday"), EINVAL);
    ASSERT_TRUE(moveItemNoReplace(on + "/IMG_1.JPG", on + "/Trip/Beach.JPG"));

    EXPECT_TRUE(readFile(on + "/Trip/Beach.JPG") == photo);
    EXPECT_EQ(readFile(on + "/Trip/IMG_2.JPG"), "second");
    EXPECT_EQ(readFile(on + "/Taken.JPG"), "someone else's");
    EXPECT_EQ(names(on), (Names{"Taken.JPG", "Trip"}));
}
