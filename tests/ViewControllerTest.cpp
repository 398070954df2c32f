#include "ControllerFixture.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

class ScanAndNavigationTest : public ControllerTest {
protected:
    // Five photos in natural order: p1 ... p5.
    std::string fivePhotos()
    {
        for (int i = 1; i <= 5; ++i)
            dir.write("src/p" + std::to_string(i) + ".jpg");
        return dir / "src";
    }
    std::vector<std::string> listedNames() const
    {
        std::vector<std::string> names;
        for (const FileURL& u : controller.imageURLs())
            names.push_back(u.lastPathComponent());
        return names;
    }
};

TEST_F(ScanAndNavigationTest, LoadDisablesTheCommandButtonsAndTouchesNothingElse)
{
    EXPECT_FALSE(window.moveAndRenameFileButton.enabled);
    EXPECT_FALSE(window.prePhotoButton.enabled);
    EXPECT_FALSE(window.nextPhotoButton.enabled);
    EXPECT_FALSE(window.trashPhotoButton.enabled);
    EXPECT_EQ(window.progressBar.min, 0.0);
    EXPECT_EQ(window.progressTextField.value, "");
    EXPECT_TRUE(controller.imageURLs().empty());
    EXPECT_EQ(controller.totalImageCount(), 0);
}

TEST_F(ScanAndNavigationTest, ScanTakesDirectEntriesWithListedExtensionsInNaturalOrder)
{
    for (const char* name :
         {"IMG_10.jpg", "IMG_2.JPG",  "clip.mov",     "notes.txt",    "a.Jpg", "b.Heic", "c.Mov", "d.JPEG",
          "e.jpeg",     ".thumb.jpg", "trip.jpg.txt", "trip.txt.jpg", "noext", "dot.",   "x.png", "y.PNG",
          "z.gif",      "z.GIF",      "h.HEIC",       "h.heic",       "v.mp4", "v.MP4",  "w.MOV"})
        dir.write(std::string("src/") + name);
    dir.write("src/deeper/inner.jpg");
    dir.makeFolder("src/Holiday.mov");

    scan(dir / "src");

    EXPECT_EQ(listedNames(), (std::vector<std::string>{"clip.mov", "d.JPEG", "e.jpeg", "h.HEIC", "h.heic",
                                                       "Holiday.mov", "IMG_2.JPG", "IMG_10.jpg", "trip.txt.jpg",
                                                       "v.MP4", "v.mp4", "w.MOV", "x.png", "y.PNG", "z.GIF", "z.gif"}));
    EXPECT_EQ(controller.totalImageCount(), 16);
    EXPECT_EQ(controller.currentImageItem(), 0);
    EXPECT_EQ(window.sourceFolderLabel.value, "src");
    EXPECT_EQ(window.progressTextField.value, "1 / 16");
    EXPECT_EQ(window.progressBar.max, 16.0);
    EXPECT_EQ(window.progressBar.value, 1.0);
    ASSERT_EQ(window.imageViewer.shown.size(), 1u);
    EXPECT_EQ(window.imageViewer.shown[0].lastPathComponent(), "clip.mov");
    EXPECT_TRUE(window.prePhotoButton.enabled && window.nextPhotoButton.enabled && window.trashPhotoButton.enabled);
    EXPECT_FALSE(window.moveAndRenameFileButton.enabled) << "only a destination enables the move";
    EXPECT_TRUE(window.alert.shown.empty());
}

TEST_F(ScanAndNavigationTest, LocationLabelShowsDecodedTextAndReplacesUndecodableBytes)
{
    dir.write("src/Beach Day é.JPG");
    dir.write("src/bad\xff\xfe name.jpg");
    scan(dir / "src");

    ASSERT_EQ(controller.totalImageCount(), 2);
    EXPECT_EQ(currentPath(), dir / "src/bad\xff\xfe name.jpg") << "the list keeps the raw bytes";
    EXPECT_EQ(window.currentFilePathLabel.value, "file://" + dir.path() + "/src/bad\uFFFD\uFFFD name.jpg");
    controller.nextImageButton(nullptr);
    EXPECT_EQ(window.currentFilePathLabel.value, "file://" + dir.path() + "/src/Beach Day é.JPG");
}

