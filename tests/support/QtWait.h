#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

// Waiting for the event loop, for tests and the benchmark that drive Qt.
namespace shoebox::testing {

// Processes events until `done` holds; false when `timeoutMs` ran out first. Never sleeps the UI thread: a short
// timer wakes the loop to look again.
template <class Done>
bool waitUntil(Done done, int timeoutMs = 5000)
{
    QTimer tick;
    tick.start(2);
    for (QDeadlineTimer deadline(timeoutMs); !done();) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace shoebox::testing
