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

// Runs the application until its window closes, with the folders the
// command line gives; --help, --version or a mistake on the command line end
// it first, with status 0 or 2.
int runApplication(int& argc, char** argv);

} // namespace shoebox
