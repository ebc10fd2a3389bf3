// From the tester's cable to the page on the screen: quillar-tester sends a
// printout on a pseudo-terminal, the main window finds the port by itself,
// reads the bytes at its ticks and shows the report in the engine's view.

#include "e2e_support.h"
#include "view/report_browser.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>
#include <QWebEnginePage>

#include <QImage>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace quillar::e2e {

namespace {

QString ConnectedCaption(const Workshop& shop) {
    return shop.LinkPath() + QStringLiteral(" Connected OK");
}

QString WithoutBlanks(QString text) {
    return text.remove(QRegularExpression(QStringLiteral("\\s")));
}

QStringList TesterArguments(const Workshop& shop, const QString& model,
                            const QStringList& more = {}) {
    // The tester sees the open before the window has set the line and emptied
    // its input, which would drop the first bytes; a person presses print
    // some time after the cable is in, and so does the tester here.
    return QStringList{QStringLiteral("--model"),     model,
                       QStringLiteral("--link"),      shop.LinkPath(),
                       QStringLiteral("--wait-open"), QStringLiteral("--delay"),
                       QStringLiteral("0.3")} +
           more;
}

// The serial port of another device (a scale, a receipt printer): a
// pseudo-terminal under a link, whose every open of its device is counted.
class OtherDevicePort {
public:
    explicit OtherDevicePort(QString link) : link_(std::move(link)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        const char* device = ptsname(master_);
        if (device == nullptr)
            return;
        device_ = QFile::decodeName(device);
        watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        valid_ = watch_ >= 0 && inotify_add_watch(watch_, device, IN_OPEN) >= 0;
    }
    ~OtherDevicePort() {
        QFile::remove(link_);
        if (watch_ >= 0)
            close(watch_);
        if (master_ >= 0)
            close(master_);
    }
    OtherDevicePort(const OtherDevicePort&) = delete;
    OtherDevicePort& operator=(const OtherDevicePort&) = delete;

    bool IsValid() const { return valid_; }
    const QString& Link() const { return link_; }
    // Plugged in: the link appears.
    bool Plug() const { return QFile::link(device_, link_); }
    // Opens of the device so far, by anyone.
    int Opens() {
        alignas(inotify_event) char events[4096];
        for (;;) {
            const ssize_t n = read(watch_, events, sizeof events);
            if (n <= 0)
                return opens_;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                opens_ += (event->mask & IN_OPEN) != 0 ? 1 : 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    QString link_;
    QString device_;
    int master_ = -1;
    int watch_ = -1;
    int opens_ = 0;
    bool valid_ = false;
};

} // namespace

class ReportFlowTest : public QObject {
    Q_OBJECT

private slots:
    void printoutOfEachModel_data();
    void printoutOfEachModel();
    void printoutOverSeveralTicksGrows();
    void clearWhileBytesArriveRestartsTheReport();
    void languageChoiceTranslatesLaterData();
    void typedValuesSurviveTheNextPrintout();
    void kd520AsDesigned_rowsOnOneLine_oneCentredSheet();
    void unplugAndReplugReconnectsByItself();
    void portNamedWithBlankCommaAndQuote_connectsAndShowsThePrintout();
    void testerUnplugged_otherDevicesPortNeverOpened_replugAndNewPortConnect();
};

void ReportFlowTest::printoutOfEachModel_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("absent");
    QTest::addColumn<int>("inputBoxes");
    QTest::addColumn<QString>("images");

    // The KD520 form: values cut out of the printout, never the printout itself.
    QTest::newRow("KD520") << QStringLiteral("KD520")
                           << QStringList{"Battery Test Report",
                                          "505CCA",
                                          "12.54V",
                                          "13.70V",
                                          "14.70V",
                                          "480 A",
                                          "2000mS",
                                          "10mV",
                                          "90%",
                                          "100%"}
                           << QStringList{"Healthy:", "Select Input", "<!--"} << 2
                           << QStringLiteral("9.png:loaded,10.png:loaded");
    // Without a logo beside the program the KD318 page is the printout as it is.
    QTest::newRow("KD318") << QStringLiteral("KD318")
                           << QStringList{"Battery Test", "455CCA",        "NO-LOADED",
                                          "GOOD BATTERY", "Cranking Time", "94%"}
                           << QStringList{"KD318 - Battery Test Result"} << 0 << QString();
    QTest::newRow("QM") << QStringLiteral("QM")
                        << QStringList{"Autohaus Müller GmbH",
                                       "Großer Weg 4, Köln",
                                       "Battery Type: AGM",
                                       "7.86mΩ",
                                       "GOOD-RECHARGE",
                                       "9.28V",
                                       "Ripple"}
                        << QStringList{"&#"} << 0 << QString();
}

void ReportFlowTest::printoutOfEachModel() {
    QFETCH(QString, model);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, absent);
    QFETCH(int, inputBoxes);
    QFETCH(QString, images);

