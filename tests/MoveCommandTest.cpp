#include "tests/support/ControllerFixture.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

using MoveCommandTest = ControllerTest;

// Guards the two alerts' texts, and a move without both folders printing or touching anything.
TEST_F(MoveCommandTest, MissingFoldersAlertWithTheirTextsAndDoNothingElse)
{
    chooseDestination(dir.makeFolder("dest"));
    controller.moveAndRenameButton(nullptr);
    ViewController fresh(window.outlets(), window.services());
    window.panel.chooseNext(url(dir.fill({"a.jpg"})));
    fresh.sourceFolderButton(nullptr);
    fresh.moveAndRenameButton(nullptr);
    using Alert = std::pair<std::string, std::string>;
    EXPECT_EQ(window.alert.shown,
              (std::vector<Alert>{
                  {"No Image Source!", "Choose a source folder of images before you can start moving them."},
                  {"No Destination!", "Choose a destination folder for the images to move to. (This can be the "
                                      "same as the source folder.)"}}));
    EXPECT_TRUE(window.output.lines.empty() && window.files.log.empty());
}

// Guards the file's own name counting as free in place, and the last entry not following the file.
TEST_F(MoveCommandTest, RenameInPlaceAndMovingTheMovedFileAgain)
{
    prepare({"Beach.JPG", "IMG_0412.JPG"}, dir / "src");
    move("Beach");
    EXPECT_EQ(state(), "2 / 2 src/IMG_0412.JPG | out: src/Beach 2.JPG | status: File Renamed: Beach 2.JPG | Undo "
                       "Move of “Beach 2.JPG”");
    move("Beach", WithStem);
    move("Beach", WithStem);
    EXPECT_EQ(state(), "2 / 2 src/IMG_0412_Beach_Beach.JPG | out: src/IMG_0412_Beach.JPG / "
                       "src/IMG_0412_Beach_Beach.JPG | status: File Renamed: IMG_0412_Beach_Beach.JPG | Undo Move of "
                       "“IMG_0412_Beach_Beach.JPG”");
    EXPECT_EQ(entries(), "src/Beach 2.JPG src/IMG_0412_Beach_Beach.JPG");
}

