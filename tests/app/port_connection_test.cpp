// Connecting to a port: captions, line settings, quiet retries of the poll's
// attempts, the user's attempts, nested attempts and the port button.

#include "shell_test_support.h"

#include <algorithm>

#include <QAction>
#include <QFrame>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace quillar::test {

class PortConnectionTest : public QObject {
    Q_OBJECT
private slots:
    void portGoneAtOnce_brailleDaemonPresent_oneHintPerRun();
    void pollAttempt_showsConnecting_thenConnected_andSetsTheLine();
    void pollAttempt_opensAtTheThirdTry_quietly();
    void pollAttempt_neverOpens_sixTries_quietly_thenUserAttemptTriesOnceAndSays();
    void userChoosesTheConnectedPort_oldConnectionClosedFirst();
    void nestedTickDuringRetries_newerAttemptKeepsPortAndCaption_data();
    void nestedTickDuringRetries_newerAttemptKeepsPortAndCaption();
    void portButton_emptyMenu_asksToCheck_otherwisePopsUpBelowTheToolBar();
    void portNameWithAmpersand_showsExactlyOnTheButton();
};

void PortConnectionTest::pollAttempt_showsConnecting_thenConnected_andSetsTheLine() {
    ShellBench bench;
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    QStringList captionsDuringOpen;
    bench.links.onOpen = [&](const std::string&) {
        captionsDuringOpen << form.ToolButton6->text();
    };

    bench.ports = "COM3";
    form.PollTick();
    QCOMPARE(captionsDuringOpen, QStringList{"COM3 Connecting ..."});
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("COM3 Connected OK"));
    QCOMPARE(bench.links.lineCalls.size(), std::size_t{1});
    const LineCall& line = bench.links.lineCalls[0];
    QCOMPARE(line.baud, 9600);
    QCOMPARE(line.dataBits, 8);
    QCOMPARE(line.parity, 'N');
    QCOMPARE(line.stopBits, 0);
    QCOMPARE(line.softwareFlow, false);
    QCOMPARE(line.hardwareFlow, true);
    QVERIFY(form.SerialPort() != nullptr);
    QCOMPARE(Q(form.SerialPort()->DeviceName()), QStringLiteral("COM3"));
    QVERIFY(bench.sleeps.empty());
    QVERIFY(bench.messages.empty());
}

void PortConnectionTest::pollAttempt_opensAtTheThirdTry_quietly() {
    ShellBench bench;
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    QStringList captionsDuringOpen;
    bench.links.onOpen = [&](const std::string&) {
        captionsDuringOpen << form.ToolButton6->text();
    };
    bench.links.failingOpens["COM1"] = 2;

    bench.ports = "COM1";
    form.PollTick();
    QCOMPARE(bench.links.opens, (std::vector<std::string>(3, "COM1")));
    QCOMPARE(captionsDuringOpen, QStringList(3, QStringLiteral("COM1 Connecting ...")));
    QCOMPARE(bench.sleeps, (std::vector<int>{200, 200}));
    QCOMPARE(bench.links.created, 1); // the retries reopen the same object
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("COM1 Connected OK"));
    QCOMPARE(bench.links.lineCalls.size(), std::size_t{1});
    QVERIFY(bench.messages.empty());
    QVERIFY(!form.AutoConnecting());
}

