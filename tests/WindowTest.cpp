#include <QAccessible>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QShortcut>
#include <QStatusBar>
#include <QTableWidget>

#include <cerrno>
#include <clocale>
#include <cstring>

#include "app/Shortcuts.h"
#include "app/Translations.h"
#include "tests/support/Environment.h"
#include "tests/support/Pictures.h"
#include "tests/support/QtWait.h"
#include "tests/support/SlowMount.h"
#include "tests/support/WindowFixture.h"
#include "viewer/ImageViewWidget.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

using WindowTest = WindowFixture<FailingFileManager>;

// Guards the scan and step keys, editing keys that step instead, and the mnemonics missing their boxes.
TEST_F(WindowTest, KeyboardDrivesTheScanAndSteppingWithoutStealingEditingKeys)
{
    for (const char* name : {"moveAndRenameFileButton", "prePhotoButton", "nextPhotoButton", "trashPhotoButton"})
        EXPECT_FALSE(find<QAbstractButton>(name)->isEnabled()) << name;
    panel.chooseNext(url(dir.fill({"a.jpg", "b.png", "c.mov"})));
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

// Guards folders given on the command line losing bytes or running the panel, a source without photos not alerted,
// and "Open With" a photo: its folder not the source, the photo not shown first at its place in the sorted list
// (position, bar), or a later scan starting at it too.
TEST_F(WindowTest, FoldersOrAPhotoFromTheCommandLineAreChosenAsIfPickedInThePanel)
{
    const std::string source = dir.fill({"a.jpg", "b.png", "IMG_10.jpg", "IMG_2.jpg"});
    dir.write("caf\xE9/photo.jpg"); // not UTF-8
    window.chooseStartFolders({url(dir / "caf\xE9"), url(dir.makeFolder("dest")), std::nullopt});
    listed();
    EXPECT_EQ(progressText() + " " + text("destinationFolderLabel"), "1 / 1 dest");
    for (const char* name : {"moveAndRenameFileButton", "nextPhotoButton", "trashPhotoButton"})
        EXPECT_TRUE(find<QAbstractButton>(name)->isEnabled()) << name;
    ASSERT_TRUE(moveAs("Beach"));
    EXPECT_EQ(tree(dir / "dest"), "Beach.jpg=data");
    window.chooseStartFolders({url(dir.makeFolder("empty")), std::nullopt, std::nullopt});
    listed();
    ASSERT_EQ(alert.shown.size(), 1u);
    EXPECT_EQ(alert.shown[0].first, "No Image Files Found!");

    window.chooseStartFolders({url(source), url(dir / "dest"), url(source + "/IMG_2.jpg")});
    listed();
    EXPECT_EQ(progressText() + " " + text("sourceFolderLabel") + " " + text("destinationFolderLabel"),
              "3 / 4 src dest");
    EXPECT_TRUE(text("currentFilePathLabel").endsWith("/src/IMG_2.jpg")) << text("currentFilePathLabel").toStdString();
    const auto* bar = find<QProgressBar>("progressBar");
    EXPECT_EQ(QString("%1 of %2").arg(bar->value()).arg(bar->maximum()), "3 of 4");
    EXPECT_TRUE(find<QAbstractButton>("nextPhotoButton")->isEnabled());
    ASSERT_TRUE(moveAs("Sand"));
    EXPECT_EQ(tree(dir / "dest"), "Beach.jpg=data Sand.jpg=IMG_2.jpg");
    EXPECT_EQ(output.lines.back(), dir / "dest/Sand.jpg");

    panel.chooseNext(url(source));
    press(&window, Qt::Key_O, Qt::ControlModifier);
    listed();
    EXPECT_EQ(progressText(), "1 / 3") << "a scan the user starts begins at the first file";
    EXPECT_EQ(alert.shown.size(), 1u);
}

// Guards the window on a slow disk (every operation waits): a listing or first picture that never comes through the
// slow file system, and the file system itself changing names or bytes on the way.
TEST_F(WindowTest, AFolderOnASlowDiskListsAndShowsItsFirstPicture)
{
    const std::string jpeg = encode(solid(64, 48, Qt::red)).toStdString();
    for (const char* name : {"b.jpg", "a10.jpg", "a9.jpg"})
        dir.write(std::string("src/") + name, jpeg);
    SlowMount slow(dir / "src", std::chrono::milliseconds(20));
    SKIP_WITHOUT_SLOW_MOUNT(slow);
    choose("sourceFolderButton", slow.path());
    EXPECT_EQ(progressText() + " " + text("currentFilePathLabel"),
              "1 / 3 file://" + QString::fromStdString(slow.path() + "/a9.jpg"));
    auto* view = find<ImageViewWidget>("imageViewer");
    EXPECT_TRUE(waitUntil([&] { return centreIs(view->currentImage(), Qt::red); }, 10000)) << "no picture came";
    choose("destinationFolderButton", dir.makeFolder("dest"));
    ASSERT_TRUE(moveAs("Beach")) << "a copy off the slow disk";
    const std::string bytes = shortly(jpeg);
    EXPECT_EQ(tree(dir.path()), "dest/Beach.jpg=" + bytes + " src/a10.jpg=" + bytes + " src/b.jpg=" + bytes);
    EXPECT_GT(slow.operations(), 10u);
}

// Visits `node` and everything below it in the accessible tree, depth first.
void walk(QAccessibleInterface* node, const std::function<void(QAccessibleInterface*)>& visit)
{
    visit(node);
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface* child = node->child(i))
            walk(child, visit);
    }
}

