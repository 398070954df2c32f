#include "ControllerFixture.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

using Names = std::vector<std::string>;

class UndoRedoTest : public ControllerTest {
protected:
    // The file on show, the progress text and bar in step, and the newest output line.
    void expectShown(const std::string& path, int position, const std::string& lastLine)
    {
        EXPECT_EQ(currentPath(), path);
        EXPECT_EQ(window.imageViewer.shown.back().path(), path);
        EXPECT_EQ(window.progressTextField.value,
                  std::to_string(position) + " / " + std::to_string(controller.totalImageCount()));
        EXPECT_EQ(window.progressBar.value, position);
        ASSERT_FALSE(window.output.lines.empty());
        EXPECT_EQ(window.output.lines.back(), lastLine);
    }
    void expectTitles(const std::string& undo, const std::string& redo)
    {
        EXPECT_EQ(window.undoMenuItem.titleText, undo);
        EXPECT_EQ(window.undoMenuItem.enabled, undo != "Undo");
        EXPECT_EQ(window.redoMenuItem.titleText, redo);
        EXPECT_EQ(window.redoMenuItem.enabled, redo != "Redo");
    }
};

TEST_F(UndoRedoTest, MovesAndTrashAreUndoneNewestFirstAndRedoneInOrder)
{
    expectTitles("Undo", "Redo");
    prepare({"a.jpg", "b.jpg", "c.mov", "d.jpg"});
    const std::string a = dir / "src/a.jpg", b = dir / "src/b.jpg", c = dir / "src/c.mov";
    const std::string movedA = dir / "dest/A.jpg", movedC = dir / "dest/Trips/C.mov";
    move("A");
    controller.moveImageToTrash(nullptr);
    window.subFolderOneBox.value = "Trips";
    move("C");
    expectShown(dir / "src/d.jpg", 4, movedC);
    expectTitles("Undo Move of “C.mov”", "Redo");
    const std::string status = window.newFileNamePreviewField.value;

    controller.undo(nullptr);
    EXPECT_EQ(readFile(c), "bytes of c.mov");
    EXPECT_FALSE(exists(movedC));
    EXPECT_TRUE(exists(dir / "dest/Trips")) << "the folder the move made stays";
    expectShown(c, 3, c);
    expectTitles("Undo Move to Trash of “b.jpg”", "Redo Move of “C.mov”");
    EXPECT_EQ(window.statusBar.value, "Undone: Move of “C.mov”.");

    controller.undo(nullptr);
    EXPECT_EQ(readFile(b), "bytes of b.jpg");
    EXPECT_EQ(names(trash() + "/files"), Names{});
    EXPECT_EQ(names(trash() + "/info"), Names{}) << "no longer listed in the Trash";
    expectShown(b, 2, b);

    controller.undo(nullptr);
    EXPECT_EQ(readFile(a), "bytes of a.jpg");
    expectShown(a, 1, a);
    expectTitles("Undo", "Redo Move of “A.jpg”");
    controller.undo(nullptr); // nothing left: nothing happens
    EXPECT_EQ(window.output.lines.back(), a);
    EXPECT_EQ(window.newFileNamePreviewField.value, status) << "undo reports in the status bar only";

    controller.redo(nullptr);
    EXPECT_EQ(readFile(movedA), "bytes of a.jpg");
    expectShown(b, 2, movedA);
    controller.redo(nullptr);
    EXPECT_FALSE(exists(b));
    EXPECT_EQ(names(trash() + "/files"), Names{"b.jpg"});
    expectShown(c, 3, movedA);
    EXPECT_EQ(window.statusBar.value, "Redone: Move to Trash of “b.jpg”.");
    controller.redo(nullptr);
    EXPECT_EQ(readFile(movedC), "bytes of c.mov");
    expectShown(dir / "src/d.jpg", 4, movedC);
    EXPECT_EQ(controller.imageURLs()[2].path(), movedC);
    expectTitles("Undo Move of “C.mov”", "Redo");

    // Undo after redo reaches the Trash it went to the second time.
    controller.undo(nullptr);
    controller.undo(nullptr);
    EXPECT_EQ(readFile(b), "bytes of b.jpg");
    expectShown(b, 2, b);
}

