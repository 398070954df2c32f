#include <QLineEdit>
#include <QRegularExpression>
#include <QShortcut>
#include <QTableWidget>

#include <variant>

#include "app/CommandLine.h"
#include "app/Shortcuts.h"
#include "tests/support/QtWait.h"
#include "tests/support/SlowMount.h"
#include "tests/support/WindowFixture.h"
#include "viewer/ImageViewWidget.h"

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
    listed();
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
    listed();
    EXPECT_EQ(progressText() + " " + text("destinationFolderLabel"), "1 / 1 dest");
    for (const char* name : {"moveAndRenameFileButton", "nextPhotoButton", "trashPhotoButton"})
        EXPECT_TRUE(find<QAbstractButton>(name)->isEnabled()) << name;
    find<QLineEdit>("newFileNameTextField")->setText("Beach");
    press(&window, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(tree(dir / "dest"), "Beach.jpg=data");
    EXPECT_TRUE(alert.shown.empty());

    window.chooseStartFolders({FileURL::fileURLWithPath(dir.makeFolder("empty")), std::nullopt});
    listed();
    ASSERT_EQ(alert.shown.size(), 1u);
    EXPECT_EQ(alert.shown[0].first, "No Image Files Found!");
    panel.chooseNext(FileURL::fileURLWithPath(dir / "src"));
    press(&window, Qt::Key_O, Qt::ControlModifier);
    listed();
    EXPECT_EQ(progressText(), "1 / 3");
}

// Guards the window on a slow disk (every operation waits): a listing or first picture that never comes through the
// slow file system, and the file system itself changing names or bytes on the way.
TEST_F(WindowTest, AFolderOnASlowDiskListsAndShowsItsFirstPicture)
{
    QImage red(64, 48, QImage::Format_RGB32);
    red.fill(Qt::red);
    for (const char* name : {"b.jpg", "a10.jpg", "a9.jpg"})
        ASSERT_TRUE(red.save(QString::fromStdString(dir.makeFolder("src") + "/" + name), "JPEG"));
    SlowMount slow(dir / "src", std::chrono::milliseconds(20));
    SKIP_WITHOUT_SLOW_MOUNT(slow);
    choose("sourceFolderButton", slow.path());
    EXPECT_EQ(progressText() + " " + text("currentFilePathLabel"),
              "1 / 3 file://" + QString::fromStdString(slow.path() + "/a9.jpg"));
    auto* view = find<ImageViewWidget>("imageViewer");
    EXPECT_TRUE(waitUntil([&] { return !view->currentImage().isNull(); }, 10000)) << "no picture came";
    const QRgb shown = view->currentImage().pixel(10, 10);
    EXPECT_TRUE(qRed(shown) > 200 && qGreen(shown) < 60) << std::hex << shown;
    choose("destinationFolderButton", dir.makeFolder("dest"));
    find<QLineEdit>("newFileNameTextField")->setText("Beach");
    press(&window, Qt::Key_Return, Qt::ControlModifier);
    const std::string jpeg = shortly(readFile(dir / "src/b.jpg"));
    EXPECT_EQ(tree(dir.path()), "dest/Beach.jpg=" + jpeg + " src/a10.jpg=" + jpeg + " src/b.jpg=" + jpeg);
    EXPECT_GT(slow.operations(), 10u);
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
