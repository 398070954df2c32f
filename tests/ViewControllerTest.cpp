#include "ControllerFixture.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

using Names = std::vector<std::string>;

class ScanAndNavigationTest : public ControllerTest {
protected:
    std::string fivePhotos() // p1 ... p5, in natural order
    {
        for (int i = 1; i <= 5; ++i)
            dir.write("src/p" + std::to_string(i) + ".jpg");
        return dir / "src";
    }
    void step(int times)
    {
        for (; times > 0; --times)
            controller.nextImageButton(nullptr);
        for (; times < 0; ++times)
            controller.prevImageButton(nullptr);
    }
    void expectPosition(const std::string& text, double bar)
    {
        EXPECT_EQ(window.progressTextField.value, text);
        EXPECT_EQ(window.progressBar.value, bar);
    }
};

// Loading disables the four commands (the doubles start enabled) and starts
// the bar at 0; a scan takes the direct entries with one of the fourteen
// extensions, in natural order, and arms all but the move.
TEST_F(ScanAndNavigationTest, ScanTakesDirectEntriesWithListedExtensionsInNaturalOrder)
{
    EXPECT_FALSE(window.moveAndRenameFileButton.enabled || window.prePhotoButton.enabled ||
                 window.nextPhotoButton.enabled || window.trashPhotoButton.enabled);
    EXPECT_EQ(window.progressBar.min, 0.0);
    EXPECT_EQ(window.progressTextField.value, "");
    for (const char* name :
         {"IMG_10.jpg", "IMG_2.JPG",  "clip.mov",     "notes.txt",    "a.Jpg", "b.Heic", "c.Mov", "d.JPEG",
          "e.jpeg",     ".thumb.jpg", "trip.jpg.txt", "trip.txt.jpg", "noext", "dot.",   "x.png", "y.PNG",
          "z.gif",      "z.GIF",      "h.HEIC",       "h.heic",       "v.mp4", "v.MP4",  "w.MOV"})
        dir.write(std::string("src/") + name);
    dir.write("src/deeper/inner.jpg");
    dir.makeFolder("src/Holiday.mov");

    scan(dir / "src");
    EXPECT_EQ(lastComponents(controller.imageURLs()),
              (Names{"clip.mov", "d.JPEG", "e.jpeg", "h.HEIC", "h.heic", "Holiday.mov", "IMG_2.JPG", "IMG_10.jpg",
                     "trip.txt.jpg", "v.MP4", "v.mp4", "w.MOV", "x.png", "y.PNG", "z.GIF", "z.gif"}));
    EXPECT_EQ(controller.totalImageCount(), 16);
    EXPECT_EQ(window.sourceFolderLabel.value, "src");
    expectPosition("1 / 16", 1.0);
    EXPECT_EQ(window.progressBar.max, 16.0);
    EXPECT_EQ(lastComponents(window.imageViewer.shown), Names{"clip.mov"});
    EXPECT_TRUE(window.prePhotoButton.enabled && window.nextPhotoButton.enabled && window.trashPhotoButton.enabled);
    EXPECT_FALSE(window.moveAndRenameFileButton.enabled) << "only a destination enables the move";
    EXPECT_TRUE(window.alert.shown.empty());
}

// The label shows the decoded location with U+FFFD for bad bytes; the list keeps them.
TEST_F(ScanAndNavigationTest, LocationLabelShowsDecodedTextAndReplacesUndecodableBytes)
{
    dir.write("src/Beach Day é.JPG");
    dir.write("src/bad\xff\xfe name.jpg");
    scan(dir / "src");
    EXPECT_EQ(currentPath(), dir / "src/bad\xff\xfe name.jpg");
    EXPECT_EQ(window.currentFilePathLabel.value, "file://" + dir.path() + "/src/bad\uFFFD\uFFFD name.jpg");
    step(1);
    EXPECT_EQ(window.currentFilePathLabel.value, "file://" + dir.path() + "/src/Beach Day é.JPG");
}

