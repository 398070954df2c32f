// The file manager's questions about folders, and text. What a scan lists (direct entries, hidden ones skipped, natural
// order, raw bytes) is checked through the controller's scan.

#include <gmock/gmock.h>

#include <unistd.h>

#include <algorithm>
#include <random>

#include "platform/LinuxFileManager.h"
#include "platform/Text.h"
#include "tests/support/TempDir.h"

using namespace shoebox;
using namespace shoebox::testing;
using ::testing::HasSubstr;

namespace {

class Enumeration : public ::testing::Test {
protected:
    FileURL at(const std::string& name) const { return FileURL::fileURLWithPath(dir / name); }

    TempDir dir;
    LinuxFileManager files;
};

// Guards missing parents, an existing folder (or link to one) refused, and refusals not naming path and reason.
TEST_F(Enumeration, CreatesFoldersWithIntermediatesOrSaysWhereAndWhyNot)
{
    ASSERT_TRUE(files.createDirectoryAtURL(at("a/b/c")).has_value());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b/c"));
    EXPECT_TRUE(files.createDirectoryAtURL(at("a/b/c")).has_value());
    ASSERT_EQ(::symlink("a", (dir / "link").c_str()), 0);
    EXPECT_TRUE(files.createDirectoryAtURL(at("link")).has_value());
    dir.write("file");
    auto atFile = files.createDirectoryAtURL(at("file")), below = files.createDirectoryAtURL(at("file/x/y"));
    ASSERT_FALSE(atFile.has_value() || below.has_value());
    EXPECT_THAT(atFile.error().description, HasSubstr(dir / "file\u201D: File exists"));
    EXPECT_THAT(below.error().description, HasSubstr(dir / "file/x/y\u201D: Not a directory"));
}

// Guards a path with a null byte cut short, aiming every call at another item ("a" for "a\0b"), a move's destination
// too.
TEST_F(Enumeration, PathsHoldingANullByteAreRefusedNotCut)
{
    dir.makeFolder("a");
    const std::string cut = dir / std::string("a\0b", 3);
    bool isDirectory = true;
    EXPECT_FALSE(files.fileExistsAtPath(cut) || files.fileExistsAtPath(cut, isDirectory) || isDirectory);
    UnwatchedListing unwatched;
    EXPECT_EQ(files.shownFilesInDirectory(FileURL::fileURLWithPath(cut), unwatched), std::nullopt);
    EXPECT_EQ(files.folderNamesInDirectory(FileURL::fileURLWithPath(cut)), std::nullopt);
    auto made = files.createDirectoryAtURL(at(std::string("new\0er", 6)));
    ASSERT_FALSE(made.has_value());
    EXPECT_THAT(made.error().description, HasSubstr("Invalid argument"));
    EXPECT_EQ(made.error().description.find('\0'), std::string::npos);
    const std::string photo = dir.write("photo.jpg");
    EXPECT_FALSE(files.moveItemAtPath(photo, dir / std::string("b\0c", 3)) || files.moveItemAtPath(cut, photo + "2"));
    EXPECT_EQ(join(names(dir.path())), "a photo.jpg");
}

// Guards a dangling link counted as missing (a name the preview offers as free, which the move then finds taken), a
// link to a folder not taken as a folder; and files, dangling links, hidden folders, lost bytes or order in folder
// names, and unreadable as empty.
TEST_F(Enumeration, FolderNamesListVisibleFoldersAndLinksToThemInNaturalOrder)
{
    for (const char* folder : {"Trip 10", "trip 9", "2024", ".hidden", "caf\xe9", "Trip 10/inner", "folder.jpg"})
        dir.makeFolder(folder);
    dir.write("photo.jpg");
    for (auto [link, to] : {std::pair{"link to 2024", "2024"}, {"link to photo", "photo.jpg"}, {"dangling", "x"}})
        ASSERT_EQ(::symlink(to, (dir / link).c_str()), 0);
    bool linkToDir = false, dangling = true, missing = true;
    EXPECT_TRUE(files.fileExistsAtPath(dir / "link to 2024", linkToDir) && linkToDir);
    EXPECT_TRUE(files.fileExistsAtPath(dir / "dangling") && files.fileExistsAtPath(dir / "dangling", dangling));
    EXPECT_FALSE(dangling);
    EXPECT_FALSE(files.fileExistsAtPath(dir / "missing") || files.fileExistsAtPath(dir / "missing", missing));
    EXPECT_EQ(files.folderNamesInDirectory(FileURL::fileURLWithPath(dir.path())),
              (Names{"2024", "caf\xe9", "folder.jpg", "link to 2024", "trip 9", "Trip 10"}));
    EXPECT_EQ(files.folderNamesInDirectory(at("2024")), Names{});
    UnwatchedListing unwatched;
    for (const char* unreadable : {"missing", "photo.jpg"}) {
        EXPECT_EQ(files.folderNamesInDirectory(at(unreadable)), std::nullopt) << unreadable;
        EXPECT_EQ(files.shownFilesInDirectory(at(unreadable), unwatched), std::nullopt) << unreadable;
    }
}

// Guards names lost or mangled where the listing hands them from thread to thread (a few short names; a batch's edge),
// the first file it reports ahead not being the list's first, and a listing told to stop going on.
TEST_F(Enumeration, ShownFilesComeInNaturalOrderWithTheFirstReportedAhead)
{
    struct Watch final : ListingObserver {
        bool stop = false;
        Names first;
        void firstFile(const FileURL& file) override { first.push_back(file.path()); }
        bool stopped() override { return stop; }
    };
    for (int count : {2, 4097}) {
        TempDir folder;
        for (int i = count; i >= 1; --i)
            folder.write("p" + std::to_string(i) + ".jpg", "");
        folder.write("p0.txt");
        Watch watch;
        const auto files = LinuxFileManager().shownFilesInDirectory(FileURL::fileURLWithPath(folder.path()), watch);
        ASSERT_TRUE(files && files->size() == std::size_t(count)) << count;
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(files->at(std::size_t(i)).path(), folder / ("p" + std::to_string(i + 1) + ".jpg"));
        EXPECT_EQ(watch.first, Names{folder / "p1.jpg"});
        watch.stop = true;
        EXPECT_EQ(LinuxFileManager().shownFilesInDirectory(FileURL::fileURLWithPath(folder.path()), watch),
                  std::nullopt);
    }
}

} // namespace