    Workshop shop(model);
    QVERIFY(shop.IsValid());
    TesterProcess tester(TesterArguments(shop, model, {"--delay", "0.5"}));
    QVERIFY2(tester.Start(), qPrintable(tester.Log()));
    TForm1& form = shop.OpenWindow();

    QTRY_COMPARE_WITH_TIMEOUT(shop.PortCaption(), ConnectedCaption(shop), kWaitMs);
    QVERIFY2(tester.WaitForEvent(QStringLiteral("sent")), qPrintable(tester.Log()));
    const QString text = WaitForBodyText(shop.Page(), [&](const QString& body) {
        for (const QString& value : shown)
            if (!body.contains(value))
                return false;
        return true;
    });
    for (const QString& value : shown)
        QVERIFY2(text.contains(value), qPrintable(value + QStringLiteral(" missing in: ") + text));
    for (const QString& value : absent)
        QVERIFY2(!text.contains(value), qPrintable(value + QStringLiteral(" shown in: ") + text));
    QCOMPARE(
        RunScript(shop.Page(), QStringLiteral("document.querySelectorAll('input').length")).toInt(),
        inputBoxes);

    // The state images come from the program's folder and really load.
    const QString imageScript = QStringLiteral(
        "Array.prototype.map.call(document.images, function (i) {"
        "  return i.src.split('/').pop() + ':' +"
        "         (i.complete && i.naturalWidth > 0 ? 'loaded' : 'broken'); }).join(',')");
    QTRY_COMPARE_WITH_TIMEOUT(RunScript(shop.Page(), imageScript).toString(), images, kWaitMs);
    QVERIFY(!form.ReceivedText().empty());
}

void ReportFlowTest::printoutOverSeveralTicksGrows() {
    Workshop shop(QStringLiteral("QM"));
    QVERIFY(shop.IsValid());
    TesterProcess tester(TesterArguments(shop, QStringLiteral("QM"), {"--pace", "80"}));
    QVERIFY2(tester.Start(), qPrintable(tester.Log()));
    shop.OpenWindow();

    // The page as the user sees it, read again and again while the bytes come.
    QStringList seen;
    const QString complete = WaitForBodyText(shop.Page(), [&](const QString& body) {
        if (seen.isEmpty() || seen.last() != body)
            seen << body;
        return body.contains(QStringLiteral("CHARGING")) && body.contains(QStringLiteral("Ripple"));
    });
    QVERIFY2(tester.WaitForEvent(QStringLiteral("sent")), qPrintable(tester.Log()));
    QVERIFY2(complete.contains(QStringLiteral("Autohaus Müller GmbH")), qPrintable(complete));
    QVERIFY2(complete.contains(QStringLiteral("CHARGING")), qPrintable(complete));

    // At 80 bytes/s the 360 bytes take four and a half seconds: many ticks, each
    // showing everything received so far and a little more than before. How
    // many of those pages this loop catches depends on how fast the engine
    // answers each read, so only two in-between pages are required.
    const QString whole = WithoutBlanks(complete);
    QStringList partial;
    for (const QString& text : seen) {
        const QString bare = WithoutBlanks(text);
        if (bare.isEmpty() || bare == whole)
            continue;
        QVERIFY2(
            whole.startsWith(bare),
            qPrintable(QStringLiteral("a page that is no beginning of the printout: ") + text));
        if (!partial.isEmpty())
            QVERIFY2(bare.size() >= partial.last().size(),
                     qPrintable(QStringLiteral("the report shrank: ") + text));
        partial << bare;
    }
    qInfo("in-between pages caught: %d", static_cast<int>(partial.size()));
    QVERIFY2(partial.size() >= 2,
             qPrintable(QStringLiteral("pages shown: ") + seen.join(QStringLiteral(" || "))));
    QVERIFY(partial.first().size() < partial.last().size());
}

