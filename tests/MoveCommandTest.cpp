#include <cstdlib>

#include "ControllerFixture.h"
#include "Environment.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

// The Trash goes to a scratch data folder for the whole run: no test may
// touch the user's own Trash. GLib reads HOME once, so it is set before any
// test runs.
const std::string& home = useScratchHome();

std::string trashFolder()
{
    return home + "/.local/share/Trash";
}

constexpr RenameType NewName = RenameType::NewNameOnly, WithStem = RenameType::StemAndNewName,
                     WithShortStem = RenameType::ShortStemAndNewName, Untested = RenameType::NewNameOnlyUntested;

class MoveCommandTest : public ControllerTest {
protected:
    // A source with the given files, a destination, and the first file on show.
    void prepare(std::initializer_list<std::string> names)
    {
        for (const std::string& name : names)
            dir.write("src/" + name, "bytes of " + name);
        dir.makeFolder("dest");
        scan(dir / "src");
        chooseDestination(dir / "dest");
    }
    // Selects the menu item of `type` (the untested type: an index past the
    // three items), types `name` and presses the move button.
    void move(RenameType type, const std::string& name)
    {
        window.renameTypeMenu.index = type == Untested ? 7 : static_cast<long>(type);
        window.newFileNameTextField.value = name;
        controller.moveAndRenameButton(nullptr);
    }
    static std::string failureLine(const std::string& description)
    {
        return "Ooops! Something went wrong: " + description;
    }
};

TEST_F(MoveCommandTest, MissingFoldersAlertWithTheirTextsAndDoNothingElse)
{
    chooseDestination(dir.makeFolder("dest"));
    controller.moveAndRenameButton(nullptr);
    ASSERT_EQ(window.alert.shown.size(), 1u);
    EXPECT_EQ(window.alert.shown[0],
              std::make_pair(std::string("No Image Source!"),
                             std::string("Choose a source folder of images before you can start moving them.")));

    ControllerTest::window.alert.shown.clear();
    dir.write("src/a.jpg");
    ViewController fresh(window.outlets(), window.services());
    window.panel.chooseNext(url(dir / "src"));
    fresh.sourceFolderButton(nullptr);
    fresh.moveAndRenameButton(nullptr);
    ASSERT_EQ(window.alert.shown.size(), 1u);
    EXPECT_EQ(window.alert.shown[0].first, "No Destination!");
    EXPECT_EQ(window.alert.shown[0].second,
              "Choose a destination folder for the images to move to. (This can be the same as the source folder.)");
    EXPECT_TRUE(window.output.lines.empty());
    EXPECT_TRUE(window.files.log.empty());
}

struct NamingCase {
    RenameType type;
    std::vector<std::string> taken; // in the destination before the move; "name/" is a folder
    std::string expected;
};

void PrintTo(const NamingCase& c, std::ostream* os)
{
    static constexpr const char* typeNames[] = {"name", "stem and name", "short stem and name", "untested"};
    *os << typeNames[static_cast<int>(c.type)];
    for (const std::string& t : c.taken)
        *os << (&t == &c.taken.front() ? " with " : " and ") << t;
    *os << (c.taken.empty() ? "" : " taken") << " gives " << c.expected;
}

class NamingTable : public MoveCommandTest, public ::testing::WithParamInterface<NamingCase> {};

TEST_P(NamingTable, BuildsTheNameAndTakesTheSmallestFreeNumber)
{
    prepare({"IMG_20190704_153012.JPG"});
    for (const std::string& t : GetParam().taken) {
        if (t.back() == '/')
            dir.makeFolder("dest/" + t);
        else
            dir.write("dest/" + t, "already here");
    }
    move(GetParam().type, "Beach");

    const std::string target = dir / ("dest/" + GetParam().expected);
    EXPECT_EQ(window.output.lines.back(), target);
    EXPECT_EQ(window.newFileNamePreviewField.value, "File Renamed: " + GetParam().expected);
    EXPECT_EQ(controller.imageURLs()[0].path(), target);
    EXPECT_FALSE(exists(dir / "src/IMG_20190704_153012.JPG"));
    for (const std::string& t : GetParam().taken)
        EXPECT_TRUE(exists(dir / ("dest/" + t))) << t << " must survive";
}