// What the fuzz targets' corpus replay (the corpus.* tests) does not pin down: which bytes a location leaves
// unescaped, relative paths, the last C1 control that breaks a line, and names that straddle the fast sort's key.

TEST(FileURLTest, EscapesAllButUnreservedBytesAndResolvesRelativePaths)
{
    EXPECT_EQ(FileURL::fileURLWithPath("/Beach Day/é%41%-_.~Z9?#").absoluteString(),
              "file:///Beach%20Day/%C3%A9%2541%25-_.~Z9%3F%23");
    EXPECT_EQ(FileURL::fileURLWithPath("some.jpg").path(), (std::filesystem::current_path() / "some.jpg").string());
}

TEST(OneLineTest, EscapesEveryC1Control)
{
    EXPECT_EQ(oneLine("\u0080\u009F\u00A0"), "\\xC2\\x80\\xC2\\x9F\u00A0");
}

// Guards the fast sort's 16-byte keys parting from naturalLess for numbers, case and padding across the edge, and the
// first name (picked out in one pass before the sort) or the sort split over the cores parting from the comparator:
// every pairing of pieces across the keys' edge, then random names of pieces that tie within the keys (shared
// prefixes, numbers with leading zeros, case).
TEST(NaturalOrderTest, TheFastSortsAndTheFirstNameAgreeWithTheComparator)
{
    auto agree = [](const std::vector<std::string>& names) {
        std::vector<std::string_view> views(names.begin(), names.end()), reference = views, fast = views;
        std::sort(reference.begin(), reference.end(), naturalLess);
        sortNaturally(fast);
        EXPECT_EQ(fast, reference) << names.size() << " names";
        NaturalOrder whole(views), inBatches; // keyed on every core, or batch by batch as a listing reads
        for (std::size_t from = 0; from < views.size(); from += 7777)
            inBatches.add(std::span(views).subspan(from, std::min<std::size_t>(7777, views.size() - from)));
        for (NaturalOrder* order : {&whole, &inBatches}) {
            EXPECT_EQ(order->first(), reference.front()) << names.size() << " names";
            EXPECT_EQ(order->sorted(), reference) << names.size() << " names";
        }
    };
    // clang-format off
    const std::string l300(300, '7'), pieces[] = {"", "a", "B", "_", "0", "7", "00", "123", "0012", "\xFF", l300,
                                                  "1" + l300, std::string(130, '9'), std::string(256, '1')};
    // clang-format on
    std::vector<std::string> names;
    for (const char* prefix : {"", "IMG_2023", "x", "abcdefghijklm", "2024-01-1"})
        for (const auto& p : pieces)
            for (const auto& q : pieces)
                names.insert(names.end(), {prefix + p + q, prefix + p + "." + q});
    agree(names);
    std::mt19937 random(20240607);
    const std::string_view tied[] = {"IMG_", "img_", "0", "00", "7",        "10",        "123456789012345678",
                                     "a",    "B",    " ", ".",  "\xC3\xA9", "2024-01-0", "\xFF"};
    for (std::size_t count : {1, 2, 3, 40, 100000}) {
        names.assign(count, "");
        for (std::string& name : names)
            for (auto parts = random() % 6 + 1; parts > 0; --parts)
                name += tied[random() % std::size(tied)];
        agree(names);
    }
}