void ReportFlowTest::clearWhileBytesArriveRestartsTheReport() {
    Workshop shop(QStringLiteral("QM"));
    QVERIFY(shop.IsValid());
    TesterProcess tester(TesterArguments(shop, QStringLiteral("QM"), {"--pace", "60"}));
    QVERIFY2(tester.Start(), qPrintable(tester.Log()));
    TForm1& form = shop.OpenWindow();

    // The first line shows after a fraction of the 6 s the printout takes.
    const QString early = WaitForBodyText(
        shop.Page(), [](const QString& body) { return body.contains(QStringLiteral("Autohaus")); });
    QVERIFY2(early.contains(QStringLiteral("Autohaus")), qPrintable(early));
    QVERIFY2(tester.CountEvents(QStringLiteral("sent")) == 0,
             "the printout was complete before Clear; the machine is too slow for this case");
    form.ToolButton4->click();
    QVERIFY(form.ReceivedText().empty());

    QVERIFY2(tester.WaitForEvent(QStringLiteral("sent")), qPrintable(tester.Log()));
    const QString after = WaitForBodyText(
        shop.Page(), [](const QString& body) { return body.contains(QStringLiteral("CHARGING")); });
    QVERIFY2(after.contains(QStringLiteral("CHARGING")), qPrintable(after));
    QVERIFY2(after.contains(QStringLiteral("Ripple")), qPrintable(after));
    QVERIFY2(!after.contains(QStringLiteral("Autohaus")), qPrintable(after));
    QVERIFY(form.ReceivedText().find("Autohaus") == std::string::npos);
}

void ReportFlowTest::languageChoiceTranslatesLaterData() {
    Workshop shop(QStringLiteral("QM"));
    QVERIFY(shop.IsValid());
    TesterProcess tester(TesterArguments(shop, QStringLiteral("QM"),
                                         {"--pace", "0", "--repeat", "2", "--interval", "10"}));
    QVERIFY2(tester.Start(), qPrintable(tester.Log()));
    TForm1& form = shop.OpenWindow();

    const QString english = WaitForBodyText(
        shop.Page(), [](const QString& body) { return body.contains(QStringLiteral("CHARGING")); });
    QVERIFY2(english.contains(QStringLiteral("Battery Test")), qPrintable(english));
    QVERIFY2(!english.contains(QStringLiteral("電池測試")), qPrintable(english));
    const std::size_t firstBatch = form.ReceivedText().size();

    QAction* language1 = form.PopupMenu2->actions().at(1);
    language1->trigger();
    QCOMPARE(form.CurrentLanguage(), 1);
    QCOMPARE(form.ToolButton8->text(), language1->text());
    QVERIFY2(shop.IniText().contains(QStringLiteral("Language=1")), qPrintable(shop.IniText()));
    QVERIFY2(form.ReceivedText().size() == firstBatch,
             "the second printout came before the language change; the machine is too slow");

    QVERIFY2(tester.WaitForEvent(QStringLiteral("sent"), 2), qPrintable(tester.Log()));
    const QString translated = WaitForBodyText(
        shop.Page(), [](const QString& body) { return body.contains(QStringLiteral("電池測試")); });
    QVERIFY2(translated.contains(QStringLiteral("電池測試")), qPrintable(translated));
    QVERIFY(form.ReceivedText().size() > firstBatch);
}

