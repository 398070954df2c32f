#include "tests/support/ControllerFixture.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

using UndoRedoTest = ControllerTest;

// Guards the order, what each puts back (a folder made stays, Trash listing goes), titles, status texts, and the redo
// history kept by a failed command and cleared by a new one.
TEST_F(UndoRedoTest, MovesAndTrashAreUndoneNewestFirstAndRedoneInOrder)
{
    prepare({"a.jpg", "b.jpg", "c.mov", "d.jpg"});
    EXPECT_EQ(state(), "1 / 4 src/a.jpg");
    move("A");
    controller.moveImageToTrash(nullptr);
    window.subFolderOneBox.value = "Trips";
    move("C");
    EXPECT_EQ(state(), "4 / 4 src/d.jpg | out: dest/A.jpg / file does not exist / made folder / done with subfolder "
                       "1 / dest/Trips/C.mov | status: File Renamed: C.mov | Undo Move of “C.mov”");

    controller.undo(nullptr);
    EXPECT_EQ(state(), "3 / 4 src/c.mov | out: src/c.mov | status: File Renamed: C.mov | bar: Undone: Move of "
                       "“C.mov”. | Undo Move to Trash of “b.jpg” | Redo Move of “C.mov”");
    EXPECT_EQ(disk(), "dest/A.jpg=a.jpg dest/Trips/ src/c.mov src/d.jpg | trash: b.jpg b.jpg.trashinfo");
    controller.undo(nullptr);
    EXPECT_EQ(state(), "2 / 4 src/b.jpg | out: src/b.jpg | status: File Renamed: C.mov | bar: Undone: Move to Trash "
                       "of “b.jpg”. | Undo Move of “A.jpg” | Redo Move to Trash of “b.jpg”");
    EXPECT_EQ(disk(), "dest/A.jpg=a.jpg dest/Trips/ src/b.jpg src/c.mov src/d.jpg | trash: ");
    controller.undo(nullptr);
    controller.undo(nullptr); // nothing left: nothing happens
    EXPECT_EQ(state(), "1 / 4 src/a.jpg | out: src/a.jpg | status: File Renamed: C.mov | bar: Undone: Move of "
                       "“A.jpg”. | Redo Move of “A.jpg”");
    // The Trash's "b.jpg" is taken when the redo trashes it again.
    ASSERT_TRUE(window.files.real.trashItemAtURL(url(dir.write("elsewhere/b.jpg", "another b.jpg"))));

    controller.redo(nullptr);
    EXPECT_EQ(state(), "2 / 4 src/b.jpg | out: dest/A.jpg | status: File Renamed: C.mov | bar: Redone: Move of "
                       "“A.jpg”. | Undo Move of “A.jpg” | Redo Move to Trash of “b.jpg”");
    controller.redo(nullptr);
    EXPECT_EQ(state(), "3 / 4 src/c.mov | status: File Renamed: C.mov | bar: Redone: Move to Trash of “b.jpg”. | "
                       "Undo Move to Trash of “b.jpg” | Redo Move of “C.mov”");
    controller.redo(nullptr);
    EXPECT_EQ(state(), "4 / 4 src/d.jpg | out: dest/Trips/C.mov | status: File Renamed: C.mov | bar: Redone: Move "
                       "of “C.mov”. | Undo Move of “C.mov”");
    EXPECT_EQ(disk(),
              "dest/A.jpg=a.jpg dest/Trips/C.mov=c.mov elsewhere/ src/d.jpg | trash: b.2.jpg=b.jpg b.jpg=another "
              "b.jpg b.2.jpg.trashinfo b.jpg.trashinfo");
    EXPECT_EQ(entries(), "dest/A.jpg src/b.jpg dest/Trips/C.mov src/d.jpg");

    controller.undo(nullptr);
    controller.undo(nullptr); // from where the redo put it in the Trash
    EXPECT_EQ(state(), "2 / 4 src/b.jpg | out: src/c.mov / src/b.jpg | status: File Renamed: C.mov | bar: Undone: "
                       "Move to Trash of “b.jpg”. | Undo Move of “A.jpg” | Redo Move to Trash of “b.jpg”");
    EXPECT_EQ(disk(),
              "dest/A.jpg=a.jpg dest/Trips/ elsewhere/ src/b.jpg src/c.mov src/d.jpg | trash: b.jpg=another b.jpg "
              "b.jpg.trashinfo");

    window.files.failCall("move", window.files.calls["move"] + 1, "Could not move: no");
    move("X"); // a failed command leaves the redo history, a new one clears it
    EXPECT_TRUE(state().ends_with("| Undo Move of “A.jpg” | Redo Move to Trash of “b.jpg”"));
    controller.nextImageButton(nullptr);
    controller.moveImageToTrash(nullptr);
    EXPECT_TRUE(state().ends_with("| Undo Move to Trash of “c.mov”"));
}