TEST_F(ScanAndNavigationTest, StepsAreHeldAtBothEndsWithBarAndTextInStep)
{
    scan(fivePhotos());
    step(3);
    expectPosition("4 / 5", 4.0);
    EXPECT_EQ(window.currentFilePathLabel.value, "file://" + dir.path() + "/src/p4.jpg");
    step(1);
    controller.moveToNextImage();
    EXPECT_EQ(controller.currentImageItem(), 4);
    expectPosition("5 / 5", window.progressBar.max);
    step(-7);
    EXPECT_EQ(controller.currentImageItem(), 0);
    expectPosition("1 / 5", 1.0);
    EXPECT_TRUE(window.prePhotoButton.enabled && window.nextPhotoButton.enabled);

    dir.write("one/only.heic");
    scan(dir / "one");
    step(1);
    step(-1);
    expectPosition("1 / 1", window.progressBar.max);
}

// The view is told the next file in the direction of travel, the one behind
// and one more ahead.
TEST_F(ScanAndNavigationTest, ViewIsToldTheNeighboursInTheDirectionOfTravel)
{
    scan(fivePhotos());
    EXPECT_EQ(lastComponents(window.imageViewer.neighbours), (Names{"p2.jpg", "p3.jpg"}));
    step(2);
    EXPECT_EQ(lastComponents(window.imageViewer.neighbours), (Names{"p4.jpg", "p2.jpg", "p5.jpg"}));
    step(-1);
    EXPECT_EQ(lastComponents(window.imageViewer.neighbours), (Names{"p1.jpg", "p3.jpg"}));
}

// A scan that finds nothing alerts, empties the list but keeps the counters
// on show, and no command may then read an entry; a later scan starts over.
TEST_F(ScanAndNavigationTest, ScanThatFindsNothingAlertsKeepsTheDisplayAndDisarmsTheCommands)
{
    scan(fivePhotos());
    step(1);
    chooseDestination(dir.makeFolder("dest"));
    dir.write("empty/notes.txt");
    const auto shownBefore = window.imageViewer.shown.size();
    scan(dir / "empty");
    ASSERT_EQ(window.alert.shown.size(), 1u);
    EXPECT_EQ(window.alert.shown[0].first, "No Image Files Found!");
    EXPECT_EQ(window.alert.shown[0].second, "Please choose a source folder that contains image files you ninny.");
    EXPECT_TRUE(controller.imageURLs().empty());
    EXPECT_EQ(controller.totalImageCount(), 5);
    EXPECT_EQ(window.sourceFolderLabel.value, "empty");
    EXPECT_EQ(window.progressTextField.value, "2 / 5");

    window.newFileNameTextField.value = "Beach";
    step(1);
    step(-1);
    controller.moveToNextImage();
    controller.moveImageToTrash(nullptr);
    controller.moveAndRenameButton(nullptr);
    EXPECT_EQ(window.imageViewer.shown.size(), shownBefore);
    EXPECT_TRUE(window.output.lines.empty());
    EXPECT_EQ(window.alert.shown.size(), 1u);
    EXPECT_TRUE(window.files.log.empty()) << "nothing touched on disk";

    scan(dir / "src");
    expectPosition("1 / 5", 1.0);
}

// A destination enables the move only; a cancelled panel changes nothing.
TEST_F(ScanAndNavigationTest, FolderChoicesShowTheirNamesAndCancellingChangesNothing)
{
    chooseDestination(dir.makeFolder("a/b/deep"));
    EXPECT_EQ(window.destinationFolderLabel.value, "deep");
    EXPECT_TRUE(window.moveAndRenameFileButton.enabled);
    EXPECT_FALSE(window.prePhotoButton.enabled);

    scan(fivePhotos());
    chooseDestination(dir.makeFolder("dest"));
    step(1);
    window.panel.chooseNext(std::nullopt);
    controller.sourceFolderButton(nullptr);
    window.panel.chooseNext(std::nullopt);
    controller.destinationFolderButton(nullptr);
    EXPECT_EQ(controller.sourceFolderPath()->path(), dir / "src");
    EXPECT_EQ(controller.destinationFolderPath()->path(), dir / "dest");
    EXPECT_EQ(controller.imageURLs().size(), 5u);
    expectPosition("2 / 5", 2.0);
    EXPECT_EQ(window.sourceFolderLabel.value + window.destinationFolderLabel.value, "srcdest");
    EXPECT_TRUE(window.alert.shown.empty());
}

} // namespace
