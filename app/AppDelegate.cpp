#include "app/AppDelegate.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <memory>
#include <variant>

#include "app/CommandLine.h"
#include "app/Display.h"
#include "app/MainWindow.h"
#include "app/StartupStyle.h"
#include "app/TerminationSignals.h"
#include "app/Translations.h"

namespace shoebox {

void AppDelegate::install(QApplication& app)
{
    app.setQuitOnLastWindowClosed(applicationShouldTerminateAfterLastWindowClosed(app));
    connect(&app, &QCoreApplication::aboutToQuit, this, &AppDelegate::applicationWillTerminate);
}

int runApplication(int& argc, char** argv)
{
    return runApplication(argc, argv, WindowOverrides{});
}

int runApplication(int& argc, char** argv, const WindowOverrides& overrides)
{
    // The user's language for the command line's messages too (Qt sets the
    // same once it starts); the printed lines stay English (platform/Result.h).
    // The first thing the program does, before any other thread exists.
    std::setlocale(LC_ALL, ""); // NOLINT(concurrency-mt-unsafe)
    Translations translations;
    // Read before Qt starts, so that --help, --version and a mistake get
    // their answer without a display and before any window opens.
    const auto commandLine = parseCommandLine(argc, argv, &translations);
    if (const auto* exit = std::get_if<EarlyExit>(&commandLine)) {
        std::FILE* stream = exit->status == 0 ? stdout : stderr;
        std::fwrite(exit->text.data(), 1, exit->text.size(), stream);
        std::fflush(stream);
        return exit->status;
    }
    const StartFolders folders = std::get<StartFolders>(commandLine);

    // The command line is Shoebox's own: Qt sees only the program's name, so
    // a folder named like one of Qt's options ("-reverse") stays a folder.
    // Qt's settings still come through its environment (QT_QPA_PLATFORM...).
    int qtArgc = 1;
    const std::unique_ptr<QApplication> app = openDisplay(qtArgc, argv, translations);
    translations.install();
    // The style Qt chose (the desktop's, or QT_STYLE_OVERRIDE), made anew for
    // the proxy to own; the application owns the proxy.
    QApplication::setStyle(new StartupStyle(QStyleFactory::create(QApplication::style()->name())));
    QApplication::setApplicationName(QStringLiteral("Shoebox"));
    QApplication::setApplicationDisplayName(QStringLiteral("Shoebox"));
    QApplication::setApplicationVersion(QStringLiteral(SHOEBOX_VERSION));
    // The window finds its launcher, and so its name and icon, by this.
    // (The icon itself is set once the window has painted: MainWindow.)
    QApplication::setDesktopFileName(QStringLiteral(SHOEBOX_DESKTOP_ID));

    // From here on SIGTERM, SIGINT and SIGHUP wait in a pipe until the event
    // loop runs, and then close the window.
    auto ends = TerminationSignals::install();

    AppDelegate delegate;
    delegate.install(*app);

    MainWindow window(overrides);
    window.show();
    // A window that closes at once ends the program at once; while a copy
    // runs it closes when the copy has stopped. Quitting as well ends a
    // modal dialog (an alert, the folder panel) that would keep it going.
    if (ends) {
        QObject::connect(ends->get(), &TerminationSignals::received, &window, [&window] {
            if (window.close())
                QCoreApplication::quit();
        });
    } else {
        qWarning("%s", ends.error().description.c_str());
    }
    delegate.applicationDidFinishLaunching();
    // Once the window is on screen, so that an alert about the source has
    // the window to sit on.
    if (folders.source || folders.destination)
        QTimer::singleShot(0, &window, [&window, folders] { window.chooseStartFolders(folders); });
    QApplication::exec();
    return 0;
}

} // namespace shoebox
