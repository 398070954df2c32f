#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>

#include "WindowFixture.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

using EditingTest = WindowFixture<FailingFileManager>;

TEST_F(EditingTest, UndoAndRedoKeysWorkFromInsideTextBoxesAndTheMenuNamesTheCommand)
{
    QStringList menus;
    for (QAction* menu : window.menuBar()->actions())
        menus << menu->text();
    EXPECT_EQ(menus.mid(0, 2), (QStringList{"&File", "&Edit"}));
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
    EXPECT_EQ(preview->accessibleName(), "Destination preview");
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

} // namespace
