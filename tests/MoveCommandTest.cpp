#include "ControllerFixture.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

using Lines = std::vector<std::string>;

class MoveCommandTest : public ControllerTest {
protected:
    const std::string starting = "starting if folder is not nil";

    // The last output line is a failure line that goes on with `reason`.
    void expectFailureLine(const std::string& reason = "")
    {
        ASSERT_FALSE(window.output.lines.empty());
        const std::string& line = window.output.lines.back();
        EXPECT_TRUE(line.starts_with(failurePrefix) && line.size() > failurePrefix.size() &&
                    line.find(reason) != std::string::npos)
            << line;
    }
};

TEST_F(MoveCommandTest, MissingFoldersAlertWithTheirTextsAndDoNothingElse)
{
    chooseDestination(dir.makeFolder("dest"));
    controller.moveAndRenameButton(nullptr);
    dir.write("src/a.jpg");
    ViewController fresh(window.outlets(), window.services());
    window.panel.chooseNext(url(dir / "src"));
    fresh.sourceFolderButton(nullptr);
    fresh.moveAndRenameButton(nullptr);
    using Alert = std::pair<std::string, std::string>;
    EXPECT_EQ(window.alert.shown,
              (std::vector<Alert>{
                  {"No Image Source!", "Choose a source folder of images before you can start moving them."},
                  {"No Destination!", "Choose a destination folder for the images to move to. (This can be the "
                                      "same as the source folder.)"}}));
    EXPECT_TRUE(window.output.lines.empty());
    EXPECT_TRUE(window.files.log.empty());
}

TEST_F(MoveCommandTest, UntestedTypeNeverReplacesAnExistingFile)
{
    prepare({"IMG_1.jpg", "IMG_2.jpg"});
    dir.write("dest/Beach.jpg", "precious");
    move("Beach", Untested);
    EXPECT_EQ(window.output.lines.size(), 3u);
    expectFailureLine("File exists");
    EXPECT_EQ(readFile(dir / "dest/Beach.jpg"), "precious");
    EXPECT_EQ(controller.currentImageItem(), 0);
    EXPECT_EQ(window.newFileNamePreviewField.value, "");
}

// Stems keep raw bytes; a short stem counts user-perceived characters
// ("e" + combining acute is one).
TEST_F(MoveCommandTest, StemsKeepRawBytesAndShortStemsCountUserPerceivedCharacters)
{
    prepare({"caf\xe9-\xff.heic", "e\u0301e\u0301e\u0301abcdefgh.jpg"});
    move("y", WithStem);
    EXPECT_TRUE(exists(dir / "dest/caf\xe9-\xff_y.heic"));
    move("x", WithShortStem);
    EXPECT_EQ(window.newFileNamePreviewField.value, "File Renamed: e\u0301e\u0301e\u0301abcdef_x.jpg");
}

// The file itself holds the first candidate; the last entry stays on show
// in its new place.
TEST_F(MoveCommandTest, RenameInPlaceAndMovingTheMovedFileAgain)
{
    prepare({"Beach.JPG", "IMG_0412.JPG"}, dir / "src");
    move("Beach");
    EXPECT_EQ(window.newFileNamePreviewField.value, "File Renamed: Beach 2.JPG");
    EXPECT_EQ(window.progressTextField.value, "2 / 2");
    move("Beach", WithStem);
    move("Beach", WithStem);
    EXPECT_EQ(window.newFileNamePreviewField.value, "File Renamed: IMG_0412_Beach_Beach.JPG");
    EXPECT_EQ(currentPath(), dir / "src/IMG_0412_Beach_Beach.JPG");
    EXPECT_EQ(window.imageViewer.shown.back().path(), currentPath());
    EXPECT_EQ(window.progressTextField.value, "2 / 2");
    EXPECT_EQ(controller.imageURLs()[0].path(), dir / "src/Beach 2.JPG");
    EXPECT_EQ(window.output.lines.back(), currentPath());
}