INSTANTIATE_TEST_SUITE_P(
    RenameTypes, NamingTable,
    ::testing::Values(NamingCase{NewName, {}, "Beach.JPG"}, NamingCase{NewName, {"Beach.JPG"}, "Beach 2.JPG"},
                      NamingCase{NewName, {"Beach.JPG", "Beach 3.JPG"}, "Beach 2.JPG"},
                      NamingCase{NewName, {"Beach.JPG/", "Beach 2.JPG"}, "Beach 3.JPG"},
                      NamingCase{WithStem, {}, "IMG_20190704_153012_Beach.JPG"},
                      NamingCase{WithStem, {"IMG_20190704_153012_Beach.JPG"}, "IMG_20190704_153012_Beach 2.JPG"},
                      NamingCase{WithShortStem, {}, "IMG_20190_Beach.JPG"},
                      NamingCase{
                          WithShortStem, {"IMG_20190_Beach.JPG", "IMG_20190_Beach 2.JPG"}, "IMG_20190_Beach 3.JPG"},
                      NamingCase{Untested, {"Other.JPG"}, "Beach.JPG"}));

TEST_F(MoveCommandTest, UntestedTypeNeverReplacesAnExistingFile)
{
    prepare({"IMG_1.jpg", "IMG_2.jpg"});
    dir.write("dest/Beach.jpg", "precious");
    move(Untested, "Beach");

    ASSERT_EQ(window.output.lines.size(), 3u);
    EXPECT_EQ(window.output.lines[2].rfind(failureLine(""), 0), 0u) << window.output.lines[2];
    EXPECT_NE(window.output.lines[2].find("File exists"), std::string::npos) << window.output.lines[2];
    EXPECT_EQ(readFile(dir / "dest/Beach.jpg"), "precious");
    EXPECT_TRUE(exists(dir / "src/IMG_1.jpg"));
    EXPECT_EQ(controller.currentImageItem(), 0);
    EXPECT_EQ(window.newFileNamePreviewField.value, "");
}

TEST_F(MoveCommandTest, StemsKeepRawBytesAndShortStemsCountUserPerceivedCharacters)
{
    // "e" + combining acute is one character; the invalid bytes stay as they are.
    prepare({"caf\xe9-\xff.heic", "e\u0301e\u0301e\u0301abcdefgh.jpg"});
    move(WithStem, "y");
    EXPECT_TRUE(exists(dir / "dest/caf\xe9-\xff_y.heic"));
    move(WithShortStem, "x");
    EXPECT_EQ(window.newFileNamePreviewField.value, "File Renamed: e\u0301e\u0301e\u0301abcdef_x.jpg");
}

TEST_F(MoveCommandTest, RenameInPlaceAndMovingTheMovedFileAgain)
{
    dir.write("src/Beach.JPG");
    dir.write("src/IMG_0412.JPG");
    scan(dir / "src");
    chooseDestination(dir / "src");

    move(NewName, "Beach"); // the file itself holds the first candidate
    EXPECT_EQ(window.newFileNamePreviewField.value, "File Renamed: Beach 2.JPG");
    EXPECT_EQ(window.progressTextField.value, "2 / 2");

    move(WithStem, "Beach");
    move(WithStem, "Beach"); // the last entry stays on show in its new place
    EXPECT_EQ(window.newFileNamePreviewField.value, "File Renamed: IMG_0412_Beach_Beach.JPG");
    EXPECT_EQ(currentPath(), dir / "src/IMG_0412_Beach_Beach.JPG");
    EXPECT_EQ(window.imageViewer.shown.back().path(), dir / "src/IMG_0412_Beach_Beach.JPG");
    EXPECT_EQ(window.progressTextField.value, "2 / 2");
    EXPECT_EQ(controller.imageURLs()[0].path(), dir / "src/Beach 2.JPG");
}