TEST_F(UndoRedoTest, UndoAndRedoFailWithOneLineAndChangeNothingWhenTheNameIsTaken)
{
    prepare({"a.jpg", "b.jpg", "c.jpg"});
    move("A");
    controller.moveImageToTrash(nullptr);
    dir.write("src/b.jpg", "newcomer b");
    dir.write("src/a.jpg", "newcomer a");
    const auto lines = window.output.lines.size();

    controller.undo(nullptr);
    ASSERT_EQ(window.output.lines.size(), lines + 1);
    EXPECT_TRUE(window.output.lines.back().starts_with(failurePrefix + "Could not move")) << window.output.lines.back();
    EXPECT_EQ(readFile(dir / "src/b.jpg"), "newcomer b");
    EXPECT_EQ(names(trash() + "/files"), Names{"b.jpg"});
    EXPECT_EQ(window.progressTextField.value, "3 / 3");
    EXPECT_TRUE(window.statusBar.value.starts_with("Can’t undo Move to Trash of “b.jpg”")) << window.statusBar.value;
    expectTitles("Undo Move to Trash of “b.jpg”", "Redo"); // still there to try again

    std::filesystem::remove(dir / "src/b.jpg");
    controller.undo(nullptr);
    EXPECT_EQ(readFile(dir / "src/b.jpg"), "bytes of b.jpg");
    controller.undo(nullptr);
    EXPECT_TRUE(window.output.lines.back().starts_with(failurePrefix)) << "a.jpg is taken";
    EXPECT_EQ(readFile(dir / "dest/A.jpg"), "bytes of a.jpg");
    EXPECT_EQ(readFile(dir / "src/a.jpg"), "newcomer a");
    EXPECT_EQ(controller.imageURLs()[0].path(), dir / "dest/A.jpg");

    // Redo finds its final name taken: it fails too, and stays redoable.
    std::filesystem::remove(dir / "src/a.jpg");
    controller.undo(nullptr);
    dir.write("dest/A.jpg", "newcomer A");
    controller.redo(nullptr);
    EXPECT_TRUE(window.output.lines.back().starts_with(failurePrefix));
    EXPECT_EQ(readFile(dir / "src/a.jpg"), "bytes of a.jpg");
    EXPECT_EQ(readFile(dir / "dest/A.jpg"), "newcomer A");
    expectTitles("Undo", "Redo Move of “A.jpg”");
    EXPECT_TRUE(window.statusBar.value.starts_with("Can’t redo Move of “A.jpg”")) << window.statusBar.value;
}

TEST_F(UndoRedoTest, ANewCommandClearsTheRedoHistory)
{
    prepare({"a\tb.jpg", "c.jpg"});
    move("x");
    controller.undo(nullptr);
    expectTitles("Undo", "Redo Move of “x.jpg”");
    controller.moveImageToTrash(nullptr);
    expectTitles("Undo Move to Trash of “a\\x09b.jpg”", "Redo");
    controller.redo(nullptr);
    EXPECT_FALSE(exists(dir / "src/a\tb.jpg"));
    EXPECT_FALSE(exists(dir / "dest/x.jpg"));

    // A failed command leaves the redo history alone.
    controller.undo(nullptr);
    EXPECT_TRUE(exists(dir / "src/a\tb.jpg"));
    window.files.failCall("move", 3, "Could not move: no"); // after the move and its undo
    move("y");
    expectTitles("Undo", "Redo Move to Trash of “a\\x09b.jpg”");
}

TEST_F(UndoRedoTest, AHundredAndTwentyStepsOfMovesAndTrashGoAllTheWayBack)
{
    std::vector<std::string> files;
    for (int i = 0; i < 120; ++i)
        files.push_back(dir.write("src/p" + std::to_string(i) + ".jpg", std::to_string(i)));
    scan(dir / "src");
    chooseDestination(dir.makeFolder("dest"));
    for (int i = 0; i < 120; ++i) {
        if (i % 3 == 0)
            controller.moveImageToTrash(nullptr);
        else
            move("same"); // taken after the first: numbered
    }
    EXPECT_EQ(names(dir / "src"), Names{});

    for (int i = 0; i < 120; ++i)
        controller.undo(nullptr);
    for (int i = 0; i < 120; ++i)
        EXPECT_EQ(readFile(files[static_cast<std::size_t>(i)]), std::to_string(i));
    EXPECT_EQ(names(dir / "dest"), Names{});
    EXPECT_EQ(names(trash() + "/files"), Names{});
    EXPECT_EQ(window.progressTextField.value, "1 / 120");
    expectTitles("Undo", "Redo Move to Trash of “p0.jpg”");
}

TEST_F(UndoRedoTest, AMoveToAnotherFilesystemIsUndoneAndRedone)
{
    SKIP_WITHOUT_ANOTHER_FILESYSTEM(dir.path());
    TempDir other(*folderOnAnotherFilesystem(dir.path()));
    prepare({"clip.mov", "d.jpg"}, other.path());
    window.subFolderOneBox.value = "Trips";
    move("Beach");
    const std::string moved = other / "Trips/Beach.mov";
    EXPECT_EQ(readFile(moved), "bytes of clip.mov");

    controller.undo(nullptr);
    EXPECT_EQ(readFile(dir / "src/clip.mov"), "bytes of clip.mov");
    EXPECT_EQ(names(other / "Trips"), Names{});
    expectShown(dir / "src/clip.mov", 1, dir / "src/clip.mov");

    controller.redo(nullptr);
    EXPECT_EQ(readFile(moved), "bytes of clip.mov");
    EXPECT_FALSE(exists(dir / "src/clip.mov"));
    expectShown(dir / "src/d.jpg", 2, moved);
}

// A new scan replaced the list: the file still goes back, and the list and
// the display of the other folder are left as they are.
TEST_F(UndoRedoTest, UndoAfterANewScanPutsTheFileBackAndLeavesTheNewList)
{
    prepare({"a.jpg"});
    move("A");
    dir.write("other/o1.jpg");
    dir.write("other/o2.jpg");
    scan(dir / "other");
    controller.nextImageButton(nullptr);

    controller.undo(nullptr);
    EXPECT_TRUE(exists(dir / "src/a.jpg"));
    EXPECT_EQ(window.output.lines.back(), dir / "src/a.jpg");
    EXPECT_EQ(currentPath(), dir / "other/o2.jpg");
    EXPECT_EQ(controller.imageURLs()[0].path(), dir / "other/o1.jpg");
    EXPECT_EQ(window.progressTextField.value, "2 / 2");
}

} // namespace
