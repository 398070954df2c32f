// The start-up figures' programs, built from this one file so that they
// differ only in what they show. argv[1] is CLOCK_MONOTONIC in nanoseconds,
// taken by the parent just before it spawned the process; when the awaited
// paint has happened the program prints the milliseconds since then and
// exits.
//
// shoebox_bench_window NS          the sorting window, as the app's main shows it: first paint
// shoebox_bench_window NS FOLDER   ... with FOLDER chosen as the source: first full picture painted
// shoebox_bench_minimal_window NS          a QMainWindow with a QLabel, the least a Qt Widgets
//                                          program does to show a window: first paint
// shoebox_bench_minimal_window NS JPEG     ... showing JPEG, decoded at the view's scale and
//                                          fitted: first paint
#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QMainWindow>
#include <QPixmap>
#include <QTimer>

#include "ImageDecoder.h"
#ifdef SHOEBOX_REAL_WINDOW
#include "ImageViewWidget.h"
#include "MainWindow.h"
#endif

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>

#include <unistd.h>

namespace {

long long startNs = 0;

long long monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// Prints the time once the backing store painted so far has been flushed
// (the zero timer fires after that) and exits.
void finish()
{
    QTimer::singleShot(0, [] {
        std::printf("%.3f\n", double(monotonicNs() - startNs) / 1e6);
        std::fflush(stdout);
        _exit(0);
    });
}

// The first paint of `watched`, or of any widget in `window` when null.
class FirstPaint : public QObject {
public:
    FirstPaint(QWidget* window, QWidget* watched) : window_(window), watched_(watched) {}
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (!done_ && event->type() == QEvent::Paint && object->isWidgetType() &&
            (watched_ ? object == watched_ : static_cast<QWidget*>(object)->window() == window_)) {
            done_ = true;
            finish();
        }
        return false;
    }

private:
    QWidget* window_;
    QWidget* watched_;
    bool done_ = false;
};

#ifdef SHOEBOX_REAL_WINDOW
// Answers the folder panel once with the folder from the command line. It
// stands in for the app's own command line (`shoebox FOLDER`) until the app
// has one; then that replaces this panel and the scan in main.
struct CommandLineFolder final : shoebox::OpenPanel {
    std::optional<shoebox::FileURL> folder;
    std::optional<shoebox::FileURL> chooseFolder() override { return std::exchange(folder, std::nullopt); }
};
#endif

} // namespace

int main(int argc, char** argv)
{
    startNs = argc > 1 ? std::atoll(argv[1]) : monotonicNs();
    const char* file = argc > 2 ? argv[2] : nullptr;
    // The same message filter as the benchmark's, so both pay for one.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        if (!message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")) &&
            !message.contains(QLatin1String("propagateSizeHints")))
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    QApplication app(argc, argv);
    // A run that never paints fails instead of holding up the benchmark.
    QTimer::singleShot(30000, [] {
        std::fprintf(stderr, "nothing painted within 30 s\n");
        _exit(1);
    });
#ifdef SHOEBOX_REAL_WINDOW
    QApplication::setApplicationName(QStringLiteral("Shoebox"));
    QApplication::setApplicationDisplayName(QStringLiteral("Shoebox"));
    QApplication::setDesktopFileName(QStringLiteral("shoebox"));
    CommandLineFolder panel;
    shoebox::MainWindow window(shoebox::MainWindow::Overrides{.openPanel = &panel});
    FirstPaint filter(&window, nullptr);
    if (file) {
        auto* view = window.findChild<shoebox::ImageViewWidget*>("imageViewer");
        QObject::connect(view, &shoebox::ImageViewWidget::framePainted, view, [view] {
            if (view->isCached(view->currentURL())) // the full picture, not a preview
                finish();
        });
    } else {
        app.installEventFilter(&filter);
    }
    window.show();
    if (file) {
        panel.folder = shoebox::FileURL::fileURLWithPath(file);
        window.controller().sourceFolderButton(nullptr);
    }
#else
    QMainWindow window;
    auto* label = new QLabel(&window);
    label->setAlignment(Qt::AlignCenter);
    window.setCentralWidget(label);
    window.resize(1200, 820); // the sorting window's size from its .ui
    if (file) {
        QImageReader reader(QString::fromLocal8Bit(file)); // the benchmark's own ASCII names
        reader.setAutoTransform(true);
        const bool sideways = reader.transformation() & QImageIOHandler::TransformationRotate90;
        reader.setScaledSize(shoebox::imaging::chooseJpegScaledSize(reader.size(), sideways, window.size()));
        const QImage image = reader.read();
        label->setPixmap(
            QPixmap::fromImage(image.scaled(window.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    } else {
        label->setText(QStringLiteral("Hello"));
    }
    FirstPaint filter(&window, file ? label : nullptr);
    app.installEventFilter(&filter);
    window.show();
#endif
    return app.exec();
}