// Guards companions left behind or split by a move, Trash, undo or redo, a command's lines (one per file, the photo
// first), its titles, and the list with the option switched off afterwards.
TEST_F(UndoRedoTest, APhotoAndItsCompanionsMoveTrashAndComeBackAsOneStep)
{
    controller.setMoveCompanionsTogether(true);
    prepare({"IMG_0412.HEIC", "IMG_0412.MOV", "IMG_0412.AAE", "DSC_2041.JPG", "DSC_2041.NEF", "DSC_2041.NEF.xmp",
             "lone.jpg"});
    EXPECT_EQ(entries(), "src/DSC_2041.JPG src/IMG_0412.HEIC src/lone.jpg");
    move("Beach");
    controller.moveImageToTrash(nullptr);
    EXPECT_EQ(state(), "3 / 3 src/lone.jpg | out: dest/Beach.JPG / dest/Beach.NEF / dest/Beach.NEF.xmp | status: File "
                       "Moved to Trash. | Undo Move to Trash of “IMG_0412.HEIC” and 2 companions");
    EXPECT_EQ(disk(), "dest/Beach.JPG=DSC_2041.JPG dest/Beach.NEF.xmp=DSC_2041.NEF.xmp dest/Beach.NEF=DSC_2041.NEF "
                      "src/lone.jpg | trash: IMG_0412.AAE IMG_0412.HEIC IMG_0412.MOV IMG_0412.AAE.trashinfo "
                      "IMG_0412.HEIC.trashinfo IMG_0412.MOV.trashinfo");

    controller.undo(nullptr);
    EXPECT_EQ(state(), "2 / 3 src/IMG_0412.HEIC | out: src/IMG_0412.HEIC / src/IMG_0412.AAE / src/IMG_0412.MOV | "
                       "status: File Moved to Trash. | bar: Undone: Move to Trash of “IMG_0412.HEIC” and 2 companions. "
                       "| Undo Move of “Beach.JPG” and 2 companions | Redo Move to Trash of “IMG_0412.HEIC” and 2 "
                       "companions");
    controller.undo(nullptr);
    EXPECT_EQ(state(), "1 / 3 src/DSC_2041.JPG | out: src/DSC_2041.JPG / src/DSC_2041.NEF / src/DSC_2041.NEF.xmp | "
                       "status: File Moved to Trash. | bar: Undone: Move of “Beach.JPG” and 2 companions. | Redo Move "
                       "of “Beach.JPG” and 2 companions");
    EXPECT_EQ(disk(), "dest/ src/DSC_2041.JPG src/DSC_2041.NEF src/DSC_2041.NEF.xmp src/IMG_0412.AAE src/IMG_0412.HEIC "
                      "src/IMG_0412.MOV src/lone.jpg | trash: ");

    controller.redo(nullptr);
    controller.redo(nullptr);
    EXPECT_EQ(state(), "3 / 3 src/lone.jpg | out: dest/Beach.JPG / dest/Beach.NEF / dest/Beach.NEF.xmp | status: File "
                       "Moved to Trash. | bar: Redone: Move to Trash of “IMG_0412.HEIC” and 2 companions. | Undo Move "
                       "to Trash of “IMG_0412.HEIC” and 2 companions");
    EXPECT_EQ(names(trash() + "/files"), (Names{"IMG_0412.AAE", "IMG_0412.HEIC", "IMG_0412.MOV"}));
    controller.undo(nullptr);
    controller.setMoveCompanionsTogether(false);
    EXPECT_EQ(state(), "2 / 4 src/IMG_0412.HEIC | out: src/IMG_0412.HEIC / src/IMG_0412.AAE / src/IMG_0412.MOV | "
                       "status: File Moved to Trash. | bar: Undone: Move to Trash of “IMG_0412.HEIC” and 2 companions. "
                       "| Undo Move of “Beach.JPG” and 2 companions | Redo Move to Trash of “IMG_0412.HEIC” and 2 "
                       "companions");
    EXPECT_EQ(entries(), "dest/Beach.JPG src/IMG_0412.HEIC src/IMG_0412.MOV src/lone.jpg");
}

