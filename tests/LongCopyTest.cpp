#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QStatusBar>

#include <csignal>

#include "app/MoveProgressDialog.h"
#include "tests/support/Environment.h"
#include "tests/support/QtWait.h"
#include "tests/support/WindowFixture.h"

using namespace shoebox;
using namespace shoebox::testing;

namespace {

// Counts the paint events of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// The double copies in steps until told to finish or cancelled, so the
// tests do not depend on how fast anything runs.
class LongCopyTest : public WindowFixture<SlowFileManager> {
protected:
    static inline const std::string waitLine = "Wait for the move to end, or press Escape to cancel it.";

    std::string cancelled(const std::string& file, const std::string& to) const
    {
        return "Ooops! Something went wrong: Could not move “" + dir / ("src/" + file) + "” to “" + dir / to +
               "”: the move was cancelled";
    }
    std::string statusBar() const { return window.statusBar()->currentMessage().toStdString(); }

    // Presses Return in the name field, which starts the move; `during` runs once its progress dialog is on screen.
    // Returns when the move has ended.
    void moveWhile(const std::function<void(MoveProgressDialog&)>& during)
    {
        auto* name = find<QLineEdit>("newFileNameTextField");
        name->setText("Beach");
        name->setFocus();
        press(name, Qt::Key_Return);
        {
            // Should a check fail, the copy still ends.
            auto ending = qScopeGuard([&] { files.finish = true; });
            MoveProgressDialog* dialog = nullptr;
            ASSERT_TRUE(
                waitUntil([&] { return (dialog = window.findChild<MoveProgressDialog*>()) && dialog->isVisible(); }));
            ASSERT_TRUE(waitUntil([&] { return dialog->findChild<QLabel*>("moveDetail")->text().contains(" of "); }))
                << dialog->findChild<QLabel*>("moveDetail")->text().toStdString();
            during(*dialog);
            ending.dismiss();
        }
        ASSERT_TRUE(moveEnded());
        EXPECT_EQ(window.findChild<MoveProgressDialog*>(), nullptr) << "the dialog goes with the move";
    }
};

// Guards the window not painting or running input (the companion option too) during a copy, typing cancelling it, and
// what a cancel leaves.
TEST_F(LongCopyTest, CancelLeavesEverythingAsItWasAndInputDuringTheCopyRunsNothing)
{
    openFolders({"clip.mov", "d.jpg"});
    moveWhile([&](MoveProgressDialog& dialog) {
        EXPECT_TRUE(dialog.findChild<QLabel*>("moveHeading")->text().contains("“clip.mov” to “dest”"));
        PaintCounter counter;
        window.installEventFilter(&counter);
        window.update();
        EXPECT_TRUE(waitUntil([&] { return counter.paints > 0; })) << "the window keeps painting";

        auto* name = find<QLineEdit>("newFileNameTextField");
        press(name, Qt::Key_Return);
        press(name, Qt::Key_Delete, Qt::ControlModifier);
        press(&window, Qt::Key_Right, Qt::AltModifier);
        QTest::mouseClick(find<QAbstractButton>("trashPhotoButton"), Qt::LeftButton);
        EXPECT_EQ(progressText(), "1 / 2");
        find<QAction>("actionMoveCompanions")->trigger(); // the list must not change under the move
        EXPECT_FALSE(find<QAction>("actionMoveCompanions")->isChecked());

        auto* detail = dialog.findChild<QLabel*>("moveDetail");
        ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &dialog; }));
        QWidget* typedInto = QApplication::focusWidget() ? QApplication::focusWidget() : &dialog;
        QTest::keyClicks(typedInto, "Beach Day");
        press(typedInto, Qt::Key_Return);
        EXPECT_NE(detail->text(), "Cancelling…");
        press(&dialog, Qt::Key_Escape);
        EXPECT_EQ(detail->text(), "Cancelling…");
    });
    EXPECT_EQ(output.lines,
              (std::vector<std::string>{"starting if folder is not nil", "starting if folder is not nil",
                                        "Ooops! Something went wrong: Could not move “" + dir / "src/clip.mov" +
                                            "” to “" + dir / "dest/Beach.mov" + "”: the move was cancelled"}));
    EXPECT_EQ(tree(dir.path()) + " " + progressText().toStdString(), "dest/ src/clip.mov src/d.jpg 1 / 2");
    EXPECT_FALSE(find<QAction>("actionUndo")->isEnabled());
}

