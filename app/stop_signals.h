#pragma once
// TStopSignals: the signals that ask a program to end (SIGTERM at a logout or
// from kill, SIGINT from Ctrl+C, SIGHUP when the terminal goes) arrive as a Qt
// signal on the GUI thread, so the program ends the way closing its window
// ends it: the test on screen kept, the port released, temporary files gone.

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace quillar {

class TStopSignals : public QObject {
    Q_OBJECT
public:
    // Takes over SIGTERM, SIGINT and SIGHUP for as long as it lives; one at a
    // time. Where that fails (no pipe to be had), it says so on standard
    // error and the signals keep ending the program at once.
    explicit TStopSignals(QObject* parent = nullptr);
    // Gives the signals back to what they were before.
    ~TStopSignals() override;

signals:
    // One of the signals came; emitted on the thread that made this object,
    // once for each signal that came.
    void received(int signalNumber);

private:
    void Drain();

    int readEnd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace quillar
