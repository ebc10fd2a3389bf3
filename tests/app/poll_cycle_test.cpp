// The poll tick: following changes of the port list, reading and showing what
// the tester sent, a lost connection, a failing port list and typed values.

#include "shell_test_support.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>

namespace quillar::test {

namespace {

QString InputValue(TForm1& form, const QString& id) {
    return RunScript(form.ReportView()->View()->page(),
                     QStringLiteral("(function(){var e=document.getElementById('%1');"
                                    "return e ? e.value : null;})()")
                         .arg(id))
        .toString();
}

// The port menu's checked items: the port the button says is connected.
QStringList CheckedPorts(TForm1& form) {
    QStringList checked;
    for (const QAction* item : form.PopupMenu1->actions())
        if (item->isChecked())
            checked << item->text();
    return checked;
}

} // namespace

class PollCycleTest : public QObject {
    Q_OBJECT
private slots:
    void listChanges_openTheLastNewPort_andNoOtherByItself();
    void testerUnplugged_otherPortsStayClosed_replugAndNewPortsConnect();
    void manualPorts_neverOpenedByThemselves_stillByHand();
    void listChangeTick_readsNothing_theNextTickReadsWithoutWaiting();
    void autoConnecting_isSetOnlyAroundThePollsOwnClick();
    void received_isTranslatedFixedUpAndShown_inArrivalOrder();
    void readWithLineError_addsNothing();
    void unknownModel_addsNothing_andShowsAnEmptyPage();
    void portNamesWithBlankCommaOrQuote_listedWhole_openedAndRead();
    void connectedPortVanishes_released_andReconnectedOnItsReturn();
    void deviceGone_released_andReconnectedToTheSamePort();
    void failingPortList_reportedOncePerRunOfFailures();
    void typedValues_surviveNewBytes_untilClear();
};

void PollCycleTest::listChanges_openTheLastNewPort_andNoOtherByItself() {
    ShellBench bench;
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;

    struct Step {
        const char* list;
        QStringList menu;    // top to bottom
        const char* opened;  // by the poll, or none
        const char* caption; // afterwards
    };
    const char* none = "Select COM Port ?";
    const Step steps[] = {
        {"COM1,COM3", {"COM3", "COM1"}, "COM3", "COM3 Connected OK"}, // both new: the last one
        {"COM1", {"COM1"}, nullptr, none}, // COM3 unplugged: COM1 left alone
        {"COM1,COM5", {"COM5", "COM1"}, "COM5", "COM5 Connected OK"},  // one new port
        {"COM1,COM5", {"COM5", "COM1"}, nullptr, "COM5 Connected OK"}, // unchanged
        {"COM5", {"COM5"}, nullptr, "COM5 Connected OK"},    // another port went: kept as it is
        {"COM10", {"COM10"}, "COM10", "COM10 Connected OK"}, // a new one in place of the old
        {"COM1,COM10", {"COM10", "COM1"}, "COM1", "COM1 Connected OK"}, // COM1 is new: whole names
        {"COM2,COM20,COM3", {"COM3", "COM20", "COM2"}, "COM3", "COM3 Connected OK"}, // the last new
    };
    std::vector<std::string> opens;
    for (const Step& step : steps) {
        bench.ports = step.list;
        form.PollTick();
        const QString where = QStringLiteral("list %1").arg(QString::fromLatin1(step.list));
        QVERIFY2(MenuTexts(form.PopupMenu1) == step.menu, qPrintable(where));
        QVERIFY2(form.KnownPortList() == step.list, qPrintable(where));
        if (step.opened != nullptr)
            opens.push_back(step.opened);
        QVERIFY2(bench.links.opens == opens, qPrintable(where));
        QVERIFY2(form.ToolButton6->text() == QString::fromLatin1(step.caption), qPrintable(where));
        QVERIFY2(bench.links.LiveLinks() == (step.caption == none ? 0 : 1), qPrintable(where));
    }
    // The items of the rebuilt menus are the menu's only actions, each a port name.
    for (QAction* item : form.PopupMenu1->actions())
        QCOMPARE(item->data().toString(), item->text());
    QVERIFY(bench.messages.empty());
    QVERIFY(bench.links.callsAfterRelease.empty());
}

void PollCycleTest::testerUnplugged_otherPortsStayClosed_replugAndNewPortsConnect() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=QM\r\n");
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    bench.ports = "/dev/ttyS0,/dev/ttyUSB0";
    form.PollTick();
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("/dev/ttyUSB0 Connected OK"));

    // Unplugged: released, the built-in port left alone, tick after tick.
    bench.ports = "/dev/ttyS0";
    for (int tick = 0; tick < 8; ++tick)
        form.PollTick();
    QCOMPARE(bench.links.opens, std::vector<std::string>{"/dev/ttyUSB0"});
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("Select COM Port ?"));
    QVERIFY(form.SerialPort() == nullptr);
    QCOMPARE(bench.links.LiveLinks(), 0);
    QCOMPARE(MenuTexts(form.PopupMenu1), QStringList{"/dev/ttyS0"});
    QCOMPARE(CheckedPorts(form), QStringList());

    // Plugged in again, then a second adapter: each connects by itself.
    bench.ports = "/dev/ttyS0,/dev/ttyUSB0";
    form.PollTick();
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("/dev/ttyUSB0 Connected OK"));
    QVERIFY(Deliver(bench, "VOLTS 12.6V\r\n"));
    bench.ports = "/dev/ttyS0,/dev/ttyUSB0,/dev/ttyUSB1";
    form.PollTick();
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("/dev/ttyUSB1 Connected OK"));
    TSerialLink* link = form.SerialPort();

    // A port other than the connected one goes: the connection stays as it is.
    bench.ports = "/dev/ttyS0,/dev/ttyUSB1";
    form.PollTick();
    QCOMPARE(form.SerialPort(), link);
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("/dev/ttyUSB1 Connected OK"));
    QCOMPARE(CheckedPorts(form), QStringList{"/dev/ttyUSB1"});
    QVERIFY(Deliver(bench, "CCA 600\r\n"));
    QVERIFY(Q(form.ReceivedText()).contains(QStringLiteral("12.6V")));
    QVERIFY(Q(form.ReceivedText()).contains(QStringLiteral("CCA 600")));

    // By hand, the built-in port is still there to choose.
    form.PopupMenu1->actions().last()->trigger();
    QCOMPARE(bench.links.opens, (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB0",
                                                          "/dev/ttyUSB1", "/dev/ttyS0"}));
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("/dev/ttyS0 Connected OK"));
    QVERIFY(bench.messages.empty());
    QVERIFY(bench.links.callsAfterRelease.empty());
}

