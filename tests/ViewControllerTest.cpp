#include "tests/support/ControllerFixture.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

class ScanTest : public ControllerTest {
protected:
    // In natural order, one named in Latin-1.
    std::string fivePhotos() { return dir.fill({"p1.jpg", "p2.jpg", "p3 \xE9.jpg", "p4 é.jpg", "p5.jpg"}); }
    // Steps `times` forward, or back when negative; then the window's state.
    std::string step(int times)
    {
        for (; times > 0; --times)
            controller.nextImageButton(nullptr);
        for (; times < 0; ++times)
            controller.prevImageButton(nullptr);
        return state();
    }
};

// Guards the commands on load or after a destination (the move only), the fourteen extensions (exact case), hidden
// and deeper items, order, the folder labels, and what a scan arms.
TEST_F(ScanTest, TakesDirectEntriesWithListedExtensionsInNaturalOrder)
{
    EXPECT_EQ(commands() + window.progressTextField.value, "") << "the doubles start enabled";
    EXPECT_EQ(window.progressBar.min, 0.0);
    chooseDestination(dir.makeFolder("a/b/deep"));
    EXPECT_EQ(window.destinationFolderLabel.value + ": " + commands(), "deep: move");
    dir.write("src/deeper/inner.jpg");
    dir.makeFolder("src/Holiday.mov");

    scan(dir.fill({"IMG_10.jpg", "IMG_2.JPG",  "clip.mov",     "notes.txt",    "a.Jpg", "b.Heic", "c.Mov", "d.JPEG",
                   "e.jpeg",     ".thumb.jpg", "trip.jpg.txt", "trip.txt.jpg", "noext", "dot.",   "x.png", "y.PNG",
                   "z.gif",      "z.GIF",      "h.HEIC",       "h.heic",       "v.mp4", "v.MP4",  "w.MOV"}));
    EXPECT_EQ(entries(), "src/clip.mov src/d.JPEG src/e.jpeg src/h.HEIC src/h.heic src/Holiday.mov "
                         "src/IMG_2.JPG src/IMG_10.jpg src/trip.txt.jpg src/v.MP4 src/v.mp4 src/w.MOV "
                         "src/x.png src/y.PNG src/z.GIF src/z.gif");
    EXPECT_EQ(state(), "1 / 16 src/clip.mov");
    EXPECT_EQ(window.sourceFolderLabel.value + ": " + commands(), "src: prev next trash move");
}

// Guards a Live Photo's video listed twice or lost when the option to move companions together is switched (and a
// step taken while the companions are found, off the UI thread, lost), the file on show or the count not following,
// a RAW without a shown twin listed, a moved pair coming back split, opening the video when it is no entry, and a
// still moved off alone claiming the video it left.
TEST_F(ScanTest, ALivePhotosVideoLeavesTheListWhileCompanionsMoveTogether)
{
    scan(dir.fill({"IMG_0412.HEIC", "IMG_0412.MOV", "IMG_0412.AAE", "DSC_2041.NEF", "clip.mov", "z.jpg"}));
    EXPECT_EQ(step(2), "3 / 4 src/IMG_0412.MOV");
    window.jobs.hold = true; // the folder's other names are read on a worker; a step meanwhile waits for them
    controller.setMoveCompanionsTogether(true);
    controller.nextImageButton(nullptr);
    EXPECT_EQ(entries(), "src/clip.mov src/IMG_0412.HEIC src/IMG_0412.MOV src/z.jpg");
    ASSERT_TRUE(window.jobs.deliverNext());
    window.jobs.hold = false;
    EXPECT_EQ(state(), "3 / 3 src/z.jpg");
    EXPECT_EQ(step(-1), "2 / 3 src/IMG_0412.HEIC");
    EXPECT_EQ(entries(), "src/clip.mov src/IMG_0412.HEIC src/z.jpg");
    controller.setMoveCompanionsTogether(false);
    EXPECT_EQ(step(1), "3 / 4 src/IMG_0412.MOV");

    controller.setMoveCompanionsTogether(true);
    chooseDestination(dir.makeFolder("dest"));
    window.newFileNameTextField.value = "Beach";
    controller.updateDestinationPreview();
    EXPECT_EQ(window.destinationPreviewField.value, "dest / Beach.HEIC + .MOV, .AAE");
    controller.moveAndRenameButton(nullptr);
    controller.setMoveCompanionsTogether(false);
    EXPECT_EQ(state(), "4 / 4 src/z.jpg | out: dest/Beach.HEIC / dest/Beach.AAE / dest/Beach.MOV | status: File "
                       "Renamed: Beach.HEIC | Undo Move of “Beach.HEIC” and 2 companions");
    EXPECT_EQ(entries(), "src/clip.mov dest/Beach.HEIC dest/Beach.MOV src/z.jpg");
    EXPECT_TRUE(step(-1).starts_with("3 / 4 dest/Beach.MOV |"));

    controller.setMoveCompanionsTogether(true); // "Open With" the video: its still
    controller.startNextScanAt(url(dir.fill({"b.jpg", "IMG_1.HEIC", "IMG_1.MOV"}, "open") + "/IMG_1.MOV"));
    scan(dir / "open");
    EXPECT_TRUE(state().starts_with("2 / 2 open/IMG_1.HEIC |"));

    controller.setMoveCompanionsTogether(false); // a still moved off alone keeps no video left behind
    scan(dir.fill({"IMG_7.HEIC", "IMG_7.MOV"}, "alone"));
    window.newFileNameTextField.value = "IMG_7";
    controller.moveAndRenameButton(nullptr);
    controller.setMoveCompanionsTogether(true);
    EXPECT_EQ(entries(), "dest/IMG_7.HEIC alone/IMG_7.MOV");
}

