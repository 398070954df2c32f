#include <gio/gio.h>
#include <linux/fs.h>
#include <sys/ioctl.h>

#include "Environment.h"
#include "TempDir.h"
#include "Trash.h"

using namespace shoebox;
using namespace shoebox::testing;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

// GLib reads HOME and XDG_DATA_HOME once per process, so both point into a
// scratch folder before main runs; no test may touch a real Trash. The data
// folder is missing: GIO must create it.
const std::string& home = useScratchHome();

// Root ignores permission bits, but not the immutable flag.
void setImmutable(const std::string& folder, bool on)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    ::close(fd);
}

// The Path key of a .trashinfo, its %XX escapes decoded to bytes.
std::string trashedPath(const std::string& infoFile)
{
    g_autoptr(GKeyFile) info = g_key_file_new();
    g_key_file_load_from_file(info, infoFile.c_str(), G_KEY_FILE_NONE, nullptr);
    g_autofree char* escaped = g_key_file_get_value(info, "Trash Info", "Path", nullptr);
    g_autofree char* path = escaped ? g_uri_unescape_string(escaped, nullptr) : nullptr;
    return path ? path : "";
}

class TrashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(std::string(g_get_user_data_dir()), data) << "refusing to touch a real Trash";
        ASSERT_EQ(std::string(g_get_home_dir()), home) << "refusing to touch a real Trash";
        ::alarm(30); // a hang fails the run instead of stalling it
        fs::current_path(work.path());
    }
    void TearDown() override
    {
        ::alarm(0);
        fs::current_path(home);
        setImmutable(trash + "/info", false);
        fs::remove_all(data);
    }

    // Refused in one line that names the item and gives `reason`, leaving the
    // item and the Trash as they were.
    void expectRefused(const std::string& path, const std::string& reason = "")
    {
        const Names files = names(trash + "/files"), infos = names(trash + "/info");
        const std::string content = readFile(path);
        Result<> result = trashItem(path);
        ASSERT_FALSE(result);
        const std::string& text = result.error().description;
        const std::string start = "Could not move \u201C" + path + "\u201D to the Trash: ";
        EXPECT_TRUE(text.starts_with(start) && text.size() > start.size() + 3 && text.find(reason) != text.npos &&
                    text.find('\n') == text.npos)
            << text;
        EXPECT_EQ(readFile(path), content);
        EXPECT_EQ(names(trash + "/files"), files);
        EXPECT_EQ(names(trash + "/info"), infos);
    }

    TempDir work{home};
    const std::string data = home + "/.local/share", trash = data + "/Trash";
};

} // namespace

// Every test runs in `work`: nothing may land there (as ./files), nor may
// the working folder itself go, which is what GIO takes an empty path for.
// Trashing a file already gone changes nothing.
TEST_F(TrashTest, TrashedFileLandsInACreatedTrashWithItsOriginalPath)
{
    ASSERT_FALSE(exists(data));
    EXPECT_FALSE(trashItem(""));
    for (std::string name : {"IMG_0412.JPG", "Beach at dusk.jpg", "Caf\xC3\xA9 cr\xC3\xA8me.jpg", "raw \xFF\xFE.jpg"}) {
        const std::string path = work.write(name, "photo " + name);
        ASSERT_TRUE(trashItem(path)) << name;
        EXPECT_FALSE(exists(path));
        EXPECT_EQ(readFile(trash + "/files/" + name), "photo " + name);
        EXPECT_EQ(trashedPath(trash + "/info/" + name + ".trashinfo"), path);
    }
    EXPECT_NE(readFile(trash + "/info/IMG_0412.JPG.trashinfo").find("\nDeletionDate="), std::string::npos);
    EXPECT_EQ(names(work.path()), Names{});
    expectRefused(work / "IMG_0412.JPG", "No such file or directory");
}

TEST_F(TrashTest, TwoFilesOfTheSameNameBothSurvive)
{
    for (std::string folder : {"one", "two"})
        ASSERT_TRUE(trashItem(work.write(folder + "/IMG_1.JPG", folder)));
    Names contents;
    for (const std::string& name : names(trash + "/files"))
        contents.push_back(readFile(trash + "/files/" + name));
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (Names{"one", "two"}));
    EXPECT_EQ(names(trash + "/info").size(), 2u);
}

TEST_F(TrashTest, UnsupportedMountFailsAndKeepsTheFile)
{
    SKIP_WITHOUT_ANOTHER_FILESYSTEM(work.path());
    TempDir elsewhere(*folderOnAnotherFilesystem(work.path()));
    expectRefused(elsewhere.write("IMG_1.JPG", "photo"));
}

TEST_F(TrashTest, OverlongNameFailsAndKeepsTheFile)
{
    // The 255-byte name is legal, but "<name>.trashinfo" is not.
    expectRefused(work.write(std::string(251, 'x') + ".JPG", "photo"));
}

TEST_F(TrashTest, ReadOnlyTrashFailsAndKeepsTheFile)
{
    const std::string info = trash + "/info";
    fs::create_directories(info);
    ::chmod(info.c_str(), 0500);
    setImmutable(info, true);
    if (::access(info.c_str(), W_OK) == 0)
        GTEST_SKIP() << "cannot make a folder read-only here";
    expectRefused(work.write("IMG_1.JPG", "photo"));
}
