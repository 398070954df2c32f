#include "app/MoveJobRunner.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "app/MoveProgressDialog.h"
#include "app/QtControls.h"
#include "platform/FileURL.h"
#include "platform/MoveObserver.h"
#include "sorting/Naming.h"

namespace shoebox {

namespace {

// A rename within one file system is over well before this, and so is a
// small copy; the UI thread waits this long for the worker (blocked, with
// no event loop) and so hands such a move's result back before any other
// key is looked at. Only a longer move returns first.
constexpr std::chrono::milliseconds quickMove{30};
// A move running this long shows its progress.
constexpr qint64 dialogDelayMs = 500;
constexpr int refreshMs = 100;

// What the worker reports, read by the UI thread's timer, and the request
// to stop.
class MoveWatch final : public MoveObserver {
public:
    void copied(std::uint64_t done, std::uint64_t total) override
    {
        total_ = total;
        done_ = done;
    }
    bool cancelled() override { return cancel_; }

    std::atomic<std::uint64_t> done_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<bool> cancel_{false};
};

QString shownName(const FileURL& url)
{
    return toQString(displayName(url.lastPathComponent()));
}

} // namespace

// One move. The worker reads `items` and `watch`, which stay put until it
// has been joined; everything else is the UI thread's.
struct MoveJobRunner::Job {
    std::vector<PathMove> items; // the file on show first
    Done done;
    MoveWatch watch;
    std::future<Result<>> result;
    std::thread worker;
    QElapsedTimer clock;
    QTimer refresh;
    QPointer<MoveProgressDialog> dialog; // for a move that did not end at once

    ~Job()
    {
        if (worker.joinable())
            worker.join();
        delete dialog.data();
    }
};

MoveJobRunner::MoveJobRunner(FileManager& files, QWidget* window) : files_(files), window_(window) {}

MoveJobRunner::~MoveJobRunner()
{
    if (!job_)
        return;
    job_->watch.cancel_ = true;
    job_.reset(); // waits for the worker; `done` is dropped
}

void MoveJobRunner::move(std::vector<PathMove> items, Done done)
{
    Q_ASSERT(!job_); // the controller refuses a second one
    Q_ASSERT(!items.empty());
    job_ = std::make_unique<Job>();
    Job& job = *job_;
    job.items = std::move(items);
    job.done = std::move(done);
    job.clock.start();

    std::promise<Result<>> promise;
    job.result = promise.get_future();
    job.worker = std::thread([this, &job, promise = std::move(promise)]() mutable {
        promise.set_value(files_.moveItemsAtPaths(job.items, &job.watch));
        // Queued to this object: dropped, should it be gone by then.
        QMetaObject::invokeMethod(this, &MoveJobRunner::finish, Qt::QueuedConnection);
    });
    if (job.result.wait_for(quickMove) == std::future_status::ready) {
        finish();
        return;
    }
    startProgress();
    emit movingChanged(true);
}

void MoveJobRunner::startProgress()
{
    Job& job = *job_;
    // Named after the file on show; the bytes are the whole group's.
    job.dialog = new MoveProgressDialog(
        shownName(FileURL::fileURLWithPath(job.items.front().source)),
        shownName(FileURL::fileURLWithPath(job.items.front().destination).deletingLastPathComponent()), window_);
    connect(job.dialog, &MoveProgressDialog::cancelRequested, this, [this] {
        if (job_)
            job_->watch.cancel_ = true;
    });
    connect(&job.refresh, &QTimer::timeout, this, &MoveJobRunner::refreshProgress);
    job.refresh.start(refreshMs);
}

void MoveJobRunner::refreshProgress()
{
    if (!job_ || !job_->dialog)
        return;
    MoveProgressDialog& dialog = *job_->dialog;
    const qint64 elapsed = job_->clock.elapsed();
    if (!dialog.isVisible() && elapsed >= dialogDelayMs)
        dialog.show();
    const std::uint64_t done = job_->watch.done_;
    dialog.setProgress(done, job_->watch.total_, static_cast<double>(done) * 1000.0 / static_cast<double>(elapsed));
}

void MoveJobRunner::cancel()
{
    // The dialog shows that the move is stopping, even before it is on
    // screen: a slow clean-up then shows "Cancelling…".
    if (job_ && job_->dialog)
        job_->dialog->reject();
    else if (job_)
        job_->watch.cancel_ = true;
}

void MoveJobRunner::finish()
{
    // Called once by the worker's queued call and possibly once before by
    // move(): whichever comes first hands the result back.
    if (!job_ || job_->result.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    std::unique_ptr<Job> job = std::move(job_);
    job->worker.join();
    Result<> result = job->result.get();
    const bool longMove = job->dialog != nullptr;
    Done done = std::move(job->done);
    job.reset(); // the dialog goes
    // The window takes the keys again where they went before: the name
    // field, after a move by Return.
    if (longMove && window_)
        window_->activateWindow();
    done(std::move(result));
    if (longMove)
        emit movingChanged(false);
}

} // namespace shoebox
