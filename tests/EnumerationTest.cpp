#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "LinuxFileManager.h"

using shoebox::FileURL;
using shoebox::LinuxFileManager;

namespace {

// A real folder under /tmp, removed with everything in it afterwards.
class Enumeration : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/shoebox-enumeration-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override
    {
        if (!root.empty()) {
            std::filesystem::remove_all(root);
        }
    }

    void touch(const std::string& name)
    {
        int fd = ::open((root + "/" + name).c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0) << name;
        ::close(fd);
    }
    void folder(const std::string& name) { ASSERT_EQ(::mkdir((root + "/" + name).c_str(), 0755), 0) << name; }

    std::vector<std::string> listedNames()
    {
        std::vector<std::string> names;
        auto contents = files.contentsOfDirectory(FileURL::fileURLWithPath(root));
        EXPECT_TRUE(contents.has_value());
        for (const FileURL& entry : contents.value_or(std::vector<FileURL>{})) {
            EXPECT_EQ(entry.deletingLastPathComponent().path(), root);
            names.push_back(entry.lastPathComponent());
        }
        return names;
    }

    std::string root;
    LinuxFileManager files;
};

TEST_F(Enumeration, ListsDirectEntriesInNaturalOrderWithoutHiddenOnes)
{
    for (const char* name : {"IMG_10.jpg", "IMG_2.JPG", "img_1.jpg", "notes.txt", ".thumb.jpg", ".hidden"}) {
        touch(name);
    }
    folder("Holiday.mov");
    touch("Holiday.mov/inside.jpg");
    folder(".cache");
    touch(".cache/deep.jpg");

    EXPECT_EQ(listedNames(),
        (std::vector<std::string>{"Holiday.mov", "img_1.jpg", "IMG_2.JPG", "IMG_10.jpg", "notes.txt"}));
}

TEST_F(Enumeration, KeepsTheExactBytesOfNamesThatAreNotUtf8)
{
    const std::string name = "bad\xFF\xC3(name.jpg";
    touch(name);
    touch("Beach Day.JPG");
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"bad\xFF\xC3(name.jpg", "Beach Day.JPG"}));
}

TEST_F(Enumeration, EmptyFolderGivesAnEmptyListAndUnlistableOnesNothing)
{
    EXPECT_TRUE(listedNames().empty());
    touch("plain");
    // Tests run as root, so permissions cannot make a folder unreadable:
    // a missing folder and a file stand in for one.
    EXPECT_EQ(files.contentsOfDirectory(FileURL::fileURLWithPath(root + "/missing")), std::nullopt);
    EXPECT_EQ(files.contentsOfDirectory(FileURL::fileURLWithPath(root + "/plain")), std::nullopt);
}

TEST_F(Enumeration, ExistenceSeesDanglingLinksAndFollowsLinksToFolders)
{
    touch("file");
    folder("dir");
    ASSERT_EQ(::symlink("dir", (root + "/linkToDir").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (root + "/dangling").c_str()), 0);

    struct Case {
        const char* name;
        bool exists;
        bool isDirectory;
    };
    for (Case c : {Case{"file", true, false}, Case{"dir", true, true}, Case{"linkToDir", true, true},
             Case{"dangling", true, false}, Case{"missing", false, false}}) {
        std::string path = root + "/" + c.name;
        bool isDirectory = !c.isDirectory;
        EXPECT_EQ(files.fileExistsAtPath(path), c.exists) << c.name;
        EXPECT_EQ(files.fileExistsAtPath(path, isDirectory), c.exists) << c.name;
        EXPECT_EQ(isDirectory, c.isDirectory) << c.name;
    }
}

TEST_F(Enumeration, CreatesMissingFoldersAndAcceptsExistingOnes)
{
    FileURL deep = FileURL::fileURLWithPath(root + "/a/b/c");
    ASSERT_TRUE(files.createDirectoryAtURL(deep).has_value());
    bool isDirectory = false;
    EXPECT_TRUE(files.fileExistsAtPath(deep.path(), isDirectory));
    EXPECT_TRUE(isDirectory);
    EXPECT_TRUE(files.createDirectoryAtURL(deep).has_value());

    ASSERT_EQ(::symlink("a", (root + "/link").c_str()), 0);
    EXPECT_TRUE(files.createDirectoryAtURL(FileURL::fileURLWithPath(root + "/link")).has_value());
}

TEST_F(Enumeration, FolderCreationFailureNamesThePathAndTheReason)
{
    touch("file");
    auto atFile = files.createDirectoryAtURL(FileURL::fileURLWithPath(root + "/file"));
    ASSERT_FALSE(atFile.has_value());
    EXPECT_NE(atFile.error().description.find(root + "/file"), std::string::npos) << atFile.error().description;
    EXPECT_NE(atFile.error().description.find("File exists"), std::string::npos) << atFile.error().description;

    auto below = files.createDirectoryAtURL(FileURL::fileURLWithPath(root + "/file/x/y"));
    ASSERT_FALSE(below.has_value());
    EXPECT_NE(below.error().description.find(root + "/file/x"), std::string::npos) << below.error().description;
    EXPECT_NE(below.error().description.find("Not a directory"), std::string::npos) << below.error().description;
    EXPECT_EQ(below.error().description.find('\n'), std::string::npos);
}

} // namespace
