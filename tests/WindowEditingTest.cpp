#include <QAction>
#include <QCompleter>
#include <QLineEdit>
#include <QStatusBar>

#include "QtWait.h"
#include "WindowFixture.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

using EditingTest = WindowFixture<FailingFileManager>;

TEST_F(EditingTest, UndoAndRedoKeysWorkFromInsideTextBoxesAndTheMenuNamesTheCommand)
{
    auto* undo = find<QAction>("actionUndo");
    auto* redo = find<QAction>("actionRedo");
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_EQ(undo->text(), "Undo");

    openFolders({"a.jpg", "b.png", "c.mov"});
    auto* name = find<QLineEdit>("newFileNameTextField");
    name->setFocus();
    QTest::keyClicks(name, "Sand & Sea");
    press(name, Qt::Key_Return);
    const std::string moved = dir / "dest/Sand & Sea.jpg", original = dir / "src/a.jpg";
    ASSERT_TRUE(exists(moved));
    EXPECT_EQ(undo->text(), "Undo Move of “Sand && Sea.jpg”") << "an & in a name is no mnemonic";
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_FALSE(redo->isEnabled());

    ASSERT_EQ(QApplication::focusWidget(), name);
    press(name, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(exists(original));
    EXPECT_EQ(name->text(), "Sand & Sea") << "the name field's own undo did not run";
    EXPECT_EQ(progressText(), "1 / 3");
    EXPECT_EQ(output.lines.back(), original);
    EXPECT_EQ(window.statusBar()->currentMessage(), "Undone: Move of “Sand & Sea.jpg”.");
    EXPECT_EQ(find<QLabel>("newFileNamePreviewField")->text(), "File Renamed: Sand & Sea.jpg");
    EXPECT_EQ(redo->text(), "Redo Move of “Sand && Sea.jpg”");

    press(name, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(exists(moved));
    EXPECT_EQ(progressText(), "2 / 3");
    press(name, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(exists(original));

    auto* levelOne = find<QComboBox>("subFolderOneBox");
    levelOne->setFocus();
    press(QApplication::focusWidget(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(exists(moved));
    EXPECT_EQ(output.lines.back(), moved);
}

TEST_F(EditingTest, PreviewLineFollowsEveryEditAndCreatesNothing)
{
    openFolders({"IMG_0412.JPG"});
    auto* preview = find<QLabel>("destinationPreviewField");
    EXPECT_EQ(preview->text(), "Type a name for the file first.");

    auto* name = find<QLineEdit>("newFileNameTextField");
    name->setFocus();
    QTest::keyClicks(name, "B");
    EXPECT_EQ(preview->text(), "dest / B.JPG");
    QTest::keyClicks(name, "e");
    EXPECT_EQ(preview->text(), "dest / Be.JPG");

    auto* levelOne = find<QComboBox>("subFolderOneBox");
    levelOne->setFocus();
    QTest::keyClicks(levelOne, "Trips");
    EXPECT_EQ(preview->text(), "dest / Trips / Be.JPG");
    auto* levelTwo = find<QComboBox>("subSubFolder");
    levelTwo->setFocus();
    QTest::keyClicks(levelTwo, "2024");
    EXPECT_EQ(preview->text(), "dest / Trips / 2024 / Be.JPG");
    find<QComboBox>("renameTypeMenu")->setCurrentIndex(1);
    EXPECT_EQ(preview->text(), "dest / Trips / 2024 / IMG_0412_Be.JPG");
    EXPECT_EQ(preview->accessibleDescription(), preview->text());
    EXPECT_EQ(names(dir / "dest"), std::vector<std::string>{});
    EXPECT_TRUE(files.log.empty());
}

TEST_F(EditingTest, SubfolderBoxesOfferTheFoldersOfTheirLevelAndNamesUsedBefore)
{
    for (const char* folder : {"dest/Trips/2023", "dest/Trips/2024", "dest/trains", "dest/.hidden"})
        dir.makeFolder(folder);
    dir.write("dest/notes.jpg");
    openFolders({"a.jpg", "b.jpg"});
    auto* levelOne = find<QComboBox>("subFolderOneBox");
    auto* levelTwo = find<QComboBox>("subSubFolder");
    // With subfolder 1 empty, subfolder 2 lies in the destination too.
    for (QComboBox* box : {levelOne, levelTwo})
        EXPECT_TRUE(waitUntil([&] {
            return items(box) == QStringList{"trains", "Trips"};
        })) << items(box).join(", ").toStdString();

    levelOne->setFocus();
    QTest::keyClicks(levelOne, "tR");
    EXPECT_EQ(levelOne->completer()->completionCount(), 2) << "completion ignores case";
    levelOne->setEditText("Trips");
    EXPECT_TRUE(waitUntil([&] {
        return items(levelTwo) == QStringList{"2023", "2024"};
    })) << items(levelTwo).join(", ").toStdString();

    // A move makes a folder: it is offered, and what the boxes hold stays.
    levelTwo->setEditText("2025");
    find<QLineEdit>("newFileNameTextField")->setText("x");
    find<QAbstractButton>("moveAndRenameFileButton")->click();
    ASSERT_TRUE(exists(dir / "dest/Trips/2025/x.jpg"));
    EXPECT_TRUE(waitUntil([&] {
        return items(levelTwo) == QStringList{"2023", "2024", "2025"};
    })) << items(levelTwo).join(", ").toStdString();
    EXPECT_EQ(levelOne->currentText(), "Trips");
    EXPECT_EQ(levelTwo->currentText(), "2025");

    // In another destination, the names a move used are still offered.
    panel.chooseNext(FileURL::fileURLWithPath(dir.makeFolder("other")));
    find<QAbstractButton>("destinationFolderButton")->click();
    EXPECT_TRUE(waitUntil([&] { return items(levelOne) == QStringList{"Trips"}; }))
        << items(levelOne).join(", ").toStdString();
    EXPECT_TRUE(waitUntil([&] { return items(levelTwo) == QStringList{"2025"}; }))
        << items(levelTwo).join(", ").toStdString();
}

using SlowListingTest = WindowFixture<SlowFileManager>;

// Listing a destination of 100,000 entries takes a while; it happens off
// the UI thread, so typing goes on meanwhile.
TEST_F(SlowListingTest, TypingGoesOnWhileTheFoldersAreListed)
{
    files.holdListings = true;
    dir.makeFolder("dest/Trips");
    openFolders({"a.jpg"});
    files.listings = 0; // the scan's
    auto* name = find<QLineEdit>("newFileNameTextField");
    name->setFocus();
    QTest::keyClicks(name, "abc");
    EXPECT_EQ(find<QLabel>("destinationPreviewField")->text(), "dest / abc.jpg");
    EXPECT_EQ(files.listings, 0);
    EXPECT_TRUE(items(find<QComboBox>("subFolderOneBox")).isEmpty());

    files.holdListings = false;
    EXPECT_TRUE(waitUntil([&] { return items(find<QComboBox>("subFolderOneBox")) == QStringList{"Trips"}; }));
}

} // namespace