void ReportFlowTest::typedValuesSurviveTheNextPrintout() {
    Workshop shop(QStringLiteral("KD520"));
    QVERIFY(shop.IsValid());
    TesterProcess tester(TesterArguments(shop, QStringLiteral("KD520"),
                                         {"--pace", "0", "--repeat", "2", "--interval", "10"}));
    QVERIFY2(tester.Start(), qPrintable(tester.Log()));
    TForm1& form = shop.OpenWindow();

    const QString first = WaitForBodyText(
        shop.Page(), [](const QString& body) { return body.contains(QStringLiteral("13.70V")); });
    QVERIFY2(first.contains(QStringLiteral("505CCA")), qPrintable(first));
    const std::size_t firstBatch = form.ReceivedText().size();

    // The store name typed into the first box; the mark tells this document
    // apart: the next printout updates it in place instead of loading a new one.
    const QVariant boxes = RunScript(
        shop.Page(),
        QStringLiteral(
            "var b = document.querySelectorAll('input');"
            "b[0].value = 'Garage Nord'; b[0].dispatchEvent(new Event('input', {bubbles: true}));"
            "window.quillarFirstDocument = true; b.length"));
    QCOMPARE(boxes.toInt(), 2);

    QVERIFY2(tester.WaitForEvent(QStringLiteral("sent"), 2), qPrintable(tester.Log()));
    QTRY_VERIFY_WITH_TIMEOUT(form.ReceivedText().size() == 2 * firstBatch, kWaitMs);
    const QString state =
        QStringLiteral("var b = document.querySelectorAll('input');"
                       "(window.quillarFirstDocument ? 'same document' : 'new document') + '|' +"
                       "(b.length > 1 ? b[0].value + '|' + b[1].value : 'no boxes')");
    QTRY_COMPARE_WITH_TIMEOUT(RunScript(shop.Page(), state).toString(),
                              QStringLiteral("same document|Garage Nord|"), kWaitMs);
}

