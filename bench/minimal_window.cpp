// The start-up figure's two programs, built from this one file so that they
// differ only in their window: shoebox_bench_window shows the sorting window
// the way the app's main does; shoebox_bench_minimal_window shows a
// QMainWindow with a QLabel, the least a Qt Widgets program does. argv[1] is
// CLOCK_MONOTONIC in nanoseconds taken by the parent just before it spawned
// the process. On the first paint it prints the milliseconds since then and
// exits.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>

#ifdef SHOEBOX_REAL_WINDOW
#include "MainWindow.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <unistd.h>

namespace {

long long startNs = 0;

long long monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1'000'000'000 + ts.tv_nsec;
}

// The first paint of any widget in the window; the zero timer fires once
// the whole backing store has been painted and flushed.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget* window) : window_(window) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!done_ && event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == window_) {
            done_ = true;
            QTimer::singleShot(0, [] {
                std::printf("%.3f\n", double(monotonicNs() - startNs) / 1e6);
                std::fflush(stdout);
                _exit(0);
            });
        }
        return false;
    }

private:
    QWidget* window_;
    bool done_ = false;
};

} // namespace

int main(int argc, char** argv)
{
    startNs = argc > 1 ? std::atoll(argv[1]) : monotonicNs();
    // The same message filter as the benchmark's, so both pay for one.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        if (!message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")) &&
            !message.contains(QLatin1String("propagateSizeHints")))
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    QApplication app(argc, argv);
#ifdef SHOEBOX_REAL_WINDOW
    QApplication::setApplicationName(QStringLiteral("Shoebox"));
    QApplication::setApplicationDisplayName(QStringLiteral("Shoebox"));
    QApplication::setDesktopFileName(QStringLiteral("shoebox"));
    shoebox::MainWindow window;
#else
    QMainWindow window;
    window.setCentralWidget(new QLabel(QStringLiteral("Hello"), &window));
    window.resize(1200, 820); // the sorting window's size from its .ui
#endif
    FirstPaint filter(&window);
    app.installEventFilter(&filter);
    window.show();
    return app.exec();
}
