#pragma once

#include <QObject>

#include <memory>

#include "platform/Result.h"

class QSocketNotifier;

namespace shoebox {

// SIGTERM (logging out, shutting down), SIGINT (Ctrl+C in a terminal) and
// SIGHUP (the terminal closing) as a Qt signal on the UI thread, so that
// they end the program the way closing its window does instead of killing
// it in the middle of a copy. The handler only writes the signal's number
// into a pipe, which is safe in a handler; a QSocketNotifier reads it on
// the UI thread. One at a time; the default actions come back when it goes.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    static Result<std::unique_ptr<TerminationSignals>> install();
    ~TerminationSignals() override;

signals:
    void received(int signal);

private:
    TerminationSignals(int readEnd, int writeEnd);
    void readPipe();

    int readEnd_;
    int writeEnd_;
    QSocketNotifier* notifier_;
};

} // namespace shoebox
