// The start-up figures' programs, built from this one file so that they
// differ only in what they show. argv[1] is CLOCK_MONOTONIC in nanoseconds,
// taken by the parent just before it spawned the process; when the awaited
// paint has happened the program prints the milliseconds since then and
// exits.
//
// shoebox_bench_window NS          the app's own start-up (runApplication, as main runs it): first paint
// shoebox_bench_window NS FOLDER   ... started as `shoebox FOLDER`: first full picture painted
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

#include "bench/Processes.h"
#include "viewer/JpegDecoder.h"
#ifdef SHOEBOX_REAL_WINDOW
#include "app/AppDelegate.h"
#include "viewer/ImageViewWidget.h"
#endif

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

using shoebox::bench::monotonicNs;

long long startNs = 0;

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

// A run that never paints fails instead of holding up the benchmark.
void giveUpAfter30s()
{
    QTimer::singleShot(30000, [] {
        std::fprintf(stderr, "nothing painted within 30 s\n");
        _exit(1);
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
bool awaitPicture = false;

// Installed on the application object as the app's own start-up makes it:
// watches for the first paint of its window, or for the image view's first
// full picture.
class StartupWatch : public QObject {
public:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (!awaitPicture) {
            if (!done_ && event->type() == QEvent::Paint && object->isWidgetType()) {
                done_ = true;
                finish();
            }
        } else if (event->type() == QEvent::Polish && object->objectName() == QLatin1String("imageViewer")) {
            if (auto* view = qobject_cast<shoebox::ImageViewWidget*>(object)) {
                QObject::connect(view, &shoebox::ImageViewWidget::framePainted, view, [view] {
                    if (view->isCached(view->currentURL())) // the full picture, not a preview
                        finish();
                });
            }
        }
        return false;
    }

private:
    bool done_ = false;
};

void watchStartup()
{
    qApp->installEventFilter(new StartupWatch);
    giveUpAfter30s();
}
Q_COREAPP_STARTUP_FUNCTION(watchStartup)
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
#ifdef SHOEBOX_REAL_WINDOW
    // The app's own start-up, with the folder as its command line.
    awaitPicture = file != nullptr;
    char* args[] = {argv[0], const_cast<char*>(file), nullptr};
    int count = file ? 2 : 1;
    return shoebox::runApplication(count, args);
#else
    QApplication app(argc, argv);
    giveUpAfter30s();
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
    return app.exec();
#endif
}
