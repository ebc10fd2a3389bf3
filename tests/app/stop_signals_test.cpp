// Stop signals reach the GUI thread as a Qt signal, and are given back after.

#include "app/stop_signals.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <csignal>
#include <memory>
#include <stdexcept>

namespace quillar::test {

namespace {

volatile std::sig_atomic_t beforeHandlerCalls = 0;

void BeforeHandler(int) {
    beforeHandlerCalls = beforeHandlerCalls + 1;
}

} // namespace

class StopSignalsTest : public QObject {
    Q_OBJECT
private slots:
    void eachStopSignal_arrivesOnTheGuiThread_thenIsGivenBack();
};

void StopSignalsTest::eachStopSignal_arrivesOnTheGuiThread_thenIsGivenBack() {
    const int stopSignals[] = {SIGTERM, SIGINT, SIGHUP};
    struct sigaction before {};
    before.sa_handler = BeforeHandler;
    sigemptyset(&before.sa_mask);
    struct sigaction original[3];
    for (int i = 0; i < 3; ++i)
        QCOMPARE(sigaction(stopSignals[i], &before, &original[i]), 0);

    {
        TStopSignals stop;
        QVERIFY_THROWS_EXCEPTION(std::logic_error, TStopSignals{}); // one at a time
        QList<int> received;
        QList<QThread*> threads;
        connect(&stop, &TStopSignals::received, this, [&](int signalNumber) {
            received << signalNumber;
            threads << QThread::currentThread();
        });
        for (const int signalNumber : stopSignals)
            QCOMPARE(raise(signalNumber), 0);
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 3, 10'000);
        QCOMPARE(received, (QList<int>{SIGTERM, SIGINT, SIGHUP}));
        QCOMPARE(threads, QList<QThread*>(3, thread()));
        QCOMPARE(int(beforeHandlerCalls), 0);
    }

    // Given back: the handlers from before run again.
    for (const int signalNumber : stopSignals)
        QCOMPARE(raise(signalNumber), 0);
    QCOMPARE(int(beforeHandlerCalls), 3);
    for (int i = 0; i < 3; ++i)
        sigaction(stopSignals[i], &original[i], nullptr);
}

std::unique_ptr<QObject> MakeStopSignalsTest() {
    return std::make_unique<StopSignalsTest>();
}

} // namespace quillar::test

#include "stop_signals_test.moc"
