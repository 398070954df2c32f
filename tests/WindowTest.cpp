#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QMenuBar>
#include <QRegularExpression>
#include <QShortcut>
#include <QStatusBar>
#include <QTableWidget>

#include <variant>

#include "app/CommandLine.h"
#include "app/Shortcuts.h"
#include "tests/support/Pictures.h"
#include "tests/support/QtWait.h"
#include "tests/support/WindowFixture.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

std::variant<StartFolders, EarlyExit> parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "/usr/bin/shoebox");
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    return parseCommandLine(static_cast<int>(args.size()), argv.data());
}

using WindowTest = WindowFixture<FailingFileManager>;

// Guards the scan and step keys, editing keys that step instead, and the mnemonics missing their boxes.
TEST_F(WindowTest, KeyboardDrivesTheScanAndSteppingWithoutStealingEditingKeys)
{
    for (const char* name : {"moveAndRenameFileButton", "prePhotoButton", "nextPhotoButton", "trashPhotoButton"})
        EXPECT_FALSE(find<QAbstractButton>(name)->isEnabled()) << name;
    panel.chooseNext(FileURL::fileURLWithPath(dir.fill({"a.jpg", "b.png", "c.mov"})));
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
    dir.fill({"a.jpg", "b.png", "c.mov"});
    dir.write("caf\xE9/photo.jpg"); // not UTF-8
    window.chooseStartFolders(std::get<StartFolders>(parse({dir / "caf\xE9", dir.makeFolder("dest")})));
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
    QList<QKeySequence> keys;
    for (QAction* action : window.findChildren<QAction*>())
        keys += action->shortcuts();
    for (QShortcut* shortcut : window.findChildren<QShortcut*>())
        keys += shortcut->key();
    for (QLabel* label : window.findChildren<QLabel*>())
        if (label->buddy())
            keys += QKeySequence::mnemonic(label->text());
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
        if (!QKeySequence::mnemonic(button->text()).isEmpty())
            keys += QKeySequence::mnemonic(button->text());
    ASSERT_GE(keys.size(), 25);

    press(&window, Qt::Key_F1);
    auto* list = window.findChild<QTableWidget*>("shortcutTable");
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(waitUntil([&] { return list->isVisible(); }));
    QString rows;
    for (int row = 0; row < list->rowCount(); ++row)
        rows += list->item(row, 0)->text() + ": " + list->item(row, 1)->text() + ";\n";
    for (const QKeySequence& key : keys)
        EXPECT_TRUE(rows.contains(QRegularExpression(" " + QRegularExpression::escape(keyText(key)) + "[,; ]")))
            << keyText(key).toStdString() << " in\n"
            << rows.toStdString();
    EXPECT_TRUE(find<QAbstractButton>("trashPhotoButton")->toolTip().contains("Ctrl+Delete anywhere; Delete when"));
}