void PortConnectionTest::pollAttempt_neverOpens_sixTries_quietly_thenUserAttemptTriesOnceAndSays() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=QM\r\n");
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    bench.links.failingOpens["COM4"] = kNeverOpens;
    bench.links.openErrorCode = 16;
    bench.links.openErrorText = "Port held by another program";

    bench.ports = "COM4";
    form.PollTick();
    QCOMPARE(bench.links.opens.size(), std::size_t{6});
    QCOMPARE(bench.sleeps, (std::vector<int>(5, 200)));
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("Select COM Port ?"));
    QVERIFY(bench.messages.empty());
    QVERIFY(bench.links.lineCalls.empty());
    // The failed object stays, and a closed port is not read.
    QVERIFY(form.SerialPort() != nullptr);
    QVERIFY(!form.SerialPort()->PortActive());
    bench.links.incoming.push_back({"CCA 600\r\n"});
    form.PollTick();
    QVERIFY(bench.links.readTimeouts.empty());

    // The user chooses the port: one try, one message, no pause.
    QCOMPARE(MenuTexts(form.PopupMenu1), QStringList{"COM4"});
    form.PopupMenu1->actions().first()->trigger();
    QCOMPARE(bench.links.opens.size(), std::size_t{7});
    QCOMPARE(bench.sleeps.size(), std::size_t{5});
    QCOMPARE(bench.messages.size(), std::size_t{1});
    QCOMPARE(bench.messages[0].kind, MessageKind::Confirm);
    QCOMPARE(bench.messages[0].caption, QStringLiteral("Confirm"));
    QCOMPARE(bench.messages[0].text, QStringLiteral("COM4 Error: Port held by another program"));
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("Select COM Port ?"));
    QVERIFY(bench.links.lineCalls.empty());
    QVERIFY(bench.links.callsAfterRelease.empty());
}

void PortConnectionTest::userChoosesTheConnectedPort_oldConnectionClosedFirst() {
    ShellBench bench;
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    std::vector<int> liveDuringOpen;
    bench.links.onOpen = [&](const std::string&) {
        liveDuringOpen.push_back(bench.links.LiveLinks());
    };

    bench.ports = "COM1,COM2";
    form.PollTick();
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("COM2 Connected OK"));
    TSerialLink* first = form.SerialPort();

    form.PopupMenu1->actions().first()->trigger(); // COM2 again, by the user
    QCOMPARE(bench.links.opens, (std::vector<std::string>{"COM2", "COM2"}));
    // The port's old connection was released before the new one opened: an
    // exclusive port would otherwise refuse the second open.
    QCOMPARE(liveDuringOpen, (std::vector<int>{1, 1}));
    QCOMPARE(bench.links.released, 1);
    QVERIFY(form.SerialPort() != first);
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("COM2 Connected OK"));
    QCOMPARE(bench.links.lineCalls.size(), std::size_t{2});
    QVERIFY(bench.messages.empty());
    QVERIFY(bench.links.callsAfterRelease.empty());
}

void PortConnectionTest::nestedTickDuringRetries_newerAttemptKeepsPortAndCaption_data() {
    QTest::addColumn<bool>("afterFirstPause");
    QTest::newRow("before the first pause") << false;
    QTest::newRow("after the first pause") << true;
}

void PortConnectionTest::nestedTickDuringRetries_newerAttemptKeepsPortAndCaption() {
    QFETCH(bool, afterFirstPause);
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=QM\r\n");
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    bench.links.failingOpens["COM1"] = kNeverOpens;

    // While the attempt on COM1 retries, a second port appears and a tick is
    // waiting in the event queue; the retry loop's event pumping runs it.
    bool nested = false;
    const auto queueTick = [&] {
        if (nested)
            return;
        nested = true;
        bench.ports = "COM1,COM5";
        QMetaObject::invokeMethod(
            &form, [&form] { form.PollTick(); }, Qt::QueuedConnection);
    };
    bench.links.onOpen = [&](const std::string& port) {
        // The first open, or the one after the first pause.
        if (port == "COM1" && bench.sleeps.size() == (afterFirstPause ? 1u : 0u))
            queueTick();
    };

    bench.ports = "COM1";
    form.PollTick();
    QVERIFY(nested);
    // No call reached a released connection object.
    QVERIFY2(bench.links.callsAfterRelease.empty(),
             bench.links.callsAfterRelease.empty() ? "" : bench.links.callsAfterRelease[0].c_str());

    const std::vector<std::string> expectedOpens =
        afterFirstPause ? std::vector<std::string>{"COM1", "COM1", "COM5"}
                        : std::vector<std::string>{"COM1", "COM5"};
    QCOMPARE(bench.links.opens, expectedOpens);
    QCOMPARE(bench.sleeps.size(), std::size_t{afterFirstPause ? 1u : 0u});
    // The outer attempt gave up when the newer one took over: it left the
    // newer one's caption and connection alone.
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("COM5 Connected OK"));
    QVERIFY(form.SerialPort() != nullptr && form.SerialPort()->PortActive());
    QCOMPARE(Q(form.SerialPort()->DeviceName()), QStringLiteral("COM5"));
    QCOMPARE(bench.links.LiveLinks(), 1);
    QCOMPARE(bench.links.lineCalls.size(), std::size_t{1});
    QVERIFY(!form.AutoConnecting());
    QVERIFY(bench.messages.empty());
    QCOMPARE(MenuTexts(form.PopupMenu1), (QStringList{"COM5", "COM1"}));

    // Later ticks read the newer connection.
    QVERIFY(Deliver(bench, "VOLTS 12.6V\r\n"));
    QVERIFY(Q(form.ReceivedText()).contains(QStringLiteral("12.6V")));
    QCOMPARE(bench.links.opens.size(), expectedOpens.size());
    QVERIFY(bench.links.callsAfterRelease.empty());
}