// Guards an undo or redo whose name is taken replacing it, or changing anything but the output and status bar.
TEST_F(UndoRedoTest, UndoAndRedoFailWithOneLineAndChangeNothingWhenTheNameIsTaken)
{
    prepare({"a.jpg", "b.jpg", "c.jpg"});
    move("A");
    controller.moveImageToTrash(nullptr);
    dir.write("src/b.jpg", "newcomer b");
    state();
    controller.undo(nullptr);
    EXPECT_EQ(state(), "3 / 3 src/c.jpg | out: " + failurePrefix +
                           "Could not move “Trash/b.jpg” to “src/b.jpg”: File exists | status: File Moved to Trash. | "
                           "bar: Can’t undo Move to Trash of “b.jpg”: Could not move “Trash/b.jpg” to “src/b.jpg”: "
                           "File exists | Undo Move to Trash of “b.jpg”");
    EXPECT_EQ(disk(), "dest/A.jpg=a.jpg src/b.jpg=newcomer b src/c.jpg | trash: b.jpg b.jpg.trashinfo");

    std::filesystem::remove(dir / "src/b.jpg");
    controller.undo(nullptr);
    controller.undo(nullptr);
    dir.write("dest/A.jpg", "newcomer A");
    controller.redo(nullptr);
    EXPECT_EQ(state(), "1 / 3 src/a.jpg | out: src/b.jpg / src/a.jpg / " + failurePrefix +
                           "Could not move “src/a.jpg” to “dest/A.jpg”: File exists | status: File Moved to Trash. | "
                           "bar: Can’t redo Move of “A.jpg”: Could not move “src/a.jpg” to “dest/A.jpg”: File exists | "
                           "Redo Move of “A.jpg”");
    EXPECT_EQ(disk(), "dest/A.jpg=newcomer A src/a.jpg src/b.jpg src/c.jpg | trash: ");
}

// Guards a history that forgets steps: 120 moves and trashings all undone.
TEST_F(UndoRedoTest, AHundredAndTwentyStepsOfMovesAndTrashGoAllTheWayBack)
{
    for (int i = 0; i < 120; ++i)
        dir.write("src/p" + std::to_string(i) + ".jpg", "p" + std::to_string(i) + ".jpg");
    scan(dir / "src");
    chooseDestination(dir.makeFolder("dest"));
    const std::string before = disk();
    for (int i = 0; i < 120; ++i) {
        if (i % 3 == 0)
            controller.moveImageToTrash(nullptr);
        else
            move("same"); // taken after the first: numbered
    }
    EXPECT_EQ(names(dir / "src"), Names{});
    for (int i = 0; i < 120; ++i)
        controller.undo(nullptr);
    EXPECT_EQ(disk(), before);
    const std::string after = state();
    EXPECT_TRUE(after.starts_with("1 / 120 src/p0.jpg |") && after.ends_with("| Redo Move to Trash of “p0.jpg”"));
}

// Guards undo after a new scan touching the new list or what it shows.
TEST_F(UndoRedoTest, UndoAfterANewScanPutsTheFileBackAndLeavesTheNewList)
{
    prepare({"a.jpg"});
    move("A");
    scan(dir.fill({"o1.jpg", "o2.jpg"}, "other"));
    controller.nextImageButton(nullptr);
    controller.undo(nullptr);
    EXPECT_EQ(state(), "2 / 2 other/o2.jpg | out: dest/A.jpg / src/a.jpg | status: File Renamed: A.jpg | bar: "
                       "Undone: Move of “A.jpg”. | Redo Move of “A.jpg”");
    EXPECT_EQ(entries(), "other/o1.jpg other/o2.jpg");
    EXPECT_TRUE(exists(dir / "src/a.jpg"));
}