void PollCycleTest::manualPorts_neverOpenedByThemselves_stillByHand() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nManualPorts=/dev/ttyS0, \"/dev/my scale\"\r\n");
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;

    // At start-up and when they appear, the named ports are listed, not opened.
    bench.ports = "/dev/ttyS0";
    form.PollTick();
    bench.ports = "/dev/ttyS0,\"/dev/my scale\"";
    form.PollTick();
    QCOMPARE(MenuTexts(form.PopupMenu1), (QStringList{"/dev/my scale", "/dev/ttyS0"}));
    QVERIFY(bench.links.opens.empty());
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("Select COM Port ?"));

    // Any other port that appears still connects by itself.
    bench.ports = "/dev/ttyS0,/dev/ttyS01,\"/dev/my scale\"";
    form.PollTick();
    QCOMPARE(bench.links.opens, std::vector<std::string>{"/dev/ttyS01"});

    form.PopupMenu1->actions().last()->trigger(); // the user chooses /dev/ttyS0
    QCOMPARE(bench.links.opens, (std::vector<std::string>{"/dev/ttyS01", "/dev/ttyS0"}));
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("/dev/ttyS0 Connected OK"));
    QVERIFY(bench.messages.empty());
}

void PollCycleTest::listChangeTick_readsNothing_theNextTickReadsWithoutWaiting() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=QM\r\n");
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    bench.links.incoming.push_back({"VOLTS 12.6V\r\n"});

    bench.ports = "COM1";
    form.PollTick();
    QVERIFY(form.SerialPort() != nullptr && form.SerialPort()->PortActive());
    QVERIFY(bench.links.readTimeouts.empty());
    QCOMPARE(bench.links.incoming.size(), std::size_t{1});
    QCOMPARE(Q(form.ReceivedText()), QString());

    QVERIFY(WaitForPage(form, [&] { form.PollTick(); }));
    QCOMPARE(bench.links.readTimeouts, std::vector<std::int32_t>{0});
    QCOMPARE(Q(form.ReceivedText()), QStringLiteral("VOLTS 12.6V<br>"));
    QCOMPARE(bench.links.opens.size(), std::size_t{1}); // no new connection

    // An idle tick reads, finds nothing and changes nothing.
    form.PollTick();
    QCOMPARE(bench.links.readTimeouts.size(), std::size_t{2});
    QCOMPARE(Q(form.ReceivedText()), QStringLiteral("VOLTS 12.6V<br>"));
}

