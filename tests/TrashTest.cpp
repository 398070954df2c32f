#include <gtest/gtest.h>

#include "TempDir.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Trash.h"

using namespace shoebox;
using shoebox::testing::names;
using shoebox::testing::readFile;
using shoebox::testing::writeFile;
namespace fs = std::filesystem;

namespace {

// GLib reads HOME and XDG_DATA_HOME once and caches them for the life of the
// process, so they are pointed at a scratch folder before anything can ask,
// and the Trash is wiped between tests instead. HOME goes there too: GIO only
// uses $XDG_DATA_HOME/Trash for files on the home filesystem and a per-mount
// .Trash-$uid elsewhere, and no test may touch a real Trash.
struct ScratchHome {
    ScratchHome()
    {
        char pattern[] = "/tmp/shoebox-trash-test-XXXXXX";
        if (!::mkdtemp(pattern)) {
            std::perror("mkdtemp");
            std::abort();
        }
        root = pattern;
        fs::create_directory(root + "/home");
        ::setenv("HOME", (root + "/home").c_str(), 1);
        // Deliberately missing: GIO must create it.
        ::setenv("XDG_DATA_HOME", dataHome().c_str(), 1);
    }
    ~ScratchHome() { fs::remove_all(root); }

    std::string dataHome() const { return root + "/data"; }
    std::string trash() const { return dataHome() + "/Trash"; }

    std::string root;
};

const ScratchHome& scratch()
{
    static ScratchHome home;
    return home;
}

[[maybe_unused]] const ScratchHome& initialisedBeforeMain = scratch();

void setImmutable(const std::string& path, bool on)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        return;
    }
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    ::close(fd);
}




// The Path= line of a .trashinfo, with its %XX escapes decoded to bytes.
std::string trashedPath(const std::string& infoFile)
{
    std::istringstream lines(readFile(infoFile));
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("Path=")) {
            std::string path;
            for (size_t i = 5; i < line.size(); ++i) {
                if (line[i] == '%' && i + 2 < line.size()) {
                    path += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
                    i += 2;
                } else {
                    path += line[i];
                }
            }
            return path;
        }
    }
    return {};
}

class TrashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Refuse to run at all if GLib resolved another data folder.
        ASSERT_EQ(std::string(g_get_user_data_dir()), scratch().dataHome());
        ASSERT_EQ(std::string(g_get_home_dir()), scratch().root + "/home");
        work = scratch().root + "/work";
        fs::create_directory(work);
    }
    void TearDown() override
    {
        setImmutable(scratch().trash() + "/info", false);
        ::chmod((scratch().trash() + "/info").c_str(), 0700);
        fs::remove_all(scratch().dataHome());
        fs::remove_all(work);
    }

    void expectOneLineFailure(const Result<>& result, const std::string& path)
    {
        ASSERT_FALSE(result);
        const std::string& text = result.error().description;
        EXPECT_TRUE(text.starts_with("Could not move \u201C" + path + "\u201D to the Trash: ")) << text;
        EXPECT_GT(text.size(), path.size() + 35) << "no reason given: " << text;
        EXPECT_EQ(text.find('\n'), std::string::npos) << text;
    }

    std::string work;
};

} // namespace

TEST_F(TrashTest, TrashedFileKeepsItsOriginalLocationInTrashInfo)
{
    for (std::string name : {"IMG_0412.JPG", "Beach at dusk.jpg", "Caf\xC3\xA9 cr\xC3\xA8me.jpg", "raw \xFF\xFE.jpg"}) {
        std::string path = work + "/" + name;
        writeFile(path, "photo " + name);
        ASSERT_TRUE(trashItem(path)) << name;
        EXPECT_FALSE(fs::exists(path));
        EXPECT_EQ(readFile(scratch().trash() + "/files/" + name), "photo " + name);
        EXPECT_EQ(trashedPath(scratch().trash() + "/info/" + name + ".trashinfo"), path);
    }
    EXPECT_NE(readFile(scratch().trash() + "/info/IMG_0412.JPG.trashinfo").find("\nDeletionDate="), std::string::npos);
}

