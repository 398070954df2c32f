#include <QLineEdit>
#include <QScopeGuard>
#include <QTimer>

#include "app/MoveProgressDialog.h"
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
    // Presses Return in the name field, which runs the move; `during` runs
    // inside the move, once its progress dialog is on screen. Returns when
    // the move has ended.
    void moveWhile(const std::function<void(MoveProgressDialog&)>& during)
    {
        bool ran = false;
        QTimer::singleShot(0, &window, [&] {
            // Should a check fail, the copy still ends.
            auto ending = qScopeGuard([&] {
                if (!ran)
                    files.finish = true;
            });
            MoveProgressDialog* dialog = nullptr;
            ASSERT_TRUE(
                waitUntil([&] { return (dialog = window.findChild<MoveProgressDialog*>()) && dialog->isVisible(); }));
            ASSERT_TRUE(waitUntil([&] { return dialog->findChild<QLabel*>("moveDetail")->text().contains(" of "); }))
                << dialog->findChild<QLabel*>("moveDetail")->text().toStdString();
            during(*dialog);
            ran = true;
        });
        auto* name = find<QLineEdit>("newFileNameTextField");
        name->setText("Beach");
        name->setFocus();
        press(name, Qt::Key_Return);
        EXPECT_TRUE(ran);
        EXPECT_EQ(window.findChild<MoveProgressDialog*>(), nullptr) << "the dialog goes with the move";
    }
};

// Guards the window not painting or running input during a copy, typing cancelling it, and what a cancel leaves.
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

// Guards a finished copy not moving the file, or Ctrl+Z then not bringing it back from the name field.
TEST_F(LongCopyTest, ACopyThatFinishesMovesTheFileAndUndoBringsItBack)
{
    openFolders({"clip.mov", "d.jpg"});
    moveWhile([&](MoveProgressDialog&) { files.finish = true; });
    EXPECT_EQ(tree(dir.path()) + " " + progressText().toStdString(), "dest/Beach.mov=clip.mov src/d.jpg 2 / 2");
    auto* name = find<QLineEdit>("newFileNameTextField");
    ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == name; })) << "typing goes on in the name field";
    press(name, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(tree(dir.path()) + " " + progressText().toStdString(), "dest/ src/clip.mov src/d.jpg 1 / 2");
}

} // namespace