void PollCycleTest::autoConnecting_isSetOnlyAroundThePollsOwnClick() {
    ShellBench bench;
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    std::vector<bool> duringOpen;
    bench.links.onOpen = [&](const std::string&) { duringOpen.push_back(form.AutoConnecting()); };

    bench.ports = "COM1,COM2";
    form.PollTick();
    QVERIFY(!form.AutoConnecting());
    form.PopupMenu1->actions().last()->trigger(); // the user chooses COM1
    QVERIFY(!form.AutoConnecting());

    QCOMPARE(bench.links.opens, (std::vector<std::string>{"COM2", "COM1"}));
    QCOMPARE(duringOpen, (std::vector<bool>{true, false}));
}

void PollCycleTest::received_isTranslatedFixedUpAndShown_inArrivalOrder() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=QM\r\n");
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    bench.ports = "COM1";
    form.PollTick();

    QVERIFY(Deliver(bench, "Cranking Time 2000mS\r\n"));
    const QString first = Q(form.ReceivedText());
    QVERIFY2(first.contains(QStringLiteral("Cranking Time:")), qPrintable(first));
    QVERIFY2(first.endsWith(QStringLiteral("2000mS<br>")), qPrintable(first));
    QVERIFY(!first.contains(QLatin1Char('\r')) && !first.contains(QLatin1Char('\n')));
    QTRY_VERIFY_WITH_TIMEOUT(BodyHtml(form).contains(QStringLiteral("Cranking Time:")), kWaitMs);

    // The next part of the printout is added after the first; the label of a
    // line split across two reads is still fixed up.
    QVERIFY(Deliver(bench, "Cranking Vol"));
    QVERIFY(Deliver(bench, "tage 10.2V\r\n"));
    const QString all = Q(form.ReceivedText());
    QVERIFY2(all.startsWith(first), qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("Cranking Voltage:")), qPrintable(all));
    QVERIFY(all.indexOf(QStringLiteral("2000mS")) < all.indexOf(QStringLiteral("10.2V")));
    // The fix-up runs over the whole text every time, but never doubles a colon.
    QVERIFY2(!all.contains(QStringLiteral("::")), qPrintable(all));
    const QString body = BodyHtml(form);
    QVERIFY2(body.contains(QStringLiteral("Cranking Voltage:")) && body.contains("2000mS"),
             qPrintable(body));
}

void PollCycleTest::readWithLineError_addsNothing() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=QM\r\n");
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    bench.ports = "COM1";
    form.PollTick();

    bench.links.incoming.push_back({"LOADED 11.9V\r\n", 9999});
    form.PollTick();
    QCOMPARE(bench.links.readTimeouts.size(), std::size_t{1});
    QCOMPARE(Q(form.ReceivedText()), QString());

    QVERIFY(Deliver(bench, "Ripple 20mV\r\n"));
    const QString text = Q(form.ReceivedText());
    QVERIFY2(text.contains(QStringLiteral("20mV")), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("11.9V")), qPrintable(text));
    QVERIFY(bench.messages.empty());
}

