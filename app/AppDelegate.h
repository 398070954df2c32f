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

// Runs the application with the arguments of `main`, unchanged, until its
// window closes.
int runApplication(int& argc, char** argv);

} // namespace shoebox
