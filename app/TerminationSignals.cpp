#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace shoebox {

namespace {

constexpr std::array<int, 3> endingSignals = {SIGTERM, SIGINT, SIGHUP};

// The pipe's write end, for the handler; -1 when none is installed.
std::atomic<int> pipeForHandler{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads it");

extern "C" void writeSignalToPipe(int signal)
{
    // Only async-signal-safe calls. A full pipe drops the byte: the signals
    // already in it end the program just the same.
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    if (const int fd = pipeForHandler.load(); fd >= 0) [[maybe_unused]]
        const ssize_t written = ::write(fd, &byte, 1);
    errno = saved;
}

} // namespace

Result<std::unique_ptr<TerminationSignals>> TerminationSignals::install()
{
    auto failed = [] {
        const int error = errno;
        return failure("Could not watch for the signals that end the program: " + systemReason(error), error);
    };
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return failed();
    std::unique_ptr<TerminationSignals> watch(new TerminationSignals(ends[0], ends[1]));
    pipeForHandler = ends[1];

    struct sigaction action {};
    action.sa_handler = writeSignalToPipe;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // system calls under way go on rather than fail with EINTR
    for (const int signal : endingSignals) {
        if (::sigaction(signal, &action, nullptr) != 0)
            return failed();
    }
    return watch;
}

TerminationSignals::TerminationSignals(int readEnd, int writeEnd)
    : readEnd_(readEnd), writeEnd_(writeEnd), notifier_(new QSocketNotifier(readEnd, QSocketNotifier::Read, this))
{
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
}

TerminationSignals::~TerminationSignals()
{
    for (const int signal : endingSignals)
        std::signal(signal, SIG_DFL);
    pipeForHandler = -1;
    ::close(readEnd_);
    ::close(writeEnd_);
}

void TerminationSignals::readPipe()
{
    unsigned char byte = 0;
    while (::read(readEnd_, &byte, 1) == 1)
        emit received(byte);
}

} // namespace shoebox