void ReportFlowTest::kd520AsDesigned_rowsOnOneLine_oneCentredSheet() {
    Workshop shop(QStringLiteral("KD520"));
    QVERIFY(shop.IsValid());
    TesterProcess tester(TesterArguments(shop, QStringLiteral("KD520"), {"--pace", "0"}));
    QVERIFY2(tester.Start(), qPrintable(tester.Log()));
    TForm1& form = shop.OpenWindow();
    WaitForBodyText(shop.Page(),
                    [](const QString& body) { return body.contains(QStringLiteral("Ripple")); });

    // Every "label……value" row is one line high, at the window's first size,
    // and typed text is in the page's own face and size.
    const QString layout = QStringLiteral(
        "var rows = Array.prototype.filter.call(document.querySelectorAll('div'), function (d) {"
        "  return d.children.length === 0 && d.textContent.indexOf('\u2026') >= 0; });"
        "var wrapped = rows.filter(function (d) {"
        "  var r = document.createRange(); r.selectNodeContents(d);"
        "  var tops = {}; Array.prototype.forEach.call(r.getClientRects(), function (c) {"
        "    tops[Math.round(c.top)] = true; });"
        "  return Object.keys(tops).length !== 1; }).map(function (d) { return d.textContent; });"
        "var box = getComputedStyle(document.querySelector('input')),"
        "    body = getComputedStyle(document.body);"
        "[rows.length, wrapped.join(' / '), box.fontFamily === body.fontFamily,"
        " box.fontSize === body.fontSize].join('|')");
    QCOMPARE(RunScript(shop.Page(), layout).toString(), QStringLiteral("10||true|true"));

    // Printed with the dialog's defaults: one A4 sheet, the report in the
    // middle, its text clear of the edges that printers cannot reach.
    QTemporaryDir out;
    QVERIFY(out.isValid());
    const QString pdf = out.filePath(QStringLiteral("kd520.pdf"));
    TReportBrowser::SetPrintDialogHook([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setOutputFileName(pdf);
        return true;
    });
    const auto noHook = qScopeGuard([] { TReportBrowser::SetPrintDialogHook({}); });
    QSignalSpy printed(form.ReportView(), &TReportBrowser::printFinished);
    form.ToolButton2Click();
    // The window goes on while the page is printed; the button says so.
    QVERIFY(!form.ToolButton2->isEnabled());
    QVERIFY(printed.wait(kWaitMs));
    QVERIFY(form.ToolButton2->isEnabled());
    auto run = [](const QString& program, const QStringList& args) {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(kWaitMs);
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    QVERIFY(run("pdfinfo", {pdf}).contains(QRegularExpression("Pages:\\s+1\\n")));
    // The bounding boxes of the words, in points (A4: 595 x 842).
    double left = 1e9, right = 0, top = 1e9, bottom = 0;
    const QRegularExpression word(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">");
    for (const auto& m : word.globalMatch(run("pdftotext", {"-bbox", pdf, "-"}))) {
        left = std::min(left, m.captured(1).toDouble());
        top = std::min(top, m.captured(2).toDouble());
        right = std::max(right, m.captured(3).toDouble());
        bottom = std::max(bottom, m.captured(4).toDouble());
    }
    const double mm8 = 8 / 25.4 * 72;
    QVERIFY2(left >= mm8 && top >= mm8 && right <= 595 - mm8 && bottom <= 842 - mm8,
             qPrintable(
                 QStringLiteral("text box %1 %2 %3 %4").arg(left).arg(top).arg(right).arg(bottom)));
    // Centred: the ink (the frame included) has equal margins left and right.
    run("pdftoppm", {"-r", "72", "-gray", "-singlefile", pdf, out.filePath("sheet")});
    const QImage sheet(out.filePath(QStringLiteral("sheet.pgm")));
    QVERIFY(!sheet.isNull());
    int inkLeft = sheet.width(), inkRight = 0;
    for (int y = 0; y < sheet.height(); ++y) {
        for (int x = 0; x < sheet.width(); ++x) {
            if (qGray(sheet.pixel(x, y)) < 128) {
                inkLeft = std::min(inkLeft, x);
                inkRight = std::max(inkRight, x);
            }
        }
    }
    QVERIFY2(std::abs(inkLeft - (sheet.width() - 1 - inkRight)) <= 6, // about 2 mm
             qPrintable(QStringLiteral("ink from %1 to %2 of %3 points")
                            .arg(inkLeft)
                            .arg(inkRight)
                            .arg(sheet.width())));
}

void ReportFlowTest::unplugAndReplugReconnectsByItself() {
    Workshop shop(QStringLiteral("QM"));
    QVERIFY(shop.IsValid());
    // The first printout one second after the open; the cable is pulled at 10 s
    // and put back 2 s later; the second printout follows the new open.
    TesterProcess tester(
        TesterArguments(shop, QStringLiteral("QM"),
                        {"--pace", "0", "--delay", "1", "--repeat", "2", "--interval", "300",
                         "--unplug-after", "10", "--replug-after", "2"}));
    QVERIFY2(tester.Start(), qPrintable(tester.Log()));
    TForm1& form = shop.OpenWindow();

    QTRY_COMPARE_WITH_TIMEOUT(shop.PortCaption(), ConnectedCaption(shop), kWaitMs);
    const QString first = WaitForBodyText(
        shop.Page(), [](const QString& body) { return body.contains(QStringLiteral("CHARGING")); });
    QCOMPARE(Occurrences(first, QStringLiteral("GOOD-RECHARGE")), 1);
    QVERIFY2(tester.CountEvents(QStringLiteral("unplugged")) == 0,
             "the cable was pulled before the first printout showed; the machine is too slow");

    QVERIFY2(tester.WaitForEvent(QStringLiteral("unplugged")), qPrintable(tester.Log()));
    // Without the tester the connection is let go, and no other port is taken.
    QTRY_COMPARE_WITH_TIMEOUT(shop.PortCaption(), QStringLiteral("Select COM Port ?"), kWaitMs);

    QVERIFY2(tester.WaitForEvent(QStringLiteral("replugged")), qPrintable(tester.Log()));
    QTRY_COMPARE_WITH_TIMEOUT(shop.PortCaption(), ConnectedCaption(shop), kWaitMs);
    QVERIFY2(tester.WaitForEvent(QStringLiteral("sent"), 2), qPrintable(tester.Log()));
    const QString both = WaitForBodyText(shop.Page(), [](const QString& body) {
        return Occurrences(body, QStringLiteral("GOOD-RECHARGE")) == 2;
    });
    QVERIFY2(Occurrences(both, QStringLiteral("GOOD-RECHARGE")) == 2, qPrintable(both));
    QCOMPARE(form.SerialPort()->PortActive(), true);
}

void ReportFlowTest::portNamedWithBlankCommaAndQuote_connectsAndShowsThePrintout() {
    Workshop shop(QStringLiteral("QM"));
    QVERIFY(shop.IsValid());
    // The tester's link under a name that discovery must quote in its list.
    const QString link =
        QFileInfo(shop.IniPath()).dir().filePath(QStringLiteral("tester \"A\", bay 2"));
    qputenv("QUILLAR_EXTRA_PORTS", QFile::encodeName(link));
    TesterProcess tester({QStringLiteral("--model"), QStringLiteral("QM"), QStringLiteral("--link"),
                          link, QStringLiteral("--wait-open"), QStringLiteral("--delay"),
                          QStringLiteral("0.3"), QStringLiteral("--pace"), QStringLiteral("0")});
    QVERIFY2(tester.Start(), qPrintable(tester.Log()));
    TForm1& form = shop.OpenWindow();

    QTRY_COMPARE_WITH_TIMEOUT(shop.PortCaption(), link + QStringLiteral(" Connected OK"), kWaitMs);
    // The menu's top item: the last port of the list, its name whole.
    QCOMPARE(form.PopupMenu1->actions().first()->text(), link);
    QVERIFY2(tester.WaitForEvent(QStringLiteral("sent")), qPrintable(tester.Log()));
    const QString body = WaitForBodyText(shop.Page(), [](const QString& text) {
        return text.contains(QStringLiteral("CHARGING")) && text.contains(QStringLiteral("Ripple"));
    });
    QVERIFY2(body.contains(QStringLiteral("Ripple")), qPrintable(body));
    QCOMPARE(QString::fromStdString(form.SerialPort()->DeviceName()), link);
}

void ReportFlowTest::testerUnplugged_otherDevicesPortNeverOpened_replugAndNewPortConnect() {
    Workshop shop(QStringLiteral("QM"));
    QVERIFY(shop.IsValid());
    const QDir folder = QFileInfo(shop.IniPath()).dir();
    OtherDevicePort scale(folder.filePath(QStringLiteral("scale")));
    OtherDevicePort adapter(folder.filePath(QStringLiteral("second adapter")));
    QVERIFY(scale.IsValid() && adapter.IsValid());
    QVERIFY(scale.Plug());
    // Listed in this order: the scale, the tester, the second adapter once it is in.
    qputenv("QUILLAR_EXTRA_PORTS",
            QFile::encodeName(scale.Link() + ":" + shop.LinkPath() + ":" + adapter.Link()));
    // No printout: the tester is pulled at 8 s and put back 3 s later.
    TesterProcess tester({QStringLiteral("--model"), QStringLiteral("QM"), QStringLiteral("--link"),
                          shop.LinkPath(), QStringLiteral("--wait-open"), QStringLiteral("--delay"),
                          QStringLiteral("1000"), QStringLiteral("--unplug-after"),
                          QStringLiteral("8"), QStringLiteral("--replug-after"),
                          QStringLiteral("3")});
    QVERIFY2(tester.Start(), qPrintable(tester.Log()));
    TForm1& form = shop.OpenWindow();

    QTRY_COMPARE_WITH_TIMEOUT(shop.PortCaption(), ConnectedCaption(shop), kWaitMs);
    QVERIFY2(tester.CountEvents(QStringLiteral("unplugged")) == 0,
             "the cable was pulled before the window connected; the machine is too slow");
    QVERIFY2(tester.WaitForEvent(QStringLiteral("unplugged")), qPrintable(tester.Log()));
    QTRY_COMPARE_WITH_TIMEOUT(shop.PortCaption(), QStringLiteral("Select COM Port ?"), kWaitMs);
    QVERIFY(form.SerialPort() == nullptr);

    // A dozen ticks without the tester, then it is back and connects again.
    QVERIFY2(tester.WaitForEvent(QStringLiteral("replugged")), qPrintable(tester.Log()));
    QTRY_COMPARE_WITH_TIMEOUT(shop.PortCaption(), ConnectedCaption(shop), kWaitMs);
    QCOMPARE(scale.Opens(), 0);

    // A port that appears later still connects by itself; its open is seen,
    // so the scale's silence means what it says.
    QVERIFY(adapter.Plug());
    QTRY_COMPARE_WITH_TIMEOUT(shop.PortCaption(), adapter.Link() + QStringLiteral(" Connected OK"),
                              kWaitMs);
    QVERIFY(adapter.Opens() >= 1);
    QCOMPARE(scale.Opens(), 0);
}

std::unique_ptr<QObject> MakeReportFlowTest() {
    return std::make_unique<ReportFlowTest>();
}

} // namespace quillar::e2e

#include "report_flow_test.moc"