// Guards a control a screen reader cannot name (one that takes focus or has an action), the text fields inside the
// subfolder boxes among them, and the rename type box announced by its value.
TEST_F(WindowTest, ScreenReadersFindANameForEveryControl)
{
    openFolders({"a.jpg"});
    QStringList unnamed;
    int controls = 0;
    walk(QAccessible::queryAccessibleInterface(&window), [&](QAccessibleInterface* node) {
        const QAccessibleActionInterface* actions = node->actionInterface();
        if (!node->state().focusable && !(actions && !actions->actionNames().isEmpty()))
            return;
        ++controls;
        if (node->text(QAccessible::Name).trimmed().isEmpty()) {
            const QObject* object = node->object();
            unnamed << QStringLiteral("%1 \"%2\" (role %3)")
                           .arg(object ? object->metaObject()->className() : "?", object ? object->objectName() : "")
                           .arg(node->role());
        }
    });
    EXPECT_GE(controls, 20);
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join('\n').toStdString();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(find<QComboBox>("renameTypeMenu"))->text(QAccessible::Name),
              "Rename type");
}

// The KEYS section of the manual page as it reads: without font changes, quotes and escapes.
QString manualPageKeys()
{
    QFile file(SHOEBOX_MANUAL_PAGE);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << SHOEBOX_MANUAL_PAGE;
    const QString page = QString::fromUtf8(file.readAll());
    const qsizetype from = page.indexOf("\n.SH KEYS\n"), to = page.indexOf("\n.SH ", from + 1);
    EXPECT_GE(from, 0);
    QString keys = page.mid(from, to - from);
    keys.remove(QRegularExpression(R"(\\f[BIRP]|")"));
    return keys.replace(QRegularExpression(R"(\\[~ ])"), " ").replace("\\-", "-");
}

// Guards a key of the window missing from Help ▸ Keyboard Shortcuts or from the manual page's KEYS section, and a
// tooltip not naming its keys.
TEST_F(WindowTest, TheShortcutsDialogAndTheManualPageListEveryKeyTheWindowHas)
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
    const QString manual = manualPageKeys();
    for (const QKeySequence& key : keys) {
        const QString escaped = QRegularExpression::escape(keyText(key));
        EXPECT_TRUE(rows.contains(QRegularExpression(" " + escaped + "[,; ]"))) << keyText(key).toStdString() << " in\n"
                                                                                << rows.toStdString();
        EXPECT_TRUE(manual.contains(QRegularExpression("[ \n]" + escaped + "[,;\n ]")))
            << keyText(key).toStdString() << " in the manual page";
    }
    EXPECT_TRUE(find<QAbstractButton>("trashPhotoButton")->toolTip().contains("Ctrl+Delete anywhere; Delete when"));
}

// Guards a sorting key lost in full screen (a hidden menu bar takes its actions' keys along, a hidden button or box
// its Alt key), the boxes not over the picture or not in front, Escape leaving while a dialog or the completion list
// is open, and the window not as it was afterwards.
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
    press(name, Qt::Key_T, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), find<QWidget>("renameTypeMenu"));
    press(QApplication::focusWidget(), Qt::Key_N, Qt::AltModifier);
    press(name, Qt::Key_M, Qt::AltModifier); // the button's key: it clicks a moment later, as it shows itself pressed
    ASSERT_TRUE(waitUntil([&] { return names(dir / "dest/Trips").size() == 2; }));
    EXPECT_EQ(names(dir / "dest/Trips"), (Names{"Beach.jpg", "Beach.png"}));
    EXPECT_EQ(tree(dir / "src") + " " + progressText().toStdString(), "c.jpg 3 / 3");

    auto* levelOne = find<QComboBox>("subFolderOneBox");
    press(name, Qt::Key_1, Qt::AltModifier);
    levelOne->setEditText("");
    ASSERT_TRUE(waitUntil([&] { return levelOne->findText("Trips") >= 0; })) << "the folders listed again";
    QTest::keyClicks(levelOne, "T");
    QWidget* list = levelOne->completer()->popup();
    ASSERT_TRUE(waitUntil([&] { return list->isVisible(); }));
    press(list, Qt::Key_Escape);
    EXPECT_TRUE(!list->isVisible() && window.isFullScreen()) << "Escape closes the list, and only the list";
    press(levelOne, Qt::Key_N, Qt::AltModifier);

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