void PollCycleTest::unknownModel_addsNothing_andShowsAnEmptyPage() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=kd520\r\n"); // models are compared exactly
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    bench.ports = "COM1";
    form.PollTick();

    QVERIFY(Deliver(bench, "BATTERY TEST\r\nCCA 600\r\n"));
    QCOMPARE(bench.links.readTimeouts.size(), std::size_t{1});
    QCOMPARE(Q(form.ReceivedText()), QString());
    QCOMPARE(BodyHtml(form), QString());
    QVERIFY(bench.messages.empty());
}

void PollCycleTest::portNamesWithBlankCommaOrQuote_listedWhole_openedAndRead() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=QM\r\n");
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    const std::string spaced = "/tmp/x/my tester";
    const std::string odd = "bay 2, \"left\"";

    // Discovery quotes the names that need it; the menu and the open get them whole.
    bench.ports = "COM1,\"/tmp/x/my tester\"";
    form.PollTick();
    QCOMPARE(MenuTexts(form.PopupMenu1), (QStringList{Q(spaced), "COM1"}));
    QCOMPARE(bench.links.opens, std::vector<std::string>{spaced});
    QCOMPARE(form.ToolButton6->text(), Q(spaced) + QStringLiteral(" Connected OK"));
    // Still listed, so read and not released.
    QVERIFY(Deliver(bench, "VOLTS 12.6V\r\n"));
    QVERIFY(Q(form.ReceivedText()).contains(QStringLiteral("12.6V")));

    const std::string withOdd = "COM1,\"/tmp/x/my tester\",\"bay 2, \"\"left\"\"\"";
    bench.ports = withOdd;
    form.PollTick();
    QCOMPARE(MenuTexts(form.PopupMenu1), (QStringList{Q(odd), Q(spaced), "COM1"}));
    QCOMPARE(bench.links.opens, (std::vector<std::string>{spaced, odd}));
    QCOMPARE(form.ToolButton6->text(), Q(odd) + QStringLiteral(" Connected OK"));
    QVERIFY(Deliver(bench, "CCA 600\r\n"));
    QVERIFY(Q(form.ReceivedText()).contains(QStringLiteral("CCA 600")));

    // Its device hangs up while listed: released, and the known list, written
    // by the same rule, no longer holds it; so the next tick opens it again.
    bench.links.incoming.push_back({"", 5, true});
    form.PollTick();
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("Select COM Port ?"));
    QCOMPARE(Q(form.KnownPortList()), QStringLiteral("COM1,\"/tmp/x/my tester\""));
    form.PollTick();
    QCOMPARE(bench.links.opens, (std::vector<std::string>{spaced, odd, odd}));
    QCOMPARE(form.ToolButton6->text(), Q(odd) + QStringLiteral(" Connected OK"));
    QCOMPARE(form.KnownPortList(), withOdd);
    QVERIFY(bench.messages.empty());
    QVERIFY(bench.links.callsAfterRelease.empty());
}

void PollCycleTest::connectedPortVanishes_released_andReconnectedOnItsReturn() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=QM\r\n");
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    bench.ports = "COM1";
    form.PollTick();
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("COM1 Connected OK"));

    bench.ports = "";
    form.PollTick();
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("Select COM Port ?"));
    QVERIFY(form.SerialPort() == nullptr);
    QCOMPARE(bench.links.LiveLinks(), 0);
    form.PollTick(); // still gone: nothing more happens
    QCOMPARE(bench.links.opens.size(), std::size_t{1});

    bench.ports = "COM1";
    form.PollTick();
    QCOMPARE(bench.links.opens, (std::vector<std::string>{"COM1", "COM1"}));
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("COM1 Connected OK"));
    QVERIFY(form.SerialPort() != nullptr && form.SerialPort()->PortActive());
    QCOMPARE(bench.links.lineCalls.size(), std::size_t{2});

    // And the new connection is read.
    QVERIFY(Deliver(bench, "CCA 600\r\n"));
    QVERIFY(Q(form.ReceivedText()).contains(QStringLiteral("CCA 600")));
    QVERIFY(bench.messages.empty());
    QVERIFY(bench.links.callsAfterRelease.empty());
}