// Guards the subfolder lines, their words and order, and a control character breaking the printed path's line.
TEST_F(MoveCommandTest, SubfolderStepsPrintTheirLinesInOrder)
{
    prepare({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"});
    const std::string absent = "file does not exist", made = "made folder", done1 = "done with subfolder 1",
                      done2 = "done with subfolder 2";
    const struct {
        std::string one, two, name;
        Names lines;
    } cases[] = {
        {"2019", "Beach", "1", {starting, absent, made, done1, starting, absent, made, done2, "dest/2019/Beach/1.jpg"}},
        {"", "Beach", "2", {starting, starting, absent, made, done2, "dest/Beach/2.jpg"}},
        {"2019", "", "3", {starting, "file exists and is dir", done1, starting, "dest/2019/3.jpg"}},
        {"", "", "4", {starting, starting, "dest/4.jpg"}},
        {"a\nb", "", "c\td", {starting, absent, made, done1, starting, "dest/a\\x0Ab/c\\x09d.jpg"}},
    };
    for (const auto& c : cases) {
        window.output.lines.clear();
        window.subFolderOneBox.value = c.one;
        window.subSubFolder.value = c.two;
        move(c.name);
        EXPECT_EQ(printed(), c.lines);
    }
    EXPECT_EQ(tree(dir / "dest"),
              "2019/3.jpg=c.jpg 2019/Beach/1.jpg=a.jpg 4.jpg=d.jpg Beach/2.jpg=b.jpg a\nb/c\td.jpg=e.jpg");
}

// Guards a file in the way of a subfolder, or a folder that cannot be made, unreported or moved into, and a failed
// move changing the entry, the position, the view or the status, or not looking at the preview again.
TEST_F(MoveCommandTest, SubfoldersThatCannotBeMadeArePrintedAndTheMoveThenFails)
{
    prepare({"a.jpg", "b.jpg"});
    dir.write("dest/blocked", "a file");
    window.subFolderOneBox.value = "blocked";
    move("x");
    window.files.failCall("mkdir", 1, "Could not create folder: No space left on device");
    window.subFolderOneBox.value = "new";
    window.destinationPreviewField.value = "stale";
    move("x");
    EXPECT_EQ(window.destinationPreviewField.value, "dest / new / x.jpg") << "the preview is looked at again";
    EXPECT_EQ(state(), "1 / 2 src/a.jpg | out: file exists and is file / done with subfolder 1 / " + failurePrefix +
                           "Could not move “src/a.jpg” to “dest/blocked/x.jpg”: Not a directory / file does not exist "
                           "/ Could not create folder: No space left on device / tried to make folder and failed / "
                           "done with subfolder 1 / " +
                           failurePrefix + "Could not move “src/a.jpg” to “dest/new/x.jpg”: No such file or directory");
    EXPECT_EQ(disk() + " " + entries(), "dest/blocked=a file src/a.jpg src/b.jpg | trash:  src/a.jpg src/b.jpg");
    EXPECT_EQ(window.imageViewer.shown.size(), 1u);
}

// Guards names leaving the folder, hiding the file or cut at a null reaching the disk; stem + empty name is fine.
TEST_F(MoveCommandTest, UnsafeNamesAreRefusedBeforeAnythingIsMade)
{
    prepare({"a.jpg"});
    const std::string nul("a\0b", 3);
    const struct {
        RenameType type;
        std::string name, one = "made-too-early", two = "";
    } refused[] = {{NewName, "../../escape"}, {WithStem, "a/b"},        {NewName, ""},
                   {NewName, ".hidden"},      {Untested, ""},           {WithShortStem, nul},
                   {NewName, "x", nul},       {NewName, "x", "ok", nul}};
    for (const auto& r : refused) {
        window.subFolderOneBox.value = r.one;
        window.subSubFolder.value = r.two;
        move(r.name, r.type);
        EXPECT_EQ(state(), "1 / 1 src/a.jpg | alert: This Name Can’t Be Used") << r.name;
        EXPECT_FALSE(window.alert.shown.back().second.empty());
    }
    EXPECT_TRUE(window.files.log.empty());
    window.subFolderOneBox.value = window.subSubFolder.value = "";
    move("", WithStem);
    EXPECT_EQ(tree(dir / "dest"), "a_.jpg=a.jpg");
}

// Guards a group left split when its second or third file cannot move (a name taken after the plan, a file that
// cannot go to the Trash or come back from it): those moved go back, one line names the file and why, and nothing
// else changes.
TEST_F(MoveCommandTest, AGroupThatCannotMoveWholeComesBackWhole)
{
    controller.setMoveCompanionsTogether(true);
    prepare({"IMG_0412.HEIC", "IMG_0412.MOV", "IMG_0412.AAE"});
    const std::string before = disk();
    window.moves.hold = true;
    for (const std::string taken : {"Beach.AAE", "Beach.MOV"}) { // the second file, then the third
        move("Beach");
        dir.write("dest/" + taken, "theirs");
        window.moves.release();
        EXPECT_EQ(state(), "1 / 1 src/IMG_0412.HEIC | out: " + failurePrefix + "Could not move “src/IMG_0412." +
                               taken.substr(6) + "” to “dest/" + taken + "”: File exists");
        std::filesystem::remove(dir / ("dest/" + taken));
        EXPECT_EQ(disk(), before);
    }
    window.moves.hold = false;
    window.files.failCall("trash", 3, "Could not move “IMG_0412.MOV” to the Trash: no room");
    controller.moveImageToTrash(nullptr);
    EXPECT_EQ(state(), "1 / 1 src/IMG_0412.HEIC | out: " + failurePrefix +
                           "Could not move “IMG_0412.MOV” to the Trash: no room");
    EXPECT_EQ(disk(), before);

    // Undo of the Trash: a file whose name is taken sends those put back to the Trash again, where the next undo
    // finds them.
    controller.moveImageToTrash(nullptr);
    dir.write("src/IMG_0412.MOV", "newcomer");
    state();
    controller.undo(nullptr);
    EXPECT_TRUE(state().starts_with("1 / 1 src/IMG_0412.HEIC | out: " + failurePrefix +
                                    "Could not move “Trash/IMG_0412.MOV” to “src/IMG_0412.MOV”: File exists | "));
    EXPECT_EQ(names(dir / "src"), Names{"IMG_0412.MOV"});
    std::filesystem::remove(dir / "src/IMG_0412.MOV");
    controller.undo(nullptr);
    EXPECT_EQ(disk(), before);
}

// Guards the option's default, or a folder with companions, changing anything a script reads: each file on its own,
// one line each, as always; switched on later, a file moved on its own stays on its own.
TEST_F(MoveCommandTest, WithTheOptionOffEveryFileMovesOnItsOwnAsBefore)
{
    EXPECT_FALSE(controller.movesCompanionsTogether());
    prepare({"IMG_0412.HEIC", "IMG_0412.MOV", "IMG_0412.AAE", "DSC_2041.JPG", "DSC_2041.NEF"});
    controller.nextImageButton(nullptr);
    move("Beach");
    controller.moveImageToTrash(nullptr);
    controller.undo(nullptr);
    EXPECT_EQ(state(), "3 / 3 src/IMG_0412.MOV | out: dest/Beach.HEIC / src/IMG_0412.MOV | status: File Moved to "
                       "Trash. | bar: Undone: Move to Trash of “IMG_0412.MOV”. | Undo Move of “Beach.HEIC” | Redo Move "
                       "to Trash of “IMG_0412.MOV”");
    EXPECT_EQ(printed(), (Names{starting, starting, "dest/Beach.HEIC", "src/IMG_0412.MOV"}));
    EXPECT_EQ(disk(), "dest/Beach.HEIC=IMG_0412.HEIC src/DSC_2041.JPG src/DSC_2041.NEF src/IMG_0412.AAE "
                      "src/IMG_0412.MOV | trash: ");
    controller.setMoveCompanionsTogether(true);
    EXPECT_EQ(state(), "3 / 3 src/IMG_0412.MOV | status: File Moved to Trash. | bar: Undone: Move to Trash of "
                       "“IMG_0412.MOV”. | Undo Move of “Beach.HEIC” | Redo Move to Trash of “IMG_0412.MOV”");
}

// Guards trashing dropping the entry or not stepping on, the last file left on show, its title, a failed trash.
TEST_F(MoveCommandTest, TrashingStepsOnKeepsTheEntryAndASecondTrashFailsOnce)
{
    prepare({"p1.jpg", "p2.jpg", "p3\t.jpg", "p4.jpg"});
    controller.nextImageButton(nullptr);
    controller.nextImageButton(nullptr);
    controller.moveImageToTrash(nullptr);
    EXPECT_EQ(state(), "4 / 4 src/p4.jpg | status: File Moved to Trash. | Undo Move to Trash of “p3\\x09.jpg”");
    EXPECT_EQ(entries(), "src/p1.jpg src/p2.jpg src/p3\t.jpg src/p4.jpg");
    controller.moveImageToTrash(nullptr);
    EXPECT_EQ(state(), "4 / 4 src/p4.jpg | status: File Moved to Trash. | Undo Move to Trash of “p4.jpg”");
    window.newFileNamePreviewField.value = "kept";
    controller.moveImageToTrash(nullptr);
    ASSERT_EQ(printed().size(), 1u);
    EXPECT_TRUE(printed()[0].starts_with(failurePrefix + "Could not move “src/p4.jpg” to the Trash: ")) << printed()[0];
    EXPECT_TRUE(state().ends_with("No such file or directory | status: kept | Undo Move to Trash of “p4.jpg”"));
    EXPECT_EQ(disk(), "dest/ src/p1.jpg src/p2.jpg | trash: p3\t.jpg p4.jpg p3\t.jpg.trashinfo p4.jpg.trashinfo");
}

// Guards the recent destinations' order, a pair standing twice, more than nine kept, a failed move counted, a
// remembered list taken as it is, and filling the boxes moving anything or filling a pair there is not.
TEST_F(MoveCommandTest, RecentDestinationsAreTheLastNineDistinctPairsAndFillingTheBoxesMovesNothing)
{
    prepare({"0.jpg", "1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg", "6.jpg", "7.jpg", "8.jpg", "9.jpg", "10.jpg"});
    auto recent = [&] {
        return join(controller.recentDestinations().pairs() | std::views::transform([](const SubfolderPair& pair) {
                        return pair.levelOne + "/" + pair.levelTwo;
                    }));
    };
    auto moveTo = [&](std::string one, std::string two) {
        window.subFolderOneBox.value = std::move(one);
        window.subSubFolder.value = std::move(two);
        move("x");
    };
    moveTo("Trips", "2024");
    moveTo("Family", "");
    moveTo("", "");
    moveTo("Trips", "2024");
    EXPECT_EQ(recent(), "Trips/2024 / Family/");
    for (const char* two : {"1", "2", "3", "4", "5", "6", "7"})
        moveTo("d", two);
    EXPECT_EQ(recent(), "d/7 d/6 d/5 d/4 d/3 d/2 d/1 Trips/2024 /");
    window.files.failCall("move", 12, "Could not move: No space left on device");
    moveTo("failed", "");
    EXPECT_EQ(recent(), "d/7 d/6 d/5 d/4 d/3 d/2 d/1 Trips/2024 /");

    const std::string before = disk();
    controller.useRecentDestination(7);
    EXPECT_EQ(window.subFolderOneBox.value + "/" + window.subSubFolder.value + " | " +
                  window.destinationPreviewField.value,
              "Trips/2024 | dest / Trips / 2024 / x 3.jpg");
    controller.useRecentDestination(9);
    EXPECT_EQ(window.subFolderOneBox.value + "/" + window.subSubFolder.value, "Trips/2024");
    EXPECT_EQ(disk(), before);

    std::vector<SubfolderPair> remembered;
    for (const char* one : {"a", "b", "a", "c", "d", "e", "f", "g", "h", "i", "j"})
        remembered.push_back({one, ""});
    controller.recentDestinations().restore(remembered);
    EXPECT_EQ(recent(), "a/ b/ c/ d/ e/ f/ g/ h/ i/");
}

} // namespace