// German as a user whose LANG is de_DE.UTF-8 has it, for one test: Shoebox's and Qt's translations installed, and the
// C library's messages (strerror, and GIO's through it) German too, from a de_DE.UTF-8 locale made with localedef in
// the scratch folder, so that the system needs none generated.
class InGerman {
protected:
    // NOLINTBEGIN(concurrency-mt-unsafe): the locale is the process's, as a user's is; the window's threads are
    // idle while it changes.
    InGerman()
    {
        translations.install();
        static const std::string locales = [] {
            const QString folder = QString::fromStdString(useScratchHome() + "/locales");
            QDir().mkpath(folder);
            QProcess localedef; // its notes are read and dropped
            localedef.start("localedef", {"-i", "de_DE", "-f", "UTF-8", folder + "/de_DE.UTF-8"});
            const bool made = localedef.waitForFinished(60000) && localedef.exitStatus() == QProcess::NormalExit &&
                              localedef.exitCode() == 0;
            return made ? folder.toStdString() : std::string();
        }();
        previous_ = std::setlocale(LC_ALL, nullptr);
        ::setenv("LOCPATH", locales.c_str(), 1);
        cIsGerman = !locales.empty() && std::setlocale(LC_ALL, "de_DE.UTF-8") &&
                    std::string_view(std::strerror(ENOTDIR)) != "Not a directory";
    }
    ~InGerman()
    {
        ::unsetenv("LOCPATH");
        std::setlocale(LC_ALL, previous_.c_str());
    }
    // NOLINTEND(concurrency-mt-unsafe)

    Translations translations{QLocale(QLocale::German, QLocale::Germany)};
    bool cIsGerman = false;

private:
    std::string previous_;
};

class GermanWindowTest : public InGerman, public WindowFixture<FailingFileManager> {};

// Guards a text of the window, the controller's own included, not translated or not shown translated, a translated
// label or button losing its key, and a printed line (a system reason, GIO's message) following the language.
TEST_F(GermanWindowTest, TheWindowSpeaksGermanAndThePrintedLinesStayEnglish)
{
    ASSERT_TRUE(translations.translated()) << Translations::folder().toStdString();
    EXPECT_EQ(find<QAbstractButton>("sourceFolderButton")->text(), "Au&sgangsordner…");
    EXPECT_TRUE(find<QAbstractButton>("trashPhotoButton")->toolTip().contains("(Strg+Entf überall;"))
        << find<QAbstractButton>("trashPhotoButton")->toolTip().toStdString() << " (Qt's own translation too)";
    for (const ShortcutRow& row : shortcutTable()) {
        for (const KeyBinding& binding : row.keys) {
            if (binding.scope != KeyScope::Mnemonic)
                continue;
            auto* label = window.findChild<QLabel*>(binding.widget);
            const QString shown = label ? label->text() : find<QAbstractButton>(binding.widget)->text();
            EXPECT_EQ(QKeySequence::mnemonic(shown), binding.key) << shown.toStdString();
        }
    }
    window.chooseStartFolders({url(dir.makeFolder("empty")), std::nullopt, std::nullopt});
    listed();
    ASSERT_EQ(alert.shown.size(), 1u);
    EXPECT_EQ(alert.shown[0].first, "Keine Bilddateien gefunden!");
    openFolders({"a.jpg", "b.jpg", "c.jpg"});
    EXPECT_EQ(text("destinationPreviewField"), "Geben Sie zuerst einen Namen für die Datei ein.");
    ASSERT_TRUE(moveAs("Beach"));
    EXPECT_EQ(text("newFileNamePreviewField"), "Datei umbenannt: Beach.jpg");
    EXPECT_EQ(find<QAction>("actionUndo")->text(), "Verschieben von „Beach.jpg“ rückgängig machen");

    if (!cIsGerman)
        GTEST_SKIP() << "the C library's German messages are missing (Debian package locales)";
    // A file where subfolder 1 should be fails the move; the file on show gone fails the Trash (in GIO).
    dir.write("dest/Trips");
    find<QComboBox>("subFolderOneBox")->setEditText("Trips");
    press(&window, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(moveEnded());
    std::filesystem::remove(dir / "src/b.jpg");
    press(&window, Qt::Key_Delete, Qt::ControlModifier);
    ASSERT_GE(output.lines.size(), 3u);
    EXPECT_EQ(output.lines[output.lines.size() - 2], "Ooops! Something went wrong: Could not move “" +
                                                         dir / "src/b.jpg" + "” to “" + dir / "dest/Trips/Beach.jpg" +
                                                         "”: Not a directory");
    EXPECT_TRUE(output.lines.back().starts_with("Ooops! Something went wrong: Could not move “" + dir / "src/b.jpg" +
                                                "” to the Trash: ") &&
                output.lines.back().ends_with(": No such file or directory"))
        << output.lines.back();
}

} // namespace