void PollCycleTest::deviceGone_released_andReconnectedToTheSamePort() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=QM\r\n");
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    bench.ports = "COM1,COM3";
    form.PollTick();
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("COM3 Connected OK"));
    QVERIFY(Deliver(bench, "VOLTS 12.6V\r\n"));

    // The adapter hangs up but its port is still listed.
    bench.links.incoming.push_back({"", 5, true});
    form.PollTick();
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("Select COM Port ?"));
    QVERIFY(form.SerialPort() == nullptr);
    QCOMPARE(bench.links.LiveLinks(), 0);
    // What was received stays for the report.
    QVERIFY(Q(form.ReceivedText()).contains(QStringLiteral("12.6V")));

    form.PollTick();
    QCOMPARE(bench.links.opens, (std::vector<std::string>{"COM3", "COM3"}));
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("COM3 Connected OK"));
    QCOMPARE(MenuTexts(form.PopupMenu1), (QStringList{"COM3", "COM1"}));
    QCOMPARE(Q(form.KnownPortList()), QStringLiteral("COM1,COM3"));
    QVERIFY(bench.messages.empty());
    QVERIFY(bench.links.callsAfterRelease.empty());
}

void PollCycleTest::failingPortList_reportedOncePerRunOfFailures() {
    ShellBench bench;
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    bench.listerFails = true;
    for (int i = 0; i < 12; ++i)
        form.PollTick();
    QCOMPARE(bench.messages.size(), std::size_t{1});
    QCOMPARE(bench.messages[0].kind, MessageKind::Error);
    QCOMPARE(bench.messages[0].caption, QStringLiteral("Quillar"));
    QCOMPARE(bench.messages[0].text, Q(bench.listerError));
    QVERIFY(bench.links.opens.empty());

    // The list is readable again, then fails anew: a new run, a new message.
    bench.listerFails = false;
    bench.ports = "COM1";
    form.PollTick();
    QCOMPARE(bench.links.opens.size(), std::size_t{1});
    bench.listerFails = true;
    for (int i = 0; i < 5; ++i)
        form.PollTick();
    QCOMPARE(bench.messages.size(), std::size_t{2});
    QCOMPARE(bench.messages[1].text, Q(bench.listerError));
    // The connection made in between is untouched by the failures.
    QCOMPARE(form.ToolButton6->text(), QStringLiteral("COM1 Connected OK"));
}

void PollCycleTest::typedValues_surviveNewBytes_untilClear() {
    ShellBench bench;
    bench.WriteIni("[Config]\r\nModel=KD318\r\n");
    {
        QFile logo(QString::fromStdString(bench.exeDir + "logo.bmp"));
        QVERIFY(logo.open(QIODevice::WriteOnly));
        logo.write("BM", 2);
    }
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    bench.ports = "COM1";
    form.PollTick();

    QVERIFY(Deliver(bench, "BATTERY TEST\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(InputValue(form, QStringLiteral("a")), QString(), kWaitMs);
    RunScript(form.ReportView()->View()->page(),
              QStringLiteral("document.getElementById('a').value = 'ACME'; true"));
    QCOMPARE(InputValue(form, QStringLiteral("a")), QStringLiteral("ACME"));

    QVERIFY(Deliver(bench, "CCA 600\r\n"));
    QVERIFY(BodyHtml(form).contains(QStringLiteral("CCA 600")));
    QCOMPARE(InputValue(form, QStringLiteral("a")), QStringLiteral("ACME"));

    QVERIFY(WaitForPage(form, [&] { form.ToolButton4->click(); }));
    QVERIFY(Deliver(bench, "BATTERY TEST\r\n"));
    QVERIFY(BodyHtml(form).contains(QStringLiteral("BATTERY TEST")));
    QCOMPARE(InputValue(form, QStringLiteral("a")), QString());
}

std::unique_ptr<QObject> MakePollCycleTest() {
    return std::make_unique<PollCycleTest>();
}

} // namespace quillar::test

#include "poll_cycle_test.moc"
