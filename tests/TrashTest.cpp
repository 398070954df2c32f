#include <fcntl.h>
#include <gio/gio.h>
#include <linux/fs.h>
#include <sys/ioctl.h>

#include "platform/Trash.h"
#include "tests/support/Environment.h"
#include "tests/support/TempDir.h"

using namespace shoebox;
using namespace shoebox::testing;
namespace fs = std::filesystem;

namespace {

// GLib reads HOME once, so it points into a scratch folder before main
// runs. The data folder is missing: GIO must create it.
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

// Where the Trash put an item; "" when that is not known.
std::string placeOf(const TrashedItem& item)
{
    return item.place ? item.place->path() : "";
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

    // Refused in one line that names the item and gives `reason`, leaving the item and the Trash as they were.
    void expectRefused(const std::string& path, const std::string& reason = "")
    {
        auto now = [&] {
            return snapshot(path) + " | " + join(names(trash + "/files")) + join(names(trash + "/info"));
        };
        const std::string before = now();
        auto result = trashItem(path);
        ASSERT_FALSE(result);
        const std::string& text = result.error().description;
        const std::string start = "Could not move \u201C" + path + "\u201D to the Trash: ";
        EXPECT_TRUE(text.starts_with(start) && text.size() > start.size() + 3 && text.find(reason) != text.npos &&
                    text.find('\n') == text.npos)
            << text;
        EXPECT_EQ(now(), before);
    }

    TempDir work{home};
    const std::string data = home + "/.local/share", trash = data + "/Trash";
};

} // namespace

// Guards the Trash not made, the listing's path, and trashing the working folder for "".
TEST_F(TrashTest, TrashedFileLandsInACreatedTrashWithItsOriginalPath)
{
    ASSERT_FALSE(exists(data));
    EXPECT_FALSE(trashItem(""));
    for (std::string name : {"IMG_0412.JPG", "Beach at dusk.jpg", "Caf\xC3\xA9 cr\xC3\xA8me.jpg", "raw \xFF\xFE.jpg"}) {
        const std::string path = work.write(name, name);
        ASSERT_TRUE(trashItem(path)) << name;
        EXPECT_EQ(trashedPath(trash + "/info/" + name + ".trashinfo"), path);
    }
    EXPECT_EQ(tree(trash + "/files") + " | " + tree(work.path()),
              "Beach at dusk.jpg Caf\xC3\xA9 cr\xC3\xA8me.jpg IMG_0412.JPG raw \xFF\xFE.jpg | ");
}

// Guards trashing on a mount without a Trash, a name too long for its listing, or into a read-only Trash.
TEST_F(TrashTest, WhatCannotBeTrashedStaysWhereItWas)
{
    expectRefused(work.write(std::string(251, 'x') + ".JPG", "photo"));
    if (auto elsewhere = folderOnAnotherFilesystem(work.path())) {
        TempDir there(*elsewhere);
        expectRefused(there.write("IMG_1.JPG", "photo"));
    }
    const std::string info = trash + "/info";
    fs::create_directories(info);
    ::chmod(info.c_str(), 0500);
    setImmutable(info, true);
    if (::access(info.c_str(), W_OK) == 0)
        GTEST_SKIP() << "cannot make a folder read-only here";
    expectRefused(work.write("IMG_1.JPG", "photo"));
}

// Guards the place given not being the item (by inode among same names), and put-back leaving place or listing.
TEST_F(TrashTest, TrashedItemsAreFoundAndPutBack)
{
    std::vector<std::pair<std::string, TrashedItem>> trashed; // original, place
    for (std::string name :
         {"IMG.JPG", "one/IMG.JPG", "IMG.JPG", "IMG.JPG", "IMG.JPG", ".hidden", "tab\there \xFF.jpg", "folder"}) {
        const std::string original =
            name == "folder" ? work.makeFolder(name) : work.write(name, std::to_string(trashed.size()));
        auto item = trashItem(original);
        ASSERT_TRUE(item && item->place && item->place->path().starts_with(trash + "/files/")) << name;
        const std::string place = item->place->path();
        EXPECT_EQ(snapshot(place), name == "folder" ? "folder: " : std::to_string(trashed.size())) << place;
        trashed.emplace_back(original, *item);
    }
    EXPECT_EQ(placeOf(trashed[0].second), trash + "/files/IMG.JPG");
    for (auto it = trashed.rbegin(); it != trashed.rend(); ++it) { // newest first, as undo goes
        if (!exists(it->first)) {
            ASSERT_TRUE(restoreTrashedItem(it->second, it->first)) << it->first;
            EXPECT_FALSE(exists(placeOf(it->second)));
        }
    }
    EXPECT_EQ(tree(work.path()), ".hidden=5 IMG.JPG=4 folder/ one/IMG.JPG=1 tab\there \xFF.jpg=6");
    EXPECT_EQ(names(trash + "/files").size() + names(trash + "/info").size(), 6u) << "the others are off the list";
}

// Guards putting back to another path than the item's, or an item whose listing went; an item put back by hand
// under another name not said where it went; and a .trashinfo that lists another item removed.
TEST_F(TrashTest, PutBackIsRefusedOrSaysWhereAnItemThatLeftTheTrashIs)
{
    const std::string c = work.write("c.JPG", "c"), d = work.write("d.JPG", "d");
    const TrashedItem renamed = trashItem(c).value(), listed = trashItem(d).value();
    fs::rename(placeOf(renamed), work / "c (1).JPG");
    const std::string otherListing = "[Trash Info]\nPath=/elsewhere/c.JPG\nDeletionDate=2024-05-01T10:00:00\n";
    writeFile(trash + "/info/c.JPG.trashinfo", otherListing); // another item's, which took the name and left too
    auto why = [](const Result<Restored>& result) { return result ? "put back" : result.error().description; };
    const std::string refused = "” back from the Trash: ";
    EXPECT_EQ(why(restoreTrashedItem(renamed, c)),
              "Could not put “" + c + refused + "it was put back as “" + work / "c (1).JPG" + "”");
    EXPECT_EQ(why(restoreTrashedItem(listed, work / "e.JPG")),
              "Could not put “" + work / "e.JPG" + refused + "it is no longer there");
    fs::remove(trash + "/info/d.JPG.trashinfo");
    EXPECT_EQ(why(restoreTrashedItem(listed, d)), "Could not put “" + d + refused + "it is no longer there");
    EXPECT_EQ(tree(work.path()) + " | " + tree(trash + "/files") + " | " + join(names(trash + "/info")) + " " +
                  readFile(trash + "/info/c.JPG.trashinfo"),
              "c (1).JPG=c | d.JPG=d | c.JPG.trashinfo " + otherListing);
}
