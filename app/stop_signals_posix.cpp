// The self-pipe: the handler only writes the signal's number into a pipe,
// which is all a signal handler may safely do; the GUI thread reads it when
// the pipe becomes readable.
#include "app/shell_log.h"
#include "app/stop_signals.h"

#include <QLoggingCategory>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace quillar {

namespace {

constexpr std::array<int, 3> kStopSignals{SIGTERM, SIGINT, SIGHUP};

// The handler can reach only what is static. -1 while no TStopSignals has
// the signals.
volatile std::sig_atomic_t writeEnd = -1;
std::array<struct sigaction, kStopSignals.size()> previous{};

void OnStopSignal(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a request to stop: this one may go.
    [[maybe_unused]] const ssize_t written = write(writeEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

TStopSignals::TStopSignals(QObject* parent) : QObject(parent) {
    if (writeEnd != -1)
        throw std::logic_error("Only one TStopSignals at a time");
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        qCWarning(lcShell, "Stop signals end the program at once: pipe2: %s", std::strerror(errno));
        return;
    }
    readEnd_ = ends[0];
    writeEnd = ends[1];
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TStopSignals::Drain);

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART; // the GUI's own system calls go on undisturbed
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        sigaction(kStopSignals[i], &action, &previous[i]); // fails only for invalid signals
}

TStopSignals::~TStopSignals() {
    if (readEnd_ < 0)
        return;
    for (std::size_t i = 0; i < kStopSignals.size(); ++i)
        sigaction(kStopSignals[i], &previous[i], nullptr);
    notifier_.reset();
    close(writeEnd);
    writeEnd = -1;
    close(readEnd_);
}

void TStopSignals::Drain() {
    unsigned char numbers[16];
    for (;;) {
        const ssize_t n = read(readEnd_, numbers, sizeof numbers);
        if (n <= 0)
            return; // empty, or interrupted: the notifier calls again
        for (ssize_t i = 0; i < n; ++i)
            emit received(numbers[i]);
    }
}

} // namespace quillar