TEST_F(MoveCommandTest, SubfolderStepsPrintTheirLinesInOrder)
{
    prepare({"a.jpg", "b.jpg", "c.jpg", "d.jpg"});

    window.subFolderOneBox.value = "2019";
    window.subSubFolder.value = "Beach";
    move(NewName, "one");
    EXPECT_EQ(window.output.lines,
              (std::vector<std::string>{"starting if folder is not nil", "file does not exist", "made folder",
                                        "done with subfolder 1", "starting if folder is not nil", "file does not exist",
                                        "made folder", "done with subfolder 2", dir / "dest/2019/Beach/one.jpg"}));

    window.output.lines.clear();
    window.subFolderOneBox.value = "";
    move(NewName, "two"); // level 2 alone lies directly in the destination
    EXPECT_EQ(window.output.lines,
              (std::vector<std::string>{"starting if folder is not nil", "starting if folder is not nil",
                                        "file does not exist", "made folder", "done with subfolder 2",
                                        dir / "dest/Beach/two.jpg"}));

    window.output.lines.clear();
    window.subSubFolder.value = "";
    move(NewName, "three");
    EXPECT_EQ(window.output.lines, (std::vector<std::string>{"starting if folder is not nil",
                                                             "starting if folder is not nil", dir / "dest/three.jpg"}));

    window.output.lines.clear();
    dir.write("dest/blocked", "a file");
    window.subFolderOneBox.value = "blocked";
    move(NewName, "four");
    ASSERT_EQ(window.output.lines.size(), 5u);
    EXPECT_EQ(window.output.lines[1], "file exists and is file");
    EXPECT_EQ(window.output.lines[2], "done with subfolder 1");
    EXPECT_EQ(window.output.lines[4].rfind(failureLine(""), 0), 0u);
    EXPECT_TRUE(exists(dir / "src/d.jpg"));
}

TEST_F(MoveCommandTest, FailedSubfolderCreationIsPrintedAndTheMoveThenFails)
{
    prepare({"a.jpg"});
    window.files.failCall("mkdir", 1, "Could not create folder: No space left on device");
    window.subFolderOneBox.value = "new";
    move(NewName, "x");
    ASSERT_EQ(window.output.lines.size(), 7u);
    EXPECT_EQ(window.output.lines[1], "file does not exist");
    EXPECT_EQ(window.output.lines[2], "Could not create folder: No space left on device");
    EXPECT_EQ(window.output.lines[3], "tried to make folder and failed");
    EXPECT_EQ(window.output.lines[4], "done with subfolder 1");
    EXPECT_EQ(window.output.lines[6].rfind(failureLine(""), 0), 0u);
    EXPECT_TRUE(exists(dir / "src/a.jpg"));
}

TEST_F(MoveCommandTest, AFailedMovePrintsOneLineAndChangesNothing)
{
    prepare({"a.jpg", "b.jpg"});
    window.files.failCall("move", 1, "Could not move “a.jpg”: Permission denied");
    const auto shown = window.imageViewer.shown.size();
    move(NewName, "x");
    EXPECT_EQ(window.output.lines,
              (std::vector<std::string>{"starting if folder is not nil", "starting if folder is not nil",
                                        failureLine("Could not move “a.jpg”: Permission denied")}));
    EXPECT_EQ(controller.imageURLs()[0].path(), dir / "src/a.jpg");
    EXPECT_EQ(controller.currentImageItem(), 0);
    EXPECT_EQ(window.imageViewer.shown.size(), shown);
    EXPECT_EQ(window.newFileNamePreviewField.value, "");
    EXPECT_EQ(window.progressTextField.value, "1 / 2");
}