// Guards undo of a Trash after the Trash was emptied, or after the file was put back by hand, not saying what happened
// (or staying stuck on a file that is back in its place).
TEST_F(UndoRedoTest, UndoOfATrashSaysWhatBecameOfAFileThatLeftTheTrash)
{
    prepare({"a.jpg", "b.jpg"});
    controller.moveImageToTrash(nullptr);
    controller.moveImageToTrash(nullptr);
    std::filesystem::rename(trash() + "/files/b.jpg", dir / "src/b.jpg"); // by hand: its listing stays
    std::filesystem::remove(trash() + "/files/a.jpg");
    std::filesystem::remove(trash() + "/info/a.jpg.trashinfo");
    state();
    controller.undo(nullptr);
    EXPECT_EQ(state(),
              "2 / 2 src/b.jpg | out: src/b.jpg | status: File Moved to Trash. | bar: Undone: Move to Trash of "
              "“b.jpg” (it was back in its folder already). | Undo Move to Trash of “a.jpg” | Redo Move to "
              "Trash of “b.jpg”");
    controller.undo(nullptr);
    const std::string why = "Could not put “src/a.jpg” back from the Trash: it is no longer in the Trash";
    EXPECT_EQ(state(), "2 / 2 src/b.jpg | out: " + failurePrefix + why +
                           " | status: File Moved to Trash. | bar: Can’t "
                           "undo Move to Trash of “a.jpg”: " +
                           why +
                           " | Undo Move to Trash of “a.jpg” | Redo Move to Trash "
                           "of “b.jpg”");
    EXPECT_EQ(disk(), "dest/ src/b.jpg | trash: ");
}

// Guards a command racing a move under way (a step, a Trash, a new scan, undo) instead of being refused with one line,
// and undo or redo of a move not waiting for it the same way.
TEST_F(UndoRedoTest, CommandsAreRefusedWhileAMoveIsUnderWayAndUndoWaitsTheSameWay)
{
    prepare({"a.jpg", "b.jpg", "c.jpg"});
    move("A");
    window.moves.hold = true;
    move("B");
    state();
    controller.undo(nullptr);
    controller.nextImageButton(nullptr);
    controller.prevImageButton(nullptr);
    controller.moveImageToTrash(nullptr);
    move("C");
    controller.sourceFolderButton(nullptr); // the panel would fail the test
    controller.destinationFolderButton(nullptr);
    EXPECT_EQ(state(), "2 / 3 src/b.jpg | status: File Renamed: A.jpg | bar: Wait for the move to end, or press Escape "
                       "to cancel it. | Undo Move of “A.jpg”");
    EXPECT_EQ(disk(), "dest/A.jpg=a.jpg src/b.jpg src/c.jpg | trash: ");
    window.moves.release();
    EXPECT_EQ(state(), "3 / 3 src/c.jpg | out: dest/B.jpg | status: File Renamed: B.jpg | Undo Move of “B.jpg”");

    controller.undo(nullptr);
    EXPECT_TRUE(controller.isMoving());
    controller.undo(nullptr); // a second move of the same file: the double fails the test
    window.moves.release();
    EXPECT_EQ(state(), "2 / 3 src/b.jpg | out: src/b.jpg | status: File Renamed: B.jpg | bar: Undone: Move of "
                       "“B.jpg”. | Undo Move of “A.jpg” | Redo Move of “B.jpg”");
    controller.redo(nullptr);
    controller.redo(nullptr);
    controller.undo(nullptr);
    EXPECT_EQ(state(), "2 / 3 src/b.jpg | status: File Renamed: B.jpg | bar: Wait for the move to end, or press Escape "
                       "to cancel it. | Undo Move of “A.jpg” | Redo Move of “B.jpg”");
    window.moves.release();
    EXPECT_EQ(state(), "3 / 3 src/c.jpg | out: dest/B.jpg | status: File Renamed: B.jpg | bar: Redone: Move of "
                       "“B.jpg”. | Undo Move of “B.jpg”");
}

} // namespace
