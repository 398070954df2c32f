#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

#include "platform/FileManager.h"
#include "sorting/MoveJobs.h"

class QWidget;

namespace shoebox {

// Runs the controller's moves on a worker thread and hands each result
// back on the UI thread, to this object: a result that comes back after it
// is gone is dropped. A move still running after about half a second shows
// the progress dialog on `window`, whose Cancel (or Escape) stops it through
// the move's observer, as cancel() does. No event loop is spun and no input
// is filtered: while a move runs the window goes on as usual, and the
// controller refuses the commands that would race it.
class MoveJobRunner final : public QObject, public MoveJobs {
    Q_OBJECT
public:
    MoveJobRunner(FileManager& files, QWidget* window);
    // Cancels a move under way and waits for it to end: it uses `files`,
    // and its result has no one left to go to.
    ~MoveJobRunner() override;

    // A rename is over long before a key can follow: its result comes back
    // before this returns, so keys typed ahead keep their order.
    void move(std::vector<PathMove> items, Done done) override;

    bool isMoving() const { return job_ != nullptr; }
    // Asks the move under way to stop, as Cancel does; its result (the
    // move cancelled, or done when it was past the point of no return)
    // comes back as usual.
    void cancel();

signals:
    // A move that did not end at once started, or ended: after its `done` ran.
    void movingChanged(bool moving);

private:
    struct Job;

    void startProgress();
    void refreshProgress();
    // Hands back the result of the move under way if it is in.
    void finish();

    FileManager& files_;
    QPointer<QWidget> window_;
    std::unique_ptr<Job> job_;
};

} // namespace shoebox