// Guards stepping past either end, bar and text out of step, the location label's decoding (U+FFFD per bad byte),
// and the neighbours the view is told: ahead in the direction of travel, behind, and two more ahead.
TEST_F(ScanTest, StepsAreHeldAtBothEndsAndTheViewIsToldTheNeighboursInTheDirectionOfTravel)
{
    scan(fivePhotos());
    EXPECT_EQ(relative(window.imageViewer.neighbours), "src/p2.jpg src/p3 \xE9.jpg src/p4 é.jpg");
    EXPECT_EQ(step(2), "3 / 5 src/p3 \xE9.jpg");
    EXPECT_EQ(window.currentFilePathLabel.value, "file://" + dir.path() + "/src/p3 \uFFFD.jpg");
    EXPECT_EQ(relative(window.imageViewer.neighbours), "src/p4 é.jpg src/p2.jpg src/p5.jpg");
    step(-1);
    EXPECT_EQ(relative(window.imageViewer.neighbours), "src/p1.jpg src/p3 \xE9.jpg");
    EXPECT_EQ(step(2), "4 / 5 src/p4 é.jpg");
    EXPECT_EQ(window.currentFilePathLabel.value, "file://" + dir.path() + "/src/p4 é.jpg");
    controller.moveToNextImage();
    EXPECT_EQ(step(1), "5 / 5 src/p5.jpg");
    EXPECT_EQ(step(-7), "1 / 5 src/p1.jpg");
    EXPECT_EQ(commands(), "prev next trash");
    scan(dir.fill({"only.heic"}, "one"));
    step(1);
    EXPECT_EQ(step(-1), "1 / 1 one/only.heic");
}

// Guards a cancelled panel changing anything, the empty scan's alert, the counters kept, commands reading an
// empty list, and a later scan starting over.
TEST_F(ScanTest, ScanThatFindsNothingAlertsKeepsTheDisplayAndDisarmsTheCommands)
{
    scan(fivePhotos());
    step(1);
    chooseDestination(dir.makeFolder("dest"));
    scan(std::nullopt);
    chooseDestination(std::nullopt);
    EXPECT_EQ(controller.sourceFolderPath(), url(dir / "src"));
    EXPECT_EQ(controller.destinationFolderPath(), url(dir / "dest"));
    EXPECT_EQ(window.sourceFolderLabel.value + " " + window.destinationFolderLabel.value + ": " + entries(),
              "src dest: src/p1.jpg src/p2.jpg src/p3 \xE9.jpg src/p4 é.jpg src/p5.jpg");
    EXPECT_EQ(state(), "2 / 5 src/p2.jpg");

    scan(dir.fill({"notes.txt"}, "empty"));
    EXPECT_EQ(window.alert.shown.back().second, "Please choose a source folder that contains image files you ninny.");
    EXPECT_EQ(state(), "2 / 5 src/p2.jpg | alert: No Image Files Found!");
    EXPECT_EQ(window.sourceFolderLabel.value + ": " + entries(), "empty: ");
    window.newFileNameTextField.value = "Beach";
    step(1);
    step(-1);
    controller.moveToNextImage();
    controller.moveImageToTrash(nullptr);
    controller.moveAndRenameButton(nullptr);
    EXPECT_EQ(state(), "2 / 5 src/p2.jpg");
    EXPECT_EQ(window.imageViewer.shown.size(), 2u);
    EXPECT_TRUE(window.files.log.empty()) << "nothing touched on disk";
    scan(dir / "src");
    EXPECT_EQ(state(), "1 / 5 src/p1.jpg");
}