TEST_F(TrashTest, TwoFilesOfTheSameNameBothSurvive)
{
    for (std::string folder : {"/one", "/two"}) {
        fs::create_directory(work + folder);
        writeFile(work + folder + "/IMG_1.JPG", folder);
        ASSERT_TRUE(trashItem(work + folder + "/IMG_1.JPG"));
    }
    std::vector<std::string> contents;
    for (const std::string& name : names(scratch().trash() + "/files")) {
        contents.push_back(readFile(scratch().trash() + "/files/" + name));
    }
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"/one", "/two"}));
    EXPECT_EQ(names(scratch().trash() + "/info").size(), 2u);
}

TEST_F(TrashTest, FileAlreadyGoneFailsAndChangesNothing)
{
    std::string path = work + "/IMG_1.JPG";
    writeFile(path, "photo");
    ASSERT_TRUE(trashItem(path));
    Result<> again = trashItem(path);
    ASSERT_NO_FATAL_FAILURE(expectOneLineFailure(again, path));
    EXPECT_NE(again.error().description.find("No such file or directory"), std::string::npos);
    EXPECT_EQ(names(scratch().trash() + "/files"), std::vector<std::string>{"IMG_1.JPG"});
    EXPECT_EQ(names(scratch().trash() + "/info"), std::vector<std::string>{"IMG_1.JPG.trashinfo"});
}

// g_file_new_for_path("") names the working directory.
TEST_F(TrashTest, EmptyPathIsRefusedNotTakenAsTheWorkingFolder)
{
    fs::path previous = fs::current_path();
    fs::current_path(work);
    Result<> result = trashItem("");
    fs::current_path(previous);
    EXPECT_FALSE(result);
    EXPECT_TRUE(fs::exists(work));
    EXPECT_FALSE(fs::exists(scratch().trash()));
}

TEST_F(TrashTest, MissingDataFolderIsCreatedAndNothingLandsInTheWorkingFolder)
{
    ASSERT_FALSE(fs::exists(scratch().dataHome()));
    fs::path previous = fs::current_path();
    fs::current_path(work);
    writeFile(work + "/IMG_1.JPG", "photo");
    Result<> result = trashItem(work + "/IMG_1.JPG");
    fs::current_path(previous);
    ASSERT_TRUE(result) << result.error().description;
    EXPECT_EQ(readFile(scratch().trash() + "/files/IMG_1.JPG"), "photo");
    EXPECT_TRUE(names(work).empty());
}

TEST_F(TrashTest, UnsupportedMountFailsAndKeepsTheFile)
{
    struct stat shm {};
    struct stat tmp {};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(work.c_str(), &tmp) != 0 || shm.st_dev == tmp.st_dev) {
        GTEST_SKIP() << "needs /dev/shm on another filesystem than /tmp";
    }
    std::string path = "/dev/shm/shoebox-trash-test-" + std::to_string(::getpid()) + ".jpg";
    writeFile(path, "photo");
    Result<> result = trashItem(path);
    std::string kept = readFile(path);
    fs::remove(path);
    expectOneLineFailure(result, path);
    EXPECT_EQ(kept, "photo");
}

TEST_F(TrashTest, OverlongNameFailsAndKeepsTheFile)
{
    // The name itself is legal, but "<name>.trashinfo" is not.
    std::string path = work + "/" + std::string(251, 'x') + ".JPG";
    writeFile(path, "photo");
    ASSERT_TRUE(fs::exists(path));
    ::alarm(30); // a hang fails the run instead of stalling it
    Result<> result = trashItem(path);
    ::alarm(0);
    expectOneLineFailure(result, path);
    EXPECT_EQ(readFile(path), "photo");
    EXPECT_TRUE(names(scratch().trash() + "/files").empty());
}

TEST_F(TrashTest, ReadOnlyTrashFailsAndKeepsTheFile)
{
    // Root ignores permission bits, but not the immutable flag.
    std::string info = scratch().trash() + "/info";
    fs::create_directories(info);
    fs::create_directories(scratch().trash() + "/files");
    ::chmod(info.c_str(), 0500);
    setImmutable(info, true);
    int probe = ::open((info + "/probe").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (probe >= 0) {
        ::close(probe);
        GTEST_SKIP() << "cannot make a folder read-only here (no permission checks and no immutable flag)";
    }
    std::string path = work + "/IMG_1.JPG";
    writeFile(path, "photo");
    ::alarm(30);
    Result<> result = trashItem(path);
    ::alarm(0);
    expectOneLineFailure(result, path);
    EXPECT_EQ(readFile(path), "photo");
    EXPECT_TRUE(names(scratch().trash() + "/files").empty());
}
