#include <QAction>
#include <QCompleter>
#include <QLineEdit>
#include <QStatusBar>

#include "app/FolderCompletion.h"
#include "tests/support/Pictures.h"
#include "tests/support/QtWait.h"
#include "tests/support/WindowFixture.h"
#include "viewer/PhotoInfo.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

using EditingTest = WindowFixture<FailingFileManager>;

// Guards Return, Ctrl+Shift+O, Ctrl+Return (rename menu) and the undo keys in text boxes not running their
// commands (or a box's own undo), the last name not selected, the menu titles and the status bar.
TEST_F(EditingTest, KeysRunTheCommandsFromInsideTextBoxesAndTheMenuNamesTheCommand)
{
    auto* undo = find<QAction>("actionUndo");
    auto* redo = find<QAction>("actionRedo");
    EXPECT_FALSE(undo->isEnabled());
    choose("sourceFolderButton", dir.fill({"a.jpg", "b.png", "c.mov"}));
    panel.chooseNext(FileURL::fileURLWithPath(dir.makeFolder("dest")));
    press(&window, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    auto* name = find<QLineEdit>("newFileNameTextField");
    name->setFocus();
    QTest::keyClicks(name, "Sand & Sea");
    press(name, Qt::Key_Return);
    ASSERT_TRUE(moveEnded());
    EXPECT_EQ(undo->text(), "Undo Move of “Sand && Sea.jpg”");
    EXPECT_TRUE(undo->isEnabled() && !redo->isEnabled());
    EXPECT_EQ(name->selectedText(), "Sand & Sea") << "the next name replaces the last one";

    ASSERT_EQ(QApplication::focusWidget(), name);
    press(name, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(moveEnded());
    EXPECT_EQ(tree(dir.path()), "dest/ src/a.jpg src/b.png src/c.mov");
    EXPECT_EQ(name->text() + " " + progressText(), "Sand & Sea 1 / 3") << "the name field's own undo did not run";
    EXPECT_EQ(window.statusBar()->currentMessage(), "Undone: Move of “Sand & Sea.jpg”.");
    EXPECT_EQ(text("newFileNamePreviewField"), "File Renamed: Sand & Sea.jpg");
    EXPECT_EQ(redo->text(), "Redo Move of “Sand && Sea.jpg”");
    press(name, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(moveEnded());
    EXPECT_EQ(tree(dir / "dest") + " " + progressText().toStdString(), "Sand & Sea.jpg=a.jpg 2 / 3");
    press(name, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(moveEnded());
    find<QComboBox>("subFolderOneBox")->setFocus();
    press(QApplication::focusWidget(), Qt::Key_Y, Qt::ControlModifier);
    ASSERT_TRUE(moveEnded());
    press(find<QComboBox>("renameTypeMenu"), Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(moveEnded());
    EXPECT_EQ(tree(dir / "dest") + " " + progressText().toStdString(),
              "Sand & Sea.jpg=a.jpg Sand & Sea.png=b.png 3 / 3");
}

// Guards the preview line or its accessible description missing an edit, and a preview that makes anything.
TEST_F(EditingTest, PreviewLineFollowsEveryEditAndCreatesNothing)
{
    openFolders({"IMG_0412.JPG"});
    EXPECT_EQ(text("destinationPreviewField"), "Type a name for the file first.");
    const std::pair<const char*, const char*> edits[] = {{"newFileNameTextField", "B"},
                                                         {"newFileNameTextField", "e"},
                                                         {"subFolderOneBox", "Trips"},
                                                         {"subSubFolder", "2024"}};
    QStringList lines;
    for (auto [box, typed] : edits) {
        QWidget* widget = window.findChild<QWidget*>(box);
        widget->setFocus();
        QTest::keyClicks(widget, typed);
        lines << text("destinationPreviewField");
    }
    find<QComboBox>("renameTypeMenu")->setCurrentIndex(1);
    lines << text("destinationPreviewField");
    EXPECT_EQ(lines.join(" | "),
              "dest / B.JPG | dest / Be.JPG | dest / Trips / Be.JPG | dest / Trips / 2024 / Be.JPG | "
              "dest / Trips / 2024 / IMG_0412_Be.JPG");
    EXPECT_EQ(find<QLabel>("destinationPreviewField")->accessibleDescription(), lines.back());
    EXPECT_EQ(tree(dir / "dest"), "");
    EXPECT_TRUE(files.log.empty());
}

// Guards the folders offered per level (not files, hidden, not UTF-8, case, order), after a move and in another
// destination.
TEST_F(EditingTest, SubfolderBoxesOfferTheFoldersOfTheirLevelAndNamesUsedBefore)
{
    for (const char* folder : {"dest/Trips/2023", "dest/Trips/2024", "dest/trains", "dest/.hidden", "dest/caf\xE9"})
        dir.makeFolder(folder);
    dir.write("dest/notes.jpg");
    openFolders({"a.jpg", "b.jpg"});
    auto* levelOne = find<QComboBox>("subFolderOneBox");
    auto* levelTwo = find<QComboBox>("subSubFolder");
    auto offers = [&](QComboBox* box, const QStringList& expected) {
        return waitUntil([&] { return items(box) == expected; }) ? "" : items(box).join(", ").toStdString();
    };
    // With subfolder 1 empty, subfolder 2 lies in the destination too.
    EXPECT_EQ(offers(levelOne, {"trains", "Trips"}) + offers(levelTwo, {"trains", "Trips"}), "");
    levelOne->setFocus();
    QTest::keyClicks(levelOne, "tR");
    EXPECT_EQ(levelOne->completer()->completionCount(), 2) << "completion ignores case";
    levelOne->setEditText("Trips");
    EXPECT_EQ(offers(levelTwo, {"2023", "2024"}), "");

    levelTwo->setEditText("2025");
    find<QLineEdit>("newFileNameTextField")->setText("x");
    click("moveAndRenameFileButton");
    ASSERT_TRUE(moveEnded());
    ASSERT_TRUE(exists(dir / "dest/Trips/2025/x.jpg"));
    EXPECT_EQ(offers(levelTwo, {"2023", "2024", "2025"}), "");
    EXPECT_EQ(levelOne->currentText() + "/" + levelTwo->currentText(), "Trips/2025");
    choose("destinationFolderButton", dir.makeFolder("other"));
    EXPECT_EQ(offers(levelOne, {"Trips"}) + offers(levelTwo, {"2025"}), "");
}

// Guards the date taken offered otherwise than first and marked, a folder of that name listed twice, and another
// photo's date lingering.
TEST_F(EditingTest, SubfolderBoxesOfferThePhotosDateFirstAsSuggestions)
{
    dir.makeFolder("dest/2024");
    dir.makeFolder("dest/Trips");
    dir.write("src/a.jpg",
              jpegWithExif(solid(64, 48, Qt::red), {1, {}, "2024:07:14 15:30:12", "", "", ""}).toStdString());
    dir.write("src/b.png", encode(solid(64, 48, Qt::blue), "PNG").toStdString());
    choose("sourceFolderButton", dir / "src");
    choose("destinationFolderButton", dir / "dest");
    auto* levelOne = find<QComboBox>("subFolderOneBox");
    auto* levelTwo = find<QComboBox>("subSubFolder");
    auto offered = [&](QComboBox* box) { return items(box).join(" "); };
    ASSERT_TRUE(waitUntil([&] { return offered(levelOne) == "2024* 2024-07* 2024-07-14* Trips"; }))
        << offered(levelOne).toStdString();
    EXPECT_EQ(offered(levelTwo), "07* 2024-07-14* 2024 Trips");
    levelOne->setEditText("2024-07-14");
    find<QLineEdit>("newFileNameTextField")->setText("x");
    EXPECT_EQ(text("destinationPreviewField"), "dest / 2024-07-14 / x.jpg");
    click("nextPhotoButton");
    EXPECT_TRUE(waitUntil([&] { return offered(levelOne) == "2024 Trips"; })) << offered(levelOne).toStdString();
}

// Guards a date taken read or named wrongly: the forms, a blank or impossible date, the camera's offset, a video's
// UTC time shown as on the clocks where it was filmed.
TEST(DateSuggestionTest, TheDateTakenGivesTheFolderNamesPeopleFileBy)
{
    const struct {
        const char *dateTime, *offset, *names;
        std::optional<int> offsetSeconds = std::nullopt;
    } cases[] = {
        {"2024:07:14 15:30:12", "", "2024 2024-07 2024-07-14 | 07 2024-07-14"},
        {"2024:07:15 00:30:00", "+02:00", "2024 2024-07 2024-07-15 | 07 2024-07-15", 7200}, // 22:30 UTC the day before
        {"1999:12:31 23:59:59", "-05:30", "1999 1999-12 1999-12-31 | 12 1999-12-31", -19800},
        {"2024:01:02 03:04:05", "2:00", "2024 2024-01 2024-01-02 | 01 2024-01-02"},
        {"    :  :     :  :  ", "", ""}, // a camera whose clock was never set
        {"0000:00:00 00:00:00", "", ""},
        {"2024:02:30 10:00:00", "", ""},
        {"2024-07-14 15:30:12", "", ""},
    };
    auto names = [](const std::optional<imaging::TakenAt>& taken) {
        if (!taken)
            return QString();
        const DateFolderNames folders = dateFolderNames(taken->date);
        return folders.levelOne.join(" ") + " | " + folders.levelTwo.join(" ");
    };
    for (const auto& c : cases) {
        const auto taken = imaging::takenFromExif(c.dateTime, c.offset);
        EXPECT_EQ(names(taken), c.names) << c.dateTime;
        EXPECT_EQ(taken ? taken->offsetSeconds : std::nullopt, c.offsetSeconds) << c.dateTime;
    }
    const QDateTime utc(QDate(2024, 7, 14), QTime(22, 30), QTimeZone::utc());
    EXPECT_EQ(names(imaging::takenFromUtc(utc, QTimeZone("Asia/Tokyo"))), "2024 2024-07 2024-07-15 | 07 2024-07-15");
    EXPECT_EQ(names(imaging::takenFromUtc(utc, QTimeZone("America/New_York"))),
              "2024 2024-07 2024-07-14 | 07 2024-07-14");
}

using SlowListingTest = WindowFixture<SlowFileManager>;

// Guards a destination of 100,000 entries listed on the UI thread, holding up typing.
TEST_F(SlowListingTest, TypingGoesOnWhileTheFoldersAreListed)
{
    files.holdListings = true;
    dir.makeFolder("dest/Trips");
    openFolders({"a.jpg"});
    files.listings = 0; // the scan's
    auto* name = find<QLineEdit>("newFileNameTextField");
    name->setFocus();
    QTest::keyClicks(name, "abc");
    EXPECT_EQ(text("destinationPreviewField"), "dest / abc.jpg");
    EXPECT_EQ(files.listings, 0);
    EXPECT_TRUE(items(find<QComboBox>("subFolderOneBox")).isEmpty());
    files.holdListings = false;
    EXPECT_TRUE(waitUntil([&] { return items(find<QComboBox>("subFolderOneBox")) == QStringList{"Trips"}; }));
}

// Guards the source listed on the UI thread (the window frozen until it ends), and a listing that another choice or
// closing the window gave up running on or showing what it found.
TEST_F(SlowListingTest, TheSourceIsListedOffTheUIThreadAndAnotherChoiceOrClosingGivesItUp)
{
    files.holdSourceListings = true;
    panel.chooseNext(FileURL::fileURLWithPath(dir.fill({"a.jpg", "b.jpg"})));
    click("sourceFolderButton");
    EXPECT_TRUE(window.controller().isListing()) << "the button returned while the listing waits";
    panel.chooseNext(FileURL::fileURLWithPath(dir.fill({"c.jpg"}, "other")));
    click("sourceFolderButton");
    EXPECT_TRUE(waitUntil([&] { return files.stoppedListings == 1; })) << "the first listing was not stopped";
    files.holdSourceListings = false;
    listed();
    EXPECT_EQ(progressText() + " " + text("currentFilePathLabel"),
              "1 / 1 file://" + QString::fromStdString(dir / "other/c.jpg"));

    files.holdSourceListings = true;
    panel.chooseNext(FileURL::fileURLWithPath(dir / "src"));
    click("sourceFolderButton");
    window.close();
    EXPECT_TRUE(waitUntil([&] { return files.stoppedListings == 2; })) << "closing did not stop the listing";
    EXPECT_FALSE(window.controller().isListing());
}

} // namespace
