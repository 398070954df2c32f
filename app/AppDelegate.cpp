#include "AppDelegate.h"

#include <QApplication>

#include "MainWindow.h"

namespace shoebox {

void AppDelegate::install(QApplication& app)
{
    app.setQuitOnLastWindowClosed(applicationShouldTerminateAfterLastWindowClosed(app));
    connect(&app, &QCoreApplication::aboutToQuit, this, &AppDelegate::applicationWillTerminate);
}

int runApplication(int& argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Shoebox"));
    QApplication::setApplicationDisplayName(QStringLiteral("Shoebox"));
    QApplication::setDesktopFileName(QStringLiteral("shoebox"));

    AppDelegate delegate;
    delegate.install(app);

    MainWindow window;
    window.show();
    delegate.applicationDidFinishLaunching();
    QApplication::exec();
    return 0;
}

} // namespace shoebox