TEST_F(MoveCommandTest, UnsafeNamesAreRefusedBeforeAnythingIsMade)
{
    prepare({"a.jpg"});
    window.subFolderOneBox.value = "made-too-early";
    struct Refused {
        RenameType type;
        std::string name;
    };
    for (const Refused& r :
         {Refused{NewName, "../../escape"}, Refused{WithStem, "a/b"}, Refused{NewName, ""}, Refused{NewName, ".hidden"},
          Refused{Untested, ""}, Refused{WithShortStem, std::string("cut\0short", 9)}}) {
        window.alert.shown.clear();
        move(r.type, r.name);
        ASSERT_EQ(window.alert.shown.size(), 1u) << r.name;
        EXPECT_FALSE(window.alert.shown[0].second.empty());
    }
    EXPECT_TRUE(window.output.lines.empty());
    EXPECT_TRUE(window.files.log.empty());
    EXPECT_FALSE(exists(dir / "dest/made-too-early"));
    EXPECT_TRUE(exists(dir / "src/a.jpg"));

    // A pasted null character in either subfolder box: cut there, the folder
    // would get another name, and no file name under it would ever be free.
    for (auto [one, two] : {std::pair<std::string, std::string>{std::string("a\0b", 3), ""},
                            std::pair<std::string, std::string>{"ok", std::string("x\0", 2)}}) {
        window.alert.shown.clear();
        window.subFolderOneBox.value = one;
        window.subSubFolder.value = two;
        move(NewName, "fine");
        ASSERT_EQ(window.alert.shown.size(), 1u);
        EXPECT_EQ(window.alert.shown[0].first, "This Name Can’t Be Used");
    }
    EXPECT_TRUE(window.output.lines.empty());
    EXPECT_TRUE(window.files.log.empty());
    EXPECT_EQ(names(dir / "dest"), std::vector<std::string>{});

    // With a stem in front, an empty name makes a visible name.
    window.subFolderOneBox.value = "";
    window.subSubFolder.value = "";
    move(WithStem, "");
    EXPECT_TRUE(exists(dir / "dest/a_.jpg"));
}

// Control characters in a folder or file name are escaped in the printed
// path, as in failure lines: every result stays one line for a script.
TEST_F(MoveCommandTest, ThePrintedPathIsOneLine)
{
    prepare({"a.jpg"});
    window.subFolderOneBox.value = "line\nbreak";
    move(NewName, "tab\there");
    EXPECT_TRUE(exists(dir / "dest/line\nbreak/tab\there.jpg"));
    EXPECT_EQ(window.output.lines.back(), dir / "dest/line\\x0Abreak/tab\\x09here.jpg");
}

class TrashCommandTest : public MoveCommandTest {};

TEST_F(TrashCommandTest, TrashingStepsOnAndKeepsTheEntry)
{
    prepare({"p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg", "p5.jpg"});
    controller.nextImageButton(nullptr);
    controller.nextImageButton(nullptr);
    controller.moveImageToTrash(nullptr);

    EXPECT_EQ(window.newFileNamePreviewField.value, "File Moved to Trash.");
    EXPECT_EQ(window.progressTextField.value, "4 / 5");
    EXPECT_EQ(controller.totalImageCount(), 5);
    EXPECT_EQ(controller.imageURLs()[2].path(), dir / "src/p3.jpg");
    EXPECT_FALSE(exists(dir / "src/p3.jpg"));
    EXPECT_TRUE(exists(trashFolder() + "/files/p3.jpg"));
    EXPECT_TRUE(window.output.lines.empty());
}

TEST_F(TrashCommandTest, TrashingTheLastFileKeepsItOnShowAndASecondTrashFailsOnce)
{
    prepare({"t1.jpg", "t2.jpg"});
    controller.nextImageButton(nullptr);
    controller.moveImageToTrash(nullptr);
    EXPECT_EQ(window.progressTextField.value, "2 / 2");
    EXPECT_EQ(window.imageViewer.shown.back().path(), dir / "src/t2.jpg");

    window.newFileNamePreviewField.value = "kept";
    controller.moveImageToTrash(nullptr);
    ASSERT_EQ(window.output.lines.size(), 1u);
    EXPECT_EQ(window.output.lines[0].rfind(failureLine(""), 0), 0u);
    EXPECT_GT(window.output.lines[0].size(), failureLine("").size()) << "the reason follows";
    EXPECT_EQ(window.newFileNamePreviewField.value, "kept");
    EXPECT_EQ(window.progressTextField.value, "2 / 2");
}

} // namespace
