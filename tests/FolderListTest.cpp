#include <unistd.h>

#include "LinuxFileManager.h"
#include "TempDir.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

using Names = std::vector<std::string>;

TEST(FolderListTest, ListsVisibleFoldersAndLinksToThemInNaturalOrder)
{
    TempDir dir;
    for (const char* folder : {"Trip 10", "trip 9", "2024", ".hidden", "caf\xe9", "Trip 10/inner"})
        dir.makeFolder(folder);
    dir.write("photo.jpg");
    dir.write("folder.jpg/inside.jpg"); // a folder whatever its name says
    ASSERT_EQ(::symlink("2024", (dir / "link to 2024").c_str()), 0);
    ASSERT_EQ(::symlink("photo.jpg", (dir / "link to photo").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (dir / "dangling").c_str()), 0);

    LinuxFileManager files;
    EXPECT_EQ(files.folderNamesInDirectory(FileURL::fileURLWithPath(dir.path())),
              (Names{"2024", "caf\xe9", "folder.jpg", "link to 2024", "trip 9", "Trip 10"}));
    EXPECT_EQ(files.folderNamesInDirectory(FileURL::fileURLWithPath(dir / "2024")), Names{});
    EXPECT_EQ(files.folderNamesInDirectory(FileURL::fileURLWithPath(dir / "missing")), std::nullopt);
    EXPECT_EQ(files.folderNamesInDirectory(FileURL::fileURLWithPath(dir / "photo.jpg")), std::nullopt);
}

} // namespace