void PortConnectionTest::portButton_emptyMenu_asksToCheck_otherwisePopsUpBelowTheToolBar() {
    ShellBench bench;
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;

    form.ToolButton6->click();
    QCOMPARE(bench.messages.size(), std::size_t{1});
    QCOMPARE(bench.messages[0].kind, MessageKind::Confirm);
    QCOMPARE(bench.messages[0].caption, QStringLiteral("Confirm"));
    QCOMPARE(bench.messages[0].text, QStringLiteral("Please check COM port."));
    QVERIFY(!form.PopupMenu1->isVisible());

    bench.ports = "COM1,COM2";
    form.PollTick();
    form.ToolButton6->click();
    QTRY_VERIFY_WITH_TIMEOUT(form.PopupMenu1->isVisible(), kWaitMs);
    QCOMPARE(bench.messages.size(), std::size_t{1});
    const QPoint expected(form.mapToGlobal(QPoint(0, 0)).x() + form.ToolButton6->geometry().left(),
                          form.Panel1->mapToGlobal(QPoint(0, 0)).y());
    QCOMPARE(form.PopupMenu1->pos(), expected);
    form.PopupMenu1->hide();
    QTRY_VERIFY_WITH_TIMEOUT(!form.PopupMenu1->isVisible(), kWaitMs);
    // Showing the menu connected nothing.
    QCOMPARE(bench.links.opens.size(), std::size_t{1});
}

std::unique_ptr<QObject> MakePortConnectionTest() {
    return std::make_unique<PortConnectionTest>();
}

void PortConnectionTest::portNameWithAmpersand_showsExactlyOnTheButton() {
    ShellBench bench;
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    bench.ports = "/dev/R&D";
    form.PollTick();
    // The button draws "&x" as an underlined x; what it shows must be the name.
    const QString text = form.ToolButton6->text();
    QVERIFY2(QKeySequence::mnemonic(text).isEmpty(), qPrintable(text));
    QString shown = text;
    shown.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove(QLatin1Char('&'));
    shown.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    QCOMPARE(shown, QStringLiteral("/dev/R&D Connected OK"));
    QCOMPARE(bench.links.opens, std::vector<std::string>{"/dev/R&D"});
}

void PortConnectionTest::portGoneAtOnce_brailleDaemonPresent_oneHintPerRun() {
    // The adapter's port comes and is gone at the next tick, twice: with the
    // braille service present, one hint; without it, none.
    for (const bool present : {true, false}) {
        ShellBench bench;
        bench.brailleDaemonPresent = present;
        QVERIFY(bench.Open());
        for (int round = 0; round < 2; ++round) {
            bench.ports = "/dev/ttyS0";
            bench.form->PollTick();
            bench.ports = "/dev/ttyS0,/dev/ttyUSB0";
            bench.form->PollTick();
            bench.ports = "/dev/ttyS0";
            bench.form->PollTick();
            QTest::qWait(20); // the hint comes after the tick
        }
        const auto hints =
            std::count_if(bench.messages.begin(), bench.messages.end(), [](const MessageRecord& m) {
                return m.text.contains(QStringLiteral("brltty"));
            });
        QCOMPARE(hints, present ? 1 : 0);
    }
}

} // namespace quillar::test

#include "port_connection_test.moc"
