#include "app/BackgroundMoveFileManager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <atomic>
#include <chrono>
#include <future>

#include "app/MoveProgressDialog.h"
#include "app/QtControls.h"
#include "platform/FileURL.h"
#include "sorting/Naming.h"

namespace shoebox {

namespace {

// A rename within one file system is over well before this; only a move
// still running after it spins an event loop. A quick move thus stays an
// ordinary synchronous call, and keys typed ahead keep their order.
constexpr std::chrono::milliseconds quickMove{30};
// A move running this long shows its progress.
constexpr qint64 dialogDelayMs = 500;
constexpr int refreshMs = 100;

// What the worker reports, read by the window's timer, and the dialog's
// request to stop. Passes both on to the caller's own observer, if any.
class MoveWatch final : public MoveObserver {
public:
    explicit MoveWatch(MoveObserver* outer) : outer_(outer) {}

    void copied(std::uint64_t done, std::uint64_t total) override
    {
        total_ = total;
        done_ = done;
        if (outer_)
            outer_->copied(done, total);
    }
    bool cancelled() override { return cancel_ || (outer_ && outer_->cancelled()); }

    std::atomic<std::uint64_t> done_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<bool> cancel_{false};

private:
    MoveObserver* outer_;
};

// Drops every input event but those for the progress dialog while it lives,
// and keeps the window from closing under a move.
class InputBlocker final : public QObject {
public:
    explicit InputBlocker(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

    void allow(QWidget* dialog) { dialog_ = dialog; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::ShortcutOverride: // accepted, it keeps the key from becoming a shortcut
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            if (isForDialog(watched))
                return false;
            event->accept();
            return true;
        case QEvent::Close:
            if (window_ && (watched == window_ || watched == window_->windowHandle())) {
                event->ignore();
                return true;
            }
            return false;
        default:
            return false;
        }
    }

private:
    bool isForDialog(QObject* watched) const
    {
        if (!dialog_)
            return false;
        if (auto* widget = qobject_cast<QWidget*>(watched))
            return widget == dialog_ || dialog_->isAncestorOf(widget);
        if (auto* window = qobject_cast<QWindow*>(watched))
            return window == dialog_->windowHandle();
        return false;
    }

    QWidget* window_;
    QWidget* dialog_ = nullptr;
};

QString shownName(const FileURL& url)
{
    return toQString(displayName(url.lastPathComponent()));
}

} // namespace

Result<> BackgroundMoveFileManager::moveItemAtPath(const std::string& source, const std::string& destination,
                                                   MoveObserver* observer)
{
    MoveWatch watch(observer);
    QEventLoop loop;
    std::future<Result<>> moved = std::async(std::launch::async, [&] {
        Result<> result = inner_.moveItemAtPath(source, destination, &watch);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        return result;
    });
    if (moved.wait_for(quickMove) == std::future_status::ready)
        return moved.get();

    moving_ = true;
    InputBlocker blocker(window_);
    const FileURL target = FileURL::fileURLWithPath(destination);
    MoveProgressDialog dialog(shownName(FileURL::fileURLWithPath(source)),
                              shownName(target.deletingLastPathComponent()), window_);
    blocker.allow(&dialog);
    QObject::connect(&dialog, &MoveProgressDialog::cancelRequested, [&watch] { watch.cancel_ = true; });

    QElapsedTimer clock;
    clock.start();
    QTimer refresh;
    QObject::connect(&refresh, &QTimer::timeout, [&] {
        const qint64 elapsed = clock.elapsed();
        if (!dialog.isVisible() && elapsed >= dialogDelayMs)
            dialog.show();
        const std::uint64_t done = watch.done_;
        dialog.setProgress(done, watch.total_, static_cast<double>(done) * 1000.0 / static_cast<double>(elapsed));
    });
    refresh.start(refreshMs);
    loop.exec();

    // The window takes the keys again where they went before: the name
    // field, after a move by Return.
    dialog.hide();
    if (window_)
        window_->activateWindow();
    moving_ = false;
    return moved.get();
}

} // namespace shoebox