// Guards Escape lost in the first half second of a copy, before the dialog shows, or in full screen, where it also
// leaves full screen (both at once: Qt drops a key two enabled actions share); and commands given meanwhile not refused
// (or saved up for after the copy).
TEST_F(LongCopyTest, EscapeCancelsACopyBeforeItsDialogShowsAndCommandsWaitMeanwhile)
{
    openFolders({"clip.mov", "d.jpg"});
    auto* name = find<QLineEdit>("newFileNameTextField");
    name->setText("Beach");
    name->setFocus();
    press(name, Qt::Key_F11);
    ASSERT_TRUE(window.isFullScreen());
    press(name, Qt::Key_Return);
    ASSERT_TRUE(window.controller().isMoving());
    auto* dialog = window.findChild<MoveProgressDialog*>();
    EXPECT_FALSE(dialog && dialog->isVisible());
    for (auto [key, modifiers] : {std::pair{Qt::Key_O, Qt::ControlModifier},
                                  {Qt::Key_Right, Qt::AltModifier},
                                  {Qt::Key_Delete, Qt::ControlModifier},
                                  {Qt::Key_Q, Qt::ControlModifier}}) {
        window.statusBar()->clearMessage();
        press(name, key, modifiers);
        EXPECT_EQ(statusBar() + " " + progressText().toStdString(), waitLine + " 1 / 2") << key;
    }
    EXPECT_TRUE(window.isVisible());

    press(name, Qt::Key_Escape);
    ASSERT_TRUE(moveEnded());
    EXPECT_EQ(output.lines.back(), cancelled("clip.mov", "dest/Beach.mov"));
    EXPECT_EQ(tree(dir.path()) + " " + progressText().toStdString() + statusBar(),
              "dest/ src/clip.mov src/d.jpg 1 / 2");
    EXPECT_TRUE(window.isFullScreen()) << "the move had the key";
    press(name, Qt::Key_Escape);
    EXPECT_FALSE(window.isFullScreen()) << "no move now";
}

// Guards the Cancel button, a finished copy not moving the file or Ctrl+Z then not bringing it back from the name
// field, and closing the window during a copy doing nothing or closing it under the copy.
TEST_F(LongCopyTest, CancelStopsACopyAndClosingTheWindowCancelsItThenCloses)
{
    openFolders({"clip.mov", "d.mov"});
    moveWhile([&](MoveProgressDialog& dialog) {
        QTest::mouseClick(dialog.findChild<QPushButton*>("cancelMoveButton"), Qt::LeftButton);
    });
    EXPECT_EQ(output.lines.back(), cancelled("clip.mov", "dest/Beach.mov"));
    moveWhile([&](MoveProgressDialog&) { files.finish = true; });
    EXPECT_EQ(tree(dir.path()) + " " + progressText().toStdString(), "dest/Beach.mov=clip.mov src/d.mov 2 / 2");
    auto* name = find<QLineEdit>("newFileNameTextField");
    ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == name; })) << "typing goes on in the name field";
    press(name, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(moveEnded());
    EXPECT_EQ(tree(dir.path()) + " " + progressText().toStdString(), "dest/ src/clip.mov src/d.mov 1 / 2");
    files.finish = false;
    moveWhile([&](MoveProgressDialog& dialog) {
        EXPECT_FALSE(window.close());
        EXPECT_EQ(dialog.findChild<QLabel*>("moveDetail")->text(), "Cancelling…");
    });
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(output.lines.back(), cancelled("clip.mov", "dest/Beach.mov"));
    EXPECT_EQ(tree(dir.path()), "dest/ src/clip.mov src/d.mov");
}

// Guards SIGTERM, SIGINT or SIGHUP killing the program in the middle of a copy (a partial copy left on the target) or
// ending it with another status than 0, and, with no copy under way, without saving the window's geometry.
TEST(EndingTest, SignalsCancelACopyAsCancelDoesThenEndWithStatusZero)
{
    TempDir dir;
    SKIP_WITHOUT_ANOTHER_FILESYSTEM(dir.path());
    TempDir there(*folderOnAnotherFilesystem(dir.path()));
    const std::string photo = photoBytes();
    for (const auto& [signal, copying] : {std::pair{SIGTERM, true}, {SIGINT, true}, {SIGHUP, false}}) {
        const std::string run = "run" + std::to_string(signal), home = dir.makeFolder(run + "/home"),
                          source = dir.makeFolder(run + "/src"), destination = there.makeFolder(run);
        dir.write(run + "/src/clip.mov", photo);
        QStringList arguments{QString::fromStdString(source)};
        if (copying)
            arguments << QString::fromStdString(destination);
        ProgramRun program(home, arguments);
        ASSERT_TRUE(program.waitFor(copying ? "copying" : "ready")) << program.errors.toStdString();
        EXPECT_EQ(program.end(signal), "0 0") << signal;
        EXPECT_EQ(readFile(source + "/clip.mov") == photo, true) << signal;
        EXPECT_EQ(tree(destination), "") << signal;
        if (copying) {
            EXPECT_EQ(program.process.readAllStandardOutput().toStdString(),
                      "starting if folder is not nil\nstarting if folder is not nil\nOoops! Something went wrong: "
                      "Could not move “" +
                          source + "/clip.mov” to “" + destination + "/Beach.mov”: the move was cancelled\n");
        } else {
            EXPECT_NE(readFile(home + "/.config/shoebox/shoebox.conf").find("geometry="), std::string::npos) << signal;
        }
    }
}

} // namespace
