#pragma once

#include <QObject>

class QApplication;

namespace shoebox {

// The application's delegate: it ends the application when its one window
// closes, and does nothing else.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void applicationDidFinishLaunching() {}
    void applicationWillTerminate() {}
    bool applicationShouldTerminateAfterLastWindowClosed(const QApplication&) const { return true; }

    // Installs the delegate on `app`: the last window closing ends it.
    void install(QApplication& app);
};

struct WindowOverrides;

// Runs the application until its window closes, with the folders the
// command line gives; --help, --version or a mistake on the command line end
// it first, with status 0 or 2. SIGTERM, SIGINT and SIGHUP close the window
// as its close button does (a copy under way is cancelled first) and end it
// with status 0. `overrides` stand in for parts of the outside world (tests).
int runApplication(int& argc, char** argv, const WindowOverrides& overrides);
int runApplication(int& argc, char** argv);

} // namespace shoebox
