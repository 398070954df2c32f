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

TEST_F(WindowTest, KeyboardDrivesTheScanAndSteppingWithoutStealingEditingKeys)
{
    for (const char* name : {"moveAndRenameFileButton", "prePhotoButton", "nextPhotoButton", "trashPhotoButton"})
        EXPECT_FALSE(find<QAbstractButton>(name)->isEnabled()) << name;
    panel.chooseNext(FileURL::fileURLWithPath(threePhotos()));
    press(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(panel.runs, 1);
    EXPECT_EQ(progressText(), "1 / 3");
    EXPECT_EQ(find<QLabel>("sourceFolderLabel")->text(), "src");
    EXPECT_TRUE(find<QAbstractButton>("nextPhotoButton")->isEnabled());

    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    press(focused, Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(progressText(), "2 / 3");
    press(focused, Qt::Key_PageDown);
    EXPECT_EQ(progressText(), "3 / 3");
    press(focused, Qt::Key_Left);
    EXPECT_EQ(progressText(), "2 / 3");

    // In the name field, arrows and Delete edit the text; Alt+Left still steps.
    auto* name = find<QLineEdit>("newFileNameTextField");
    press(&window, Qt::Key_N, Qt::AltModifier);
    ASSERT_EQ(QApplication::focusWidget(), name) << "Alt+N focuses the name field";
    QTest::keyClicks(name, "Beach");
    press(name, Qt::Key_Left);
    press(name, Qt::Key_Delete);
    press(name, Qt::Key_PageUp);
    EXPECT_EQ(name->text(), "Beac");
    EXPECT_EQ(progressText(), "2 / 3");
    press(name, Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(progressText(), "1 / 3");

    // Mnemonics reach the other boxes.
    const std::pair<int, const char*> mnemonics[] = {
        {Qt::Key_1, "subFolderOneBox"}, {Qt::Key_2, "subSubFolder"}, {Qt::Key_T, "renameTypeMenu"}};
    for (auto [key, box] : mnemonics) {
        press(&window, key, Qt::AltModifier);
        auto* focus = QApplication::focusWidget();
        EXPECT_TRUE(focus && (focus == find<QComboBox>(box) || focus->parent() == find<QComboBox>(box))) << box;
    }

    // The editable subfolder boxes are text boxes too: their keys edit.
    for (const char* box : {"subFolderOneBox", "subSubFolder"}) {
        find<QComboBox>(box)->setFocus();
        for (int key : {Qt::Key_PageDown, Qt::Key_Right, Qt::Key_Delete}) {
            press(QApplication::focusWidget(), key);
            EXPECT_EQ(progressText(), "1 / 3") << box << " key " << key;
        }
    }
    EXPECT_TRUE(output.lines.empty());
}

TEST_F(WindowTest, ReturnInTheNameFieldMovesAndTheNextFileShows)
{
    panel.chooseNext(FileURL::fileURLWithPath(threePhotos()));
    find<QAbstractButton>("sourceFolderButton")->click();
    panel.chooseNext(FileURL::fileURLWithPath(dir.makeFolder("dest"))); // by its key
    press(&window, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(find<QLabel>("destinationFolderLabel")->text(), "dest");

    auto* name = find<QLineEdit>("newFileNameTextField");
    name->setFocus();
    QTest::keyClicks(name, "Beach");
    press(name, Qt::Key_Return);
    EXPECT_TRUE(exists(dir / "dest/Beach.jpg"));
    EXPECT_EQ(find<QLabel>("newFileNamePreviewField")->text(), "File Renamed: Beach.jpg");
    EXPECT_EQ(progressText(), "2 / 3");
    ASSERT_FALSE(output.lines.empty());
    EXPECT_EQ(output.lines.back(), dir / "dest/Beach.jpg");
    EXPECT_EQ(name->selectedText(), "Beach") << "the next name replaces the last one";

    press(find<QComboBox>("renameTypeMenu"), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(exists(dir / "dest/Beach.png"));
    EXPECT_EQ(progressText(), "3 / 3");
    EXPECT_TRUE(alert.shown.empty());
}

TEST_F(WindowTest, FoldersFromTheCommandLineAreChosenAsIfPickedInThePanel)
{
    threePhotos();
    const std::string latin1 = dir.makeFolder("caf\xE9"); // not UTF-8
    dir.write("caf\xE9/photo.jpg");
    const std::string args[] = {"shoebox", latin1, dir.makeFolder("dest")};
    const char* argv[] = {args[0].c_str(), args[1].c_str(), args[2].c_str(), nullptr};
    window.chooseStartFolders(std::get<StartFolders>(parseCommandLine(3, argv)));
    EXPECT_EQ(panel.runs, 0);
    EXPECT_TRUE(alert.shown.empty()) << "the scan found the photo under the folder's own bytes";
    EXPECT_EQ(progressText(), "1 / 1");
    EXPECT_EQ(find<QLabel>("destinationFolderLabel")->text(), "dest");
    for (const char* name : {"moveAndRenameFileButton", "nextPhotoButton", "trashPhotoButton"})
        EXPECT_TRUE(find<QAbstractButton>(name)->isEnabled()) << name;
    find<QLineEdit>("newFileNameTextField")->setText("Beach");
    press(&window, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(names(dir / "dest"), std::vector<std::string>{"Beach.jpg"});

    // A source without photos gets the panel's alert; the panel runs next time.
    window.chooseStartFolders({FileURL::fileURLWithPath(dir.makeFolder("empty")), std::nullopt});
    ASSERT_EQ(alert.shown.size(), 1u);
    EXPECT_EQ(alert.shown[0].first, "No Image Files Found!");
    panel.chooseNext(FileURL::fileURLWithPath(dir / "src"));
    press(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(panel.runs, 1);
    EXPECT_EQ(progressText(), "1 / 3");
}

TEST_F(WindowTest, TheShortcutsDialogListsEveryKeyTheWindowHas)
{
    // Every key found in the window itself: action shortcuts, the plain keys,
    // and the mnemonics of labels and buttons.
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
    QStringList rows;
    for (int row = 0; row < list->rowCount(); ++row)
        rows << list->item(row, 0)->text() + ": " + list->item(row, 1)->text() + ";";
    for (const auto& keys : keysTogether) {
        const bool listed = std::any_of(rows.begin(), rows.end(), [&](const QString& row) {
            return std::all_of(keys.begin(), keys.end(), [&](const QKeySequence& key) {
                return row.contains(" " + keyText(key) + ",") || row.contains(" " + keyText(key) + ";") ||
                       row.contains(" " + keyText(key) + " ");
            });
        });
        EXPECT_TRUE(listed) << QKeySequence::listToString(keys).toStdString() << " in\n"
                            << rows.join('\n').toStdString();
    }
    // The tooltips name the same keys.
    EXPECT_TRUE(find<QAbstractButton>("trashPhotoButton")->toolTip().contains("Ctrl+Delete anywhere; Delete when"));
}

} // namespace