TEST_F(ScanAndNavigationTest, StepsAreHeldAtBothEndsWithBarAndTextInStep)
{
    scan(fivePhotos());
    controller.nextImageButton(nullptr);
    controller.nextImageButton(nullptr);
    controller.nextImageButton(nullptr);
    EXPECT_EQ(window.progressTextField.value, "4 / 5");
    EXPECT_EQ(window.progressBar.value, 4.0);
    EXPECT_EQ(window.currentFilePathLabel.value, "file://" + dir.path() + "/src/p4.jpg");

    controller.nextImageButton(nullptr);
    controller.moveToNextImage();
    EXPECT_EQ(controller.currentImageItem(), 4);
    EXPECT_EQ(window.progressTextField.value, "5 / 5");
    EXPECT_EQ(window.progressBar.value, window.progressBar.max) << "full on the last file, never past it";

    for (int i = 0; i < 7; ++i)
        controller.prevImageButton(nullptr);
    EXPECT_EQ(controller.currentImageItem(), 0);
    EXPECT_EQ(window.progressTextField.value, "1 / 5");
    EXPECT_EQ(window.progressBar.value, 1.0);
    EXPECT_TRUE(window.prePhotoButton.enabled && window.nextPhotoButton.enabled);

    // A single file keeps 1 / 1 and a full bar either way.
    dir.write("one/only.heic");
    scan(dir / "one");
    controller.nextImageButton(nullptr);
    controller.prevImageButton(nullptr);
    EXPECT_EQ(window.progressTextField.value, "1 / 1");
    EXPECT_EQ(window.progressBar.value, window.progressBar.max);
}

TEST_F(ScanAndNavigationTest, ViewIsToldTheNeighboursInTheDirectionOfTravel)
{
    scan(fivePhotos());
    auto names = [&] {
        std::vector<std::string> out;
        for (const FileURL& u : window.imageViewer.neighbours)
            out.push_back(u.lastPathComponent());
        return out;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"p2.jpg", "p3.jpg"}));
    controller.nextImageButton(nullptr);
    controller.nextImageButton(nullptr);
    EXPECT_EQ(names(), (std::vector<std::string>{"p4.jpg", "p2.jpg", "p5.jpg"}));
    controller.prevImageButton(nullptr);
    EXPECT_EQ(names(), (std::vector<std::string>{"p1.jpg", "p3.jpg"}));
}

TEST_F(ScanAndNavigationTest, ScanThatFindsNothingAlertsKeepsTheDisplayAndDisarmsTheCommands)
{
    scan(fivePhotos());
    controller.nextImageButton(nullptr);
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

    // With no list, no command may read an entry: each does nothing.
    window.newFileNameTextField.value = "Beach";
    controller.nextImageButton(nullptr);
    controller.prevImageButton(nullptr);
    controller.moveToNextImage();
    controller.moveImageToTrash(nullptr);
    controller.moveAndRenameButton(nullptr);
    EXPECT_EQ(window.imageViewer.shown.size(), shownBefore);
    EXPECT_TRUE(window.output.lines.empty());
    EXPECT_EQ(window.alert.shown.size(), 1u);
    EXPECT_TRUE(window.files.log.empty()) << "nothing touched on disk";
    EXPECT_TRUE(exists(dir / "src/p2.jpg"));

    // A later scan that finds files starts over.
    scan(dir / "src");
    EXPECT_EQ(window.progressTextField.value, "1 / 5");
    EXPECT_EQ(window.progressBar.value, 1.0);
}

TEST_F(ScanAndNavigationTest, FolderChoicesShowTheirNamesAndCancellingChangesNothing)
{
    chooseDestination(dir.makeFolder("a/b/deep"));
    EXPECT_EQ(window.destinationFolderLabel.value, "deep");
    EXPECT_TRUE(window.moveAndRenameFileButton.enabled);
    EXPECT_FALSE(window.prePhotoButton.enabled) << "the destination does not arm navigation";

    scan(fivePhotos());
    chooseDestination(dir.makeFolder("dest"));
    controller.nextImageButton(nullptr);

    window.panel.chooseNext(std::nullopt);
    controller.sourceFolderButton(nullptr);
    window.panel.chooseNext(std::nullopt);
    controller.destinationFolderButton(nullptr);

    EXPECT_EQ(controller.sourceFolderPath()->path(), dir / "src");
    EXPECT_EQ(controller.destinationFolderPath()->path(), dir / "dest");
    EXPECT_EQ(controller.imageURLs().size(), 5u);
    EXPECT_EQ(window.progressBar.value, 2.0);
    EXPECT_EQ(window.progressTextField.value, "2 / 5");
    EXPECT_EQ(window.sourceFolderLabel.value, "src");
    EXPECT_EQ(window.destinationFolderLabel.value, "dest");
    EXPECT_TRUE(window.alert.shown.empty());
}

} // namespace