// Guards the first file waiting for the sort, a count shown before the list is whole, steps and undo lost or run on a
// part of the list, a move of the first file meanwhile forgotten when the list comes, and the commands given after a
// waiting one lost, run out of turn, or run while a move one of them started is under way.
TEST_F(ScanTest, FirstFileShowsBeforeTheListAndWhatNeedsTheListWaitsForIt)
{
    chooseDestination(dir.makeFolder("dest"));
    scan(fivePhotos());
    step(1);
    window.jobs.hold = true;
    scan(dir.fill({"b10.jpg", "b9.jpg", "a.txt", "B2.jpg"}, "next"));
    EXPECT_TRUE(controller.isListing());
    EXPECT_EQ(state(), "2 / 5 src/p2.jpg") << "the old file stays until the new one is known";
    ASSERT_TRUE(window.jobs.deliverNext());
    EXPECT_EQ(state(), "1 / counting\u2026 bar 0..0 at 0 next/B2.jpg");
    move("Beach");
    controller.nextImageButton(nullptr);
    controller.undo(nullptr);
    move("Twice");
    EXPECT_EQ(state(), "1 / counting\u2026 bar 0..0 at 0 next/B2.jpg entry dest/Beach.jpg | out: dest/Beach.jpg | "
                       "status: File Renamed: Beach.jpg | Undo Move of \u201CBeach.jpg\u201D");
    window.moves.hold = true;
    ASSERT_TRUE(window.jobs.deliverNext());
    EXPECT_FALSE(controller.isListing());
    EXPECT_EQ(entries(), "dest/Beach.jpg next/b9.jpg next/b10.jpg") << "the step done, the undo's move under way";
    window.moves.release();
    EXPECT_EQ(entries(), "next/B2.jpg next/b9.jpg next/b10.jpg") << "undone, and the last move under way";
    window.moves.release();
    EXPECT_FALSE(controller.isMoving());
    EXPECT_EQ(state(), "2 / 3 next/b9.jpg | out: next/B2.jpg / dest/Twice.jpg | status: File Renamed: Twice.jpg | bar: "
                       "Undone: Move of \u201CBeach.jpg\u201D. | Undo Move of \u201CTwice.jpg\u201D");
    EXPECT_EQ(relative(window.imageViewer.shown),
              "src/p1.jpg src/p2.jpg next/B2.jpg next/b9.jpg next/b10.jpg next/B2.jpg next/b9.jpg");
    EXPECT_EQ(entries(), "dest/Twice.jpg next/b9.jpg next/b10.jpg");
}

// Guards a listing given up (another folder chosen, or the window closing) still showing what it found, and the alert
// of an empty folder coming before its listing ends.
TEST_F(ScanTest, AnotherFolderOrClosingGivesUpTheListingUnderWay)
{
    window.jobs.hold = true;
    scan(fivePhotos());
    scan(dir.fill({"notes.txt"}, "empty"));
    scan(dir.fill({"other.jpg"}, "other"));
    while (window.jobs.deliverNext()) {
    }
    EXPECT_EQ(state(), "1 / 1 other/other.jpg");
    EXPECT_EQ(window.imageViewer.shown.size(), 1u);
    scan(dir / "src");
    controller.stopListing();
    while (window.jobs.deliverNext()) {
    }
    EXPECT_EQ(state(), "1 / 1 other/other.jpg");
    scan(dir / "empty");
    EXPECT_EQ(state(), "1 / 1 other/other.jpg");
    window.jobs.deliverNext();
    EXPECT_EQ(state(), "1 / 1 other/other.jpg | alert: No Image Files Found!");
}

} // namespace
