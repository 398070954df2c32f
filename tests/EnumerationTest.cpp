#include <gmock/gmock.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "LinuxFileManager.h"
#include "TempDir.h"

using shoebox::FileURL;
using shoebox::LinuxFileManager;
using shoebox::testing::TempDir;
using testing::HasSubstr;

namespace {

class Enumeration : public testing::Test {
protected:
    // The names listed in the temporary folder, each checked to sit directly in it.
    std::vector<std::string> listed()
    {
        std::vector<std::string> names;
        auto contents = files.contentsOfDirectory(FileURL::fileURLWithPath(dir.path()));
        EXPECT_TRUE(contents.has_value());
        for (const FileURL& entry : contents.value_or(std::vector<FileURL>{})) {
            EXPECT_EQ(entry.deletingLastPathComponent().path(), dir.path());
            names.push_back(entry.lastPathComponent());
        }
        return names;
    }

    TempDir dir;
    LinuxFileManager files;
};

TEST_F(Enumeration, ListsDirectEntriesInNaturalOrderWithoutHiddenOnes)
{
    EXPECT_TRUE(listed().empty());
    for (const char* name : {"IMG_10.jpg", "IMG_2.JPG", "img_1.jpg", "bad\xFF\xC3(name.jpg", ".thumb.jpg",
                             "Holiday.mov/inside.jpg", ".cache/deep.jpg"}) {
        dir.write(name);
    }
    EXPECT_EQ(listed(), (std::vector<std::string>{"bad\xFF\xC3(name.jpg", "Holiday.mov", "img_1.jpg", "IMG_2.JPG",
                                                  "IMG_10.jpg"}));
    // A missing folder and a file stand in for an unreadable folder: tests
    // run as root, which reads any folder.
    EXPECT_EQ(files.contentsOfDirectory(FileURL::fileURLWithPath(dir / "missing")), std::nullopt);
    EXPECT_EQ(files.contentsOfDirectory(FileURL::fileURLWithPath(dir / "img_1.jpg")), std::nullopt);
}

TEST_F(Enumeration, ExistenceSeesDanglingLinksAndFollowsLinksToFolders)
{
    dir.makeFolder("dir");
    ASSERT_EQ(::symlink("dir", (dir / "linkToDir").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (dir / "dangling").c_str()), 0);
    bool isDirectory = false;
    EXPECT_TRUE(files.fileExistsAtPath(dir / "linkToDir", isDirectory));
    EXPECT_TRUE(isDirectory);
    EXPECT_TRUE(files.fileExistsAtPath(dir / "dangling"));
    EXPECT_TRUE(files.fileExistsAtPath(dir / "dangling", isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_FALSE(files.fileExistsAtPath(dir / "missing"));
    EXPECT_FALSE(files.fileExistsAtPath(dir / "missing", isDirectory));
}

TEST_F(Enumeration, CreatesFoldersWithIntermediatesOrSaysWhereAndWhyNot)
{
    FileURL deep = FileURL::fileURLWithPath(dir / "a/b/c");
    ASSERT_TRUE(files.createDirectoryAtURL(deep).has_value());
    EXPECT_TRUE(std::filesystem::is_directory(deep.path()));
    EXPECT_TRUE(files.createDirectoryAtURL(deep).has_value());
    ASSERT_EQ(::symlink("a", (dir / "link").c_str()), 0);
    EXPECT_TRUE(files.createDirectoryAtURL(FileURL::fileURLWithPath(dir / "link")).has_value());

    dir.write("file");
    auto atFile = files.createDirectoryAtURL(FileURL::fileURLWithPath(dir / "file"));
    ASSERT_FALSE(atFile.has_value());
    EXPECT_THAT(atFile.error().description, HasSubstr(dir / "file\u201D: File exists"));
    auto below = files.createDirectoryAtURL(FileURL::fileURLWithPath(dir / "file/x/y"));
    ASSERT_FALSE(below.has_value());
    EXPECT_THAT(below.error().description, HasSubstr(dir / "file/x/y\u201D: Not a directory"));
}

// A null byte would cut a path short and aim at another item: "a" for
// "a\0b". Every call refuses such a path instead, and nothing is made.
TEST_F(Enumeration, PathsHoldingANullByteAreRefusedNotCut)
{
    dir.makeFolder("a");
    const std::string cut = dir / std::string("a\0b", 3);
    bool isDirectory = true;
    EXPECT_FALSE(files.fileExistsAtPath(cut));
    EXPECT_FALSE(files.fileExistsAtPath(cut, isDirectory));
    EXPECT_FALSE(isDirectory);
    EXPECT_EQ(files.contentsOfDirectory(FileURL::fileURLWithPath(cut)), std::nullopt);

    const std::string fresh = dir / std::string("new\0er", 7);
    auto made = files.createDirectoryAtURL(FileURL::fileURLWithPath(fresh));
    ASSERT_FALSE(made.has_value());
    EXPECT_THAT(made.error().description, HasSubstr("Invalid argument"));
    EXPECT_EQ(made.error().description.find('\0'), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "new"));
}

// Only folders and links to them, hidden ones skipped, whatever the name says.
TEST_F(Enumeration, FolderNamesListVisibleFoldersAndLinksToThemInNaturalOrder)
{
    for (const char* folder : {"Trip 10", "trip 9", "2024", ".hidden", "caf\xe9", "Trip 10/inner", "folder.jpg"})
        dir.makeFolder(folder);
    dir.write("photo.jpg");
    for (auto [link, to] : {std::pair{"link to 2024", "2024"}, {"link to photo", "photo.jpg"}, {"dangling", "x"}})
        ASSERT_EQ(::symlink(to, (dir / link).c_str()), 0);
    EXPECT_EQ(files.folderNamesInDirectory(FileURL::fileURLWithPath(dir.path())),
              (std::vector<std::string>{"2024", "caf\xe9", "folder.jpg", "link to 2024", "trip 9", "Trip 10"}));
    EXPECT_EQ(files.folderNamesInDirectory(FileURL::fileURLWithPath(dir / "2024")), std::vector<std::string>{});
    EXPECT_EQ(files.folderNamesInDirectory(FileURL::fileURLWithPath(dir / "missing")), std::nullopt);
    EXPECT_EQ(files.folderNamesInDirectory(FileURL::fileURLWithPath(dir / "photo.jpg")), std::nullopt);
}

} // namespace
