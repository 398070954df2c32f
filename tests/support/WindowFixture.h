#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTest>

#include "app/MainWindow.h"
#include "tests/support/Doubles.h"
#include "tests/support/QtWait.h"
#include "tests/support/TempDir.h"

// Failure messages show a QString as its text.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace shoebox::testing {

// The real window, shown and active, on a scripted panel and alert, a recording output and the file manager double
// `Files`.
template <typename Files>
class WindowFixture : public ::testing::Test {
protected:
    WindowFixture() : window(MainWindow::Overrides{&panel, &alert, &files, &output})
    {
        window.show();
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    template <typename T>
    T* find(const char* name)
    {
        T* child = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QString text(const char* label) { return find<QLabel>(label)->text(); }
    QString progressText() { return text("progressTextField"); }
    void click(const char* button) { find<QAbstractButton>(button)->click(); }
    void press(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    }
    // Chooses `folder` in the panel the button opens; a source, until its listing (off the UI thread) has ended.
    void choose(const char* button, const std::string& folder)
    {
        panel.chooseNext(FileURL::fileURLWithPath(folder));
        click(button);
        listed();
    }
    // Runs the event loop until the source listing under way, if any, has ended.
    void listed()
    {
        EXPECT_TRUE(waitUntil([this] { return !window.controller().isListing(); })) << "the listing did not end";
    }
    // The source folder with `names` chosen and scanned, then "dest" chosen.
    void openFolders(const Names& names)
    {
        choose("sourceFolderButton", dir.fill(names));
        choose("destinationFolderButton", dir.makeFolder("dest"));
    }
    static QStringList items(const QComboBox* box)
    {
        QStringList list;
        for (int i = 0; i < box->count(); ++i)
            list << box->itemText(i);
        return list;
    }

    TempDir dir;
    ScriptedOpenPanel panel;
    RecordingAlert alert;
    RecordingOutput output;
    Files files;
    MainWindow window;
};

} // namespace shoebox::testing