// Guards a key of the window missing from the manual page's KEYS section.
TEST(ManualPageTest, ListsEveryKeyOfTheShortcutTable)
{
    QFile file(SHOEBOX_MANUAL_PAGE);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << SHOEBOX_MANUAL_PAGE;
    const QString page = QString::fromUtf8(file.readAll());
    const qsizetype from = page.indexOf("\n.SH KEYS\n"), to = page.indexOf("\n.SH ", from + 1);
    ASSERT_GE(from, 0);
    // As it reads: without font changes, quotes and escapes.
    QString keys = page.mid(from, to - from);
    keys.remove(QRegularExpression(R"(\\f[BIRP]|")"));
    keys.replace(QRegularExpression(R"(\\[~ ])"), " ").replace("\\-", "-");
    for (const ShortcutRow& row : shortcutTable()) {
        for (const KeyBinding& binding : row.keys) {
            const QString key = keyText(binding.key);
            EXPECT_TRUE(keys.contains(QRegularExpression("[ \n]" + QRegularExpression::escape(key) + "[,;\n ]")))
                << row.command << ": " << key.toStdString();
        }
    }
}

// Guards a sorting key lost in full screen (a hidden menu bar takes its actions' keys along), the boxes not over the
// picture or not in front, Escape leaving while a dialog is open, and the window not as it was afterwards.
TEST_F(WindowTest, FullScreenKeepsEverySortingKeyAndEscapeLeavesIt)
{
    dir.write("src/a.png", encode(solid(64, 48, Qt::red), "PNG").toStdString());
    choose("sourceFolderButton", dir.fill({"b.jpg", "c.jpg"}));
    choose("destinationFolderButton", dir.makeFolder("dest"));
    auto* name = find<QLineEdit>("newFileNameTextField");
    auto *panel = find<QWidget>("sortingPanel"), *view = find<QWidget>("imageViewer"),
         *info = find<QWidget>("photoInfoLabel");
    name->setFocus();
    press(name, Qt::Key_F11);
    ASSERT_TRUE(window.isFullScreen());
    press(name, Qt::Key_I, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([&] { return !text("photoInfoLabel").isEmpty(); }));
    EXPECT_TRUE(text("photoInfoLabel").startsWith("date unknown · 64 × 48 · ")) << text("photoInfoLabel").toStdString();
    EXPECT_TRUE(window.menuBar()->isHidden() && window.statusBar()->isHidden() &&
                find<QWidget>("sourceFolderButton")->isHidden());
    EXPECT_TRUE(waitUntil([&] { return view->geometry() == window.centralWidget()->rect(); }));
    EXPECT_EQ(panel->geometry().bottom(), view->geometry().bottom());
    EXPECT_EQ(info->geometry().bottom() + 1, panel->geometry().top());
    EXPECT_TRUE(panel->isAncestorOf(window.centralWidget()->childAt(panel->geometry().center()))) << "in front";
    EXPECT_EQ(QApplication::focusWidget(), name);

    press(name, Qt::Key_1, Qt::AltModifier);
    QTest::keyClicks(QApplication::focusWidget(), "Trips");
    press(QApplication::focusWidget(), Qt::Key_N, Qt::AltModifier);
    QTest::keyClicks(name, "Beach");
    press(name, Qt::Key_Return);
    press(name, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(progressText(), "3 / 3");
    press(name, Qt::Key_Z, Qt::ControlModifier);
    press(name, Qt::Key_Right, Qt::AltModifier);
    press(name, Qt::Key_Left, Qt::AltModifier);
    find<QComboBox>("subFolderOneBox")->setEditText("");
    press(name, Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(find<QComboBox>("subFolderOneBox")->currentText(), "Trips");
    press(name, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(names(dir / "dest/Trips"), (Names{"Beach.jpg", "Beach.png"}));
    EXPECT_EQ(tree(dir / "src") + " " + progressText().toStdString(), "c.jpg 3 / 3");

    press(name, Qt::Key_F1);
    auto* dialog = window.findChild<QDialog*>("shortcutsDialog");
    ASSERT_TRUE(dialog && waitUntil([&] { return dialog->isVisible(); }));
    press(name, Qt::Key_Escape);
    EXPECT_TRUE(window.isFullScreen()) << "a dialog is open";
    dialog->close();
    QApplication::setActiveWindow(&window); // as a window manager does when a dialog closes
    press(name, Qt::Key_Escape);
    EXPECT_FALSE(window.isFullScreen());
    EXPECT_TRUE(window.menuBar()->isVisible() && find<QWidget>("sourceFolderButton")->isVisible());
    EXPECT_TRUE(waitUntil([&] {
        return info->geometry().bottom() < find<QWidget>("currentFilePathLabel")->geometry().top() &&
               panel->geometry().top() > find<QWidget>("nextPhotoButton")->geometry().bottom();
    }));
    EXPECT_EQ(QApplication::focusWidget(), name);
}

// Guards a mistake's exit status and its exact message (a newline in a name escaped).
TEST(CommandLineTest, MistakesEndWithStatusTwoAndSayWhat)
{
    TempDir dir;
    const std::string folder = dir.makeFolder("photos"), file = dir.write("photo.jpg"),
                      more = "\nTry 'shoebox --help' for more information.";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{dir / "missing"}, "source folder '" + dir / "missing" + "': No such file or directory"},
        {{file}, "source folder '" + file + "': Not a directory"},
        {{folder, file}, "destination folder '" + file + "': Not a directory"},
        {{""}, "source folder '': No such file or directory"},
        {{dir / "bad\nname"}, "source folder '" + dir / "bad\\x0Aname" + "': No such file or directory"},
        {{folder, folder, folder}, "too many arguments: at most a source and a destination folder" + more},
        {{"--colour", folder}, "Unknown option 'colour'." + more},
    };
    for (const auto& [args, message] : cases) {
        const auto result = parse(args);
        const auto* exit = std::get_if<EarlyExit>(&result);
        ASSERT_NE(exit, nullptr) << message;
        EXPECT_EQ(std::to_string(exit->status) + " " + exit->text, "2 shoebox: " + message + "\n");
    }
}

// Guards --help, -h and --version: their status, and the usage line.
TEST(CommandLineTest, HelpAndVersionFollowGnuConventions)
{
    const auto help = std::get<EarlyExit>(parse({"--help"})), version = std::get<EarlyExit>(parse({"--version"}));
    EXPECT_EQ(help.status + version.status, 0);
    EXPECT_TRUE(help.text.starts_with("Usage: shoebox [OPTION]... [SOURCE [DESTINATION]]\n")) << help.text;
    EXPECT_NE(help.text.find("--version"), std::string::npos);
    EXPECT_EQ(std::get<EarlyExit>(parse({"-h"})).text, help.text);
    EXPECT_TRUE(version.text.starts_with("shoebox 0.")) << version.text;
}

// Guards folders losing bytes, "--" not ending the options, and relative paths not resolved as the kernel does.
TEST(CommandLineTest, FoldersKeepTheirBytes)
{
    TempDir dir;
    const std::string latin1 = dir.makeFolder("caf\xE9"), dashed = dir.makeFolder("-reverse"),
                      inner = dir.makeFolder("a/b");
    EXPECT_FALSE(std::get<StartFolders>(parse({})).source);
    auto folders = std::get<StartFolders>(parse({latin1, "--", dashed}));
    ASSERT_TRUE(folders.source && folders.destination);
    EXPECT_EQ(folders.source->path() + " " + folders.destination->path(), latin1 + " " + dashed);
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(latin1);
    folders = std::get<StartFolders>(parse({".", "../a/b/"}));
    std::filesystem::current_path(cwd);
    ASSERT_TRUE(folders.source && folders.destination);
    EXPECT_EQ(folders.source->path() + " " + folders.destination->path(), latin1 + " " + inner);
}

} // namespace