TEST_F(MoveCommandTest, SubfolderStepsPrintTheirLinesInOrder)
{
    prepare({"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
    const std::string absent = "file does not exist", made = "made folder";
    const struct {
        std::string one, two;
        Lines lines;
    } cases[] = {
        {"2019",
         "Beach",
         {starting, absent, made, "done with subfolder 1", starting, absent, made, "done with subfolder 2",
          dir / "dest/2019/Beach/one.jpg"}},
        {"", "Beach", {starting, starting, absent, made, "done with subfolder 2", dir / "dest/Beach/two.jpg"}},
        {"2019",
         "",
         {starting, "file exists and is dir", "done with subfolder 1", starting, dir / "dest/2019/three.jpg"}},
        {"", "", {starting, starting, dir / "dest/four.jpg"}},
    };
    const char* names[] = {"one", "two", "three", "four"};
    for (int i = 0; i < 4; ++i) {
        window.output.lines.clear();
        window.subFolderOneBox.value = cases[i].one;
        window.subSubFolder.value = cases[i].two;
        move(names[i]);
        EXPECT_EQ(window.output.lines, cases[i].lines);
    }
}

// A file in the way, or a folder that cannot be made: the move into it
// then fails and says why.
TEST_F(MoveCommandTest, SubfoldersThatCannotBeMadeArePrintedAndTheMoveThenFails)
{
    prepare({"a.jpg"});
    dir.write("dest/blocked", "a file");
    window.subFolderOneBox.value = "blocked";
    move("x");
    ASSERT_EQ(window.output.lines.size(), 5u);
    EXPECT_EQ(window.output.lines[1], "file exists and is file");
    EXPECT_EQ(window.output.lines[2], "done with subfolder 1");
    expectFailureLine();

    window.output.lines.clear();
    window.files.failCall("mkdir", 1, "Could not create folder: No space left on device");
    window.subFolderOneBox.value = "new";
    move("x");
    EXPECT_EQ(Lines(window.output.lines.begin(), window.output.lines.begin() + 5),
              (Lines{starting, "file does not exist", "Could not create folder: No space left on device",
                     "tried to make folder and failed", "done with subfolder 1"}));
    EXPECT_EQ(window.output.lines.size(), 7u);
    expectFailureLine();
    EXPECT_TRUE(exists(dir / "src/a.jpg"));
}

TEST_F(MoveCommandTest, AFailedMovePrintsOneLineAndChangesNothing)
{
    prepare({"a.jpg", "b.jpg"});
    window.files.failCall("move", 1, "Could not move “a.jpg”: Permission denied");
    const auto shown = window.imageViewer.shown.size();
    move("x");
    EXPECT_EQ(window.output.lines,
              (Lines{starting, starting, failurePrefix + "Could not move “a.jpg”: Permission denied"}));
    EXPECT_EQ(controller.imageURLs()[0].path(), dir / "src/a.jpg");
    EXPECT_EQ(window.imageViewer.shown.size(), shown);
    EXPECT_EQ(window.newFileNamePreviewField.value, "");
    EXPECT_EQ(window.progressTextField.value, "1 / 2");
}

// A name that would leave the folder, hide the file or be cut at a null is
// refused by an alert before any folder is made; with a stem in front, an
// empty name makes a visible name.
TEST_F(MoveCommandTest, UnsafeNamesAreRefusedBeforeAnythingIsMade)
{
    prepare({"a.jpg"});
    const struct {
        RenameType type;
        std::string name, one, two;
    } refused[] = {{NewName, "../../escape", "made-too-early", ""},
                   {WithStem, "a/b", "made-too-early", ""},
                   {NewName, "", "made-too-early", ""},
                   {NewName, ".hidden", "made-too-early", ""},
                   {Untested, "", "made-too-early", ""},
                   {WithShortStem, std::string("cut\0short", 9), "made-too-early", ""},
                   {NewName, "fine", std::string("a\0b", 3), ""},
                   {NewName, "fine", "ok", std::string("x\0", 2)}};
    for (const auto& r : refused) {
        window.alert.shown.clear();
        window.subFolderOneBox.value = r.one;
        window.subSubFolder.value = r.two;
        move(r.name, r.type);
        ASSERT_EQ(window.alert.shown.size(), 1u) << r.name;
        EXPECT_EQ(window.alert.shown[0].first, "This Name Can’t Be Used");
        EXPECT_FALSE(window.alert.shown[0].second.empty());
    }
    EXPECT_TRUE(window.output.lines.empty());
    EXPECT_TRUE(window.files.log.empty());

    window.subFolderOneBox.value = window.subSubFolder.value = "";
    move("", WithStem);
    EXPECT_TRUE(exists(dir / "dest/a_.jpg"));
}

// Control characters in the printed path are escaped: it stays one line.
TEST_F(MoveCommandTest, ThePrintedPathIsOneLine)
{
    prepare({"a.jpg"});
    window.subFolderOneBox.value = "line\nbreak";
    move("tab\there");
    EXPECT_TRUE(exists(dir / "dest/line\nbreak/tab\there.jpg"));
    EXPECT_EQ(window.output.lines.back(), dir / "dest/line\\x0Abreak/tab\\x09here.jpg");
}

// Trashing steps on and keeps the entry; the last file stays on show, and
// trashing it again fails with one line.
TEST_F(MoveCommandTest, TrashingStepsOnKeepsTheEntryAndASecondTrashFailsOnce)
{
    prepare({"p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg"});
    controller.nextImageButton(nullptr);
    controller.nextImageButton(nullptr);
    controller.moveImageToTrash(nullptr);
    EXPECT_EQ(window.newFileNamePreviewField.value, "File Moved to Trash.");
    EXPECT_EQ(window.progressTextField.value, "4 / 4");
    EXPECT_EQ(controller.imageURLs()[2].path(), dir / "src/p3.jpg");
    EXPECT_EQ(readFile(trash() + "/files/p3.jpg"), "bytes of p3.jpg");
    EXPECT_TRUE(window.output.lines.empty());

    controller.moveImageToTrash(nullptr);
    EXPECT_EQ(window.imageViewer.shown.back().path(), dir / "src/p4.jpg");
    window.newFileNamePreviewField.value = "kept";
    controller.moveImageToTrash(nullptr);
    EXPECT_EQ(window.output.lines.size(), 1u);
    expectFailureLine();
    EXPECT_EQ(window.newFileNamePreviewField.value, "kept");
    EXPECT_EQ(window.progressTextField.value, "4 / 4");
}

} // namespace
