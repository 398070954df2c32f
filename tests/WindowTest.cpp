#include <QLineEdit>
#include <QShortcut>
#include <QTableWidget>

#include "CommandLine.h"
#include "QtWait.h"
#include "Shortcuts.h"
#include "WindowFixture.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

class WindowTest : public WindowFixture<FailingFileManager> {
protected:
    std::string threePhotos()
    {
        for (const char* name : {"a.jpg", "b.png", "c.mov"})
            dir.write(std::string("src/") + name);
        return dir / "src";
    }
};

// Guards the scan and step keys, editing keys that step instead, and the mnemonics missing their boxes.
TEST_F(WindowTest, KeyboardDrivesTheScanAndSteppingWithoutStealingEditingKeys)
{
    for (const char* name : {"moveAndRenameFileButton", "prePhotoButton", "nextPhotoButton", "trashPhotoButton"})
        EXPECT_FALSE(find<QAbstractButton>(name)->isEnabled()) << name;
    panel.chooseNext(FileURL::fileURLWithPath(threePhotos()));
    press(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(progressText() + " " + text("sourceFolderLabel"), "1 / 3 src");
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    press(focused, Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(progressText(), "2 / 3");
    press(focused, Qt::Key_PageDown);
    EXPECT_EQ(progressText(), "3 / 3");
    press(focused, Qt::Key_Left);
    EXPECT_EQ(progressText(), "2 / 3");

    auto* name = find<QLineEdit>("newFileNameTextField");
    press(&window, Qt::Key_N, Qt::AltModifier);
    ASSERT_EQ(QApplication::focusWidget(), name) << "Alt+N focuses the name field";
    QTest::keyClicks(name, "Beach");
    for (int key : {Qt::Key_Left, Qt::Key_Delete, Qt::Key_PageUp})
        press(name, key);
    EXPECT_EQ(name->text() + " " + progressText(), "Beac 2 / 3");
    press(name, Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(progressText(), "1 / 3");

    for (auto [key, box] :
         {std::pair{Qt::Key_1, "subFolderOneBox"}, {Qt::Key_2, "subSubFolder"}, {Qt::Key_T, "renameTypeMenu"}}) {
        press(&window, key, Qt::AltModifier);
        auto* focus = QApplication::focusWidget();
        EXPECT_TRUE(focus && (focus == find<QComboBox>(box) || focus->parent() == find<QComboBox>(box))) << box;
    }
    for (const char* box : {"subFolderOneBox", "subSubFolder"}) { // editable: text boxes too
        find<QComboBox>(box)->setFocus();
        for (int key : {Qt::Key_PageDown, Qt::Key_Right, Qt::Key_Delete})
            press(QApplication::focusWidget(), key);
        EXPECT_EQ(progressText(), "1 / 3") << box;
    }
    EXPECT_TRUE(output.lines.empty());
}

// Guards command-line folders losing bytes or running the panel, and a source without photos not alerted.
TEST_F(WindowTest, FoldersFromTheCommandLineAreChosenAsIfPickedInThePanel)
{
    threePhotos();
    dir.write("caf\xE9/photo.jpg"); // not UTF-8
    const std::string args[] = {"shoebox", dir / "caf\xE9", dir.makeFolder("dest")};
    const char* argv[] = {args[0].c_str(), args[1].c_str(), args[2].c_str(), nullptr};
    window.chooseStartFolders(std::get<StartFolders>(parseCommandLine(3, argv)));
    EXPECT_EQ(progressText() + " " + text("destinationFolderLabel"), "1 / 1 dest");
    for (const char* name : {"moveAndRenameFileButton", "nextPhotoButton", "trashPhotoButton"})
        EXPECT_TRUE(find<QAbstractButton>(name)->isEnabled()) << name;
    find<QLineEdit>("newFileNameTextField")->setText("Beach");
    press(&window, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(tree(dir / "dest"), "Beach.jpg=data");
    EXPECT_TRUE(alert.shown.empty());

    window.chooseStartFolders({FileURL::fileURLWithPath(dir.makeFolder("empty")), std::nullopt});
    ASSERT_EQ(alert.shown.size(), 1u);
    EXPECT_EQ(alert.shown[0].first, "No Image Files Found!");
    panel.chooseNext(FileURL::fileURLWithPath(dir / "src"));
    press(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(progressText(), "1 / 3");
}

// Guards a key of the window missing from Help ▸ Keyboard Shortcuts, and a tooltip not naming its keys.
TEST_F(WindowTest, TheShortcutsDialogListsEveryKeyTheWindowHas)
{
    std::vector<QList<QKeySequence>> keysTogether;
    for (QAction* action : window.findChildren<QAction*>())
        if (!action->shortcuts().isEmpty())
            keysTogether.push_back(action->shortcuts());
    for (QShortcut* shortcut : window.findChildren<QShortcut*>())
        keysTogether.push_back({shortcut->key()});
    for (QLabel* label : window.findChildren<QLabel*>())
        if (label->buddy())
            keysTogether.push_back({QKeySequence::mnemonic(label->text())});
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
        if (!QKeySequence::mnemonic(button->text()).isEmpty())
            keysTogether.push_back({QKeySequence::mnemonic(button->text())});
    ASSERT_GE(keysTogether.size(), 20u);

    press(&window, Qt::Key_F1);
    auto* list = window.findChild<QTableWidget*>("shortcutTable");
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(waitUntil([&] { return list->isVisible(); }));
    QString rows;
    for (int row = 0; row < list->rowCount(); ++row)
        rows += list->item(row, 0)->text() + ": " + list->item(row, 1)->text() + ";\n";
    for (const auto& keys : keysTogether) {
        for (const QKeySequence& key : keys)
            EXPECT_TRUE(rows.contains(" " + keyText(key) + ",") || rows.contains(" " + keyText(key) + ";") ||
                        rows.contains(" " + keyText(key) + " "))
                << keyText(key).toStdString() << " in\n"
                << rows.toStdString();
    }
    EXPECT_TRUE(find<QAbstractButton>("trashPhotoButton")->toolTip().contains("Ctrl+Delete anywhere; Delete when"));
}

} // namespace
