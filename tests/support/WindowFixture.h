#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <csignal>

#include "app/FolderCompletion.h"
#include "app/MainWindow.h"
#include "app/Settings.h"
#include "tests/support/Doubles.h"
#include "tests/support/QtWait.h"
#include "tests/support/TempDir.h"

// Failure messages show a QString as its text.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace shoebox::testing {

// Settings as a new user has them: none (another test's window wrote some).
struct NoSettings {
    NoSettings() { std::filesystem::remove(Settings().fileName().toStdString()); }
};

// The real window as a new user first sees it, shown and active, on a scripted panel and alert, a recording output and
// the file manager double `Files`.
template <typename Files>
class WindowFixture : public ::testing::Test, NoSettings {
protected:
    WindowFixture() : window(MainWindow::Overrides{&panel, &alert, &files, &output})
    {
        window.show();
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    static FileURL url(const std::string& path) { return FileURL::fileURLWithPath(path); }
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
    // Waits for a move the last command started (a rename usually ends before the command returns, but not always).
    bool moveEnded()
    {
        return waitUntil([&] { return !window.controller().isMoving(); });
    }
    // Types `name` into the name field and presses Ctrl+Return; true once the move has ended.
    bool moveAs(const QString& name)
    {
        find<QLineEdit>("newFileNameTextField")->setText(name);
        press(&window, Qt::Key_Return, Qt::ControlModifier);
        return moveEnded();
    }
    // Chooses `folder` in the panel the button opens; a source, until its listing (off the UI thread) has ended.
    void choose(const char* button, const std::string& folder)
    {
        panel.chooseNext(url(folder));
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
    // A box's items, a date suggestion marked "*".
    static QStringList items(const QComboBox* box)
    {
        QStringList list;
        for (int i = 0; i < box->count(); ++i)
            list << box->itemText(i) + (box->itemData(i, FolderCompletion::suggestionRole).toBool() ? "*" : "");
        return list;
    }

    TempDir dir;
    ScriptedOpenPanel panel;
    RecordingAlert alert;
    RecordingOutput output;
    Files files;
    MainWindow window;
};

// The program as main runs it, in a child process with its own HOME on the offscreen platform: the move probe
// (tests/MoveProbe.cpp), whose moves copy through a held observer.
struct ProgramRun {
    ProgramRun(const std::string& home, const QStringList& arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            environment.remove(QString::fromLatin1(name));
        environment.insert("HOME", QString::fromStdString(home));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationDirPath() + "/shoebox_move_probe", arguments);
    }
    ~ProgramRun()
    {
        if (process.state() != QProcess::NotRunning)
            process.kill();
        process.waitForFinished();
    }
    // Waits for `cue` on its stderr; false when it ended first, or hangs (half a minute).
    bool waitFor(const QByteArray& cue)
    {
        waitUntil(
            [&] {
                errors += process.readAllStandardError();
                return errors.contains(cue) || process.state() == QProcess::NotRunning;
            },
            30000);
        return errors.contains(cue);
    }
    // Sends `signal` and waits for the end: "0 0" for a normal exit with status 0.
    std::string end(int signal)
    {
        ::kill(static_cast<pid_t>(process.processId()), signal);
        if (!waitUntil([&] { return process.state() == QProcess::NotRunning; }, 30000))
            return "still running";
        errors += process.readAllStandardError();
        return std::to_string(process.exitStatus()) + " " + std::to_string(process.exitCode());
    }

    QProcess process;
    QByteArray errors;
};

} // namespace shoebox::testing
