// The sheet that reaches the customer: the worked reports of each model fit
// one sheet of A4 and of Letter, and what the user typed is printed whole,
// without the screen's focus ring or caret.

#include "e2e_support.h"

#include "report/builtin_resources.h"
#include "report/report_composer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMainWindow>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>

#include <memory>

namespace quillar::e2e {

namespace {

std::string ReadSample(const char* name) {
    QFile file(QStringLiteral(QUILLAR_SAMPLES_DIR "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// The page the window shows for a whole printout, as the poll cycle builds it.
std::string PageOf(const std::string& model, const std::string& printout, std::int32_t language) {
    PageInputs in;
    in.executableDir = QUILLAR_STATE_IMAGE_DIR "/";
    in.logoDir = QUILLAR_SAMPLES_DIR "/"; // samples/logo.bmp
    in.dateText = "8 December 2026 09:56";
    return ComposeReportPage(printout, 0, {model, language, &BuiltinReportTables()}, in);
}

std::string ReportPage(const std::string& model, const char* sample, std::int32_t language = 0) {
    return PageOf(model, ReadSample(sample), language);
}

QPageLayout Sheet(QPageSize::PageSizeId size) {
    // The margins the print dialog offers.
    return QPageLayout(QPageSize(size), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Millimeter);
}

int PageCount(const QString& pdf) {
    return QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
        .match(Output(QStringLiteral("pdfinfo"), {pdf}))
        .captured(1)
        .toInt();
}

} // namespace

class PaperTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void workedReports_oneSheetOnA4AndLetter();
    void typedValues_printedWhole_withoutFocusRingOrCaret();
    void realQueue_getsThePaperChosen_andTheJobsTitle();
    void kd318Boxes_lineUpInEveryLanguage_missingGaugeShowsNothing();

private:
    bool Show(const std::string& page);
    // Print as the user does, answered as a PDF printer; "" on success.
    QString Print(const QString& pdf, const QPageLayout& layout);

    std::unique_ptr<QMainWindow> window_;
    TReportBrowser* browser_ = nullptr;
};

void PaperTest::init() {
    window_ = std::make_unique<QMainWindow>();
    window_->resize(900, 700);
    browser_ = new TReportBrowser(window_.get());
    // The folders of the pages' images, as PageOf names them.
    browser_->SetImageFolders({QUILLAR_STATE_IMAGE_DIR, QUILLAR_SAMPLES_DIR});
    browser_->SetHostWindow(window_.get());
    browser_->SetSize(900, 700);
    window_->show();
}

void PaperTest::cleanup() {
    TReportBrowser::SetPrintDialogHook({});
    delete browser_;
    browser_ = nullptr;
    window_.reset();
}

bool PaperTest::Show(const std::string& page) {
    QSignalSpy shown(browser_, &TReportBrowser::pageShown);
    browser_->ShowPage(page);
    return shown.wait(kWaitMs) && shown.at(0).at(0).toBool();
}

QString PaperTest::Print(const QString& pdf, const QPageLayout& layout) {
    TReportBrowser::SetPrintDialogHook([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageLayout(layout);
        return true;
    });
    QSignalSpy finished(browser_, &TReportBrowser::printFinished);
    if (browser_->PrintPage() != TReportBrowser::PrintStart::Started)
        return QStringLiteral("not started");
    if (!finished.wait(kWaitMs))
        return QStringLiteral("no end");
    return finished.at(0).at(0).toBool() ? QString() : finished.at(0).at(1).toString();
}

void PaperTest::workedReports_oneSheetOnA4AndLetter() {
    struct Report {
        const char* model;
        const char* sample;
        const char* shows; // a value that must reach the sheet
    };
    const Report reports[] = {{"KD520", "kd520.txt", "505CCA"},
                              {"KD318", "kd318.txt", "455CCA"},
                              {"QM", "qm.txt", "402 CCA"}};
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const Report& report : reports) {
        QVERIFY(Show(ReportPage(report.model, report.sample)));
        for (const auto size : {QPageSize::A4, QPageSize::Letter}) {
            const QString pdf = dir.filePath(QStringLiteral("%1-%2.pdf")
                                                 .arg(QLatin1String(report.model))
                                                 .arg(QPageSize::key(size)));
            const QString where = pdf;
            QCOMPARE(Print(pdf, Sheet(size)), QString());
            QVERIFY2(PageCount(pdf) == 1, qPrintable(where));
            const QString text = Output(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
            QVERIFY2(text.contains(QLatin1String(report.shows)), qPrintable(where + text));
        }
    }
}

void PaperTest::typedValues_printedWhole_withoutFocusRingOrCaret() {
    QVERIFY(Show(ReportPage("KD520", "kd520.txt")));
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    // A store name longer than its box, and the registration typed as a
    // person types, so that the engine draws its focus ring and caret there.
    const QString store = QStringLiteral("Autoservis Novak a synove, pobocka Brno Kralovo Pole "
                                         "Videnska 123 (tyl budovy) CZ");
    QVERIFY(RunScript(browser_->View()->page(),
                      QStringLiteral("document.getElementById('store').value = '%1';"
                                     "document.getElementById('vehicle').focus(); true")
                          .arg(store))
                .toBool());
    QWidget* input = browser_->View()->focusProxy();
    QVERIFY(input != nullptr);
    QTest::keyClicks(input, QStringLiteral("WX 12345"));
    QTRY_COMPARE_WITH_TIMEOUT(RunScript(browser_->View()->page(),
                                        QStringLiteral("document.getElementById('vehicle').value"))
                                  .toString(),
                              QStringLiteral("WX 12345"), kWaitMs);

    // The archive's PDF and the printed sheet, both as laid out for paper.
    QTemporaryDir dir;
    const QString kept = dir.filePath(QStringLiteral("kept.pdf"));
    bool keptOk = false;
    bool keptDone = false;
    browser_->SnapshotPage(kept, [&](const QString&, bool ok) {
        keptOk = ok;
        keptDone = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(keptDone, kWaitMs);
    QVERIFY(keptOk);
    const QString printed = dir.filePath(QStringLiteral("printed.pdf"));
    QCOMPARE(Print(printed, Sheet(QPageSize::A4)), QString());

    for (const QString& pdf : {kept, printed}) {
        QCOMPARE(PageCount(pdf), 1);
        // The whole value, wrapped if it must be, never cut at the box's edge.
        QString text = Output(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        text.remove(QRegularExpression(QStringLiteral("\\s")));
        QString whole = store;
        whole.remove(QRegularExpression(QStringLiteral("\\s")));
        QVERIFY2(text.contains(whole), qPrintable(text));

        // No colour at all on the sheet but the state images' (which sit
        // below the boxes): the focus ring is the engine's orange or blue.
        const QString png = pdf + QStringLiteral("-page");
        QProcess::execute(QStringLiteral("pdftoppm"),
                          {QStringLiteral("-r"), QStringLiteral("100"), QStringLiteral("-png"),
                           QStringLiteral("-singlefile"), pdf, png});
        const QImage sheet(png + QStringLiteral(".png"));
        QVERIFY(!sheet.isNull());
        // The boxes' band: from the top of the sheet to the first gauge.
        int coloured = 0;
        for (int y = 0; y < sheet.height() * 2 / 5; ++y) {
            for (int x = 0; x < sheet.width(); ++x) {
                const QColor c = sheet.pixelColor(x, y);
                if (c.hsvSaturation() > 80 && c.value() > 80)
                    ++coloured;
            }
        }
        QVERIFY2(coloured == 0, qPrintable(pdf + ": " + QString::number(coloured)));
    }
    // The page on screen is as it was: its box, its value, its focus.
    QCOMPARE(RunScript(browser_->View()->page(),
                       QStringLiteral("document.activeElement.id + '|' + "
                                      "document.querySelectorAll('.quillar-print-value').length"))
                 .toString(),
             QStringLiteral("vehicle|0"));
}

// Through CUPS to a cups-pdf queue (scripts/cups-queue makes one): the paper
// chosen in the dialog is the paper of the sheet, the job is named after the
// test, and the archive's PDF is on the paper Print uses by default.
void PaperTest::realQueue_getsThePaperChosen_andTheJobsTitle() {
    const QString queue = QStringLiteral("Quillar_Test_PDF");
    if (!Output(QStringLiteral("lpstat"), {QStringLiteral("-v"), queue}).contains(queue))
        QSKIP("no Quillar_Test_PDF print queue (scripts/cups-queue makes one as root)");
    const QDir out(QDir::homePath() + QStringLiteral("/PDF"));
    QVERIFY(Show(ReportPage("KD520", "kd520.txt")));
    for (const auto size : {QPageSize::A4, QPageSize::Letter}) {
        const QString title = QStringLiteral("Quillar paper %1 %2")
                                  .arg(QPageSize::key(size))
                                  .arg(QDateTime::currentMSecsSinceEpoch());
        TReportBrowser::SetPrintDialogHook([&](QPrinter& printer) {
            printer.setPrinterName(queue);
            printer.setPageLayout(Sheet(size));
            return printer.outputFormat() == QPrinter::NativeFormat;
        });
        QSignalSpy finished(browser_, &TReportBrowser::printFinished);
        QCOMPARE(browser_->PrintPage([&](const QString&) { return title; }),
                 TReportBrowser::PrintStart::Started);
        QVERIFY(finished.wait(kWaitMs));
        QCOMPARE(finished.at(0).at(1).toString(), QString());
        // cups-pdf names the file after the job's title, and writes it a while later.
        const QString pattern =
            QString(title).replace(QLatin1Char(' '), QLatin1Char('_')) + "*.pdf";
        QString sheet;
        QString info;
        QTRY_VERIFY_WITH_TIMEOUT(
            !out.entryList({pattern}).isEmpty() &&
                (info = Output(QStringLiteral("pdfinfo"),
                               {sheet = out.filePath(out.entryList({pattern}).first())}))
                    .contains(QStringLiteral("Page size")),
            kWaitMs);
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))),
                 qPrintable(info));
        const QSizeF points = QPageSize(size).size(QPageSize::Point);
        const auto match =
            QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+)")).match(info);
        QVERIFY2(qAbs(match.captured(1).toDouble() - points.width()) < 2 &&
                     qAbs(match.captured(2).toDouble() - points.height()) < 2,
                 qPrintable(info));
        QFile::remove(sheet);
    }

    // The archive's PDF: the default paper of the default printer.
    QTemporaryDir dir;
    const QString kept = dir.filePath(QStringLiteral("kept.pdf"));
    bool done = false;
    browser_->SnapshotPage(kept, [&](const QString&, bool) { done = true; });
    QTRY_VERIFY_WITH_TIMEOUT(done, kWaitMs);
    // scripts/cups-queue makes the queue the default where there was none.
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    const QSizeF expected =
        printer.isNull() ? QPrinter(QPrinter::HighResolution).pageLayout().fullRectPoints().size()
                         : printer.defaultPageSize().size(QPageSize::Point);
    const auto match = QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+)"))
                           .match(Output(QStringLiteral("pdfinfo"), {kept}));
    QVERIFY(match.hasMatch());
    QVERIFY2(qAbs(match.captured(1).toDouble() - expected.width()) < 2 &&
                 qAbs(match.captured(2).toDouble() - expected.height()) < 2,
             qPrintable(match.captured(0)));
}

void PaperTest::kd318Boxes_lineUpInEveryLanguage_missingGaugeShowsNothing() {
    // Left edges of the four boxes, then right edges of the first three.
    const QString edges = QStringLiteral(
        "['a','b','c','d'].map(function (id) {"
        "  return Math.round(document.getElementById(id).getBoundingClientRect().left); })"
        ".concat(['a','b','c'].map(function (id) {"
        "  return Math.round(document.getElementById(id).getBoundingClientRect().right); }))"
        ".join(' ')");
    for (const std::int32_t language : {0, 4, 5, 6, 7, 8}) {
        QVERIFY(Show(ReportPage("KD318", "kd318.txt", language)));
        QStringList at;
        QTRY_VERIFY_WITH_TIMEOUT(
            (at = RunScript(browser_->View()->page(), edges).toString().split(' ')).size() == 7 &&
                at[0] == at[1] && at[1] == at[2] && at[2] == at[3] && at[4] == at[5] &&
                at[5] == at[6],
            kWaitMs);
        QVERIFY2(at[4].toInt() - at[0].toInt() > 200, qPrintable(at.join(' ')));
    }
    // A KD520 printout without its charge line: that gauge shows nothing,
    // the health gauge shows its image.
    QVERIFY(Show(PageOf("KD520", "Healthy: 100% 505CCA\r\nGOOD BATTERY\r\n", 0)));
    QCOMPARE(RunScript(browser_->View()->page(),
                       QStringLiteral("Array.prototype.map.call(document.images, function (i) {"
                                      "  return getComputedStyle(i).visibility + ':' +"
                                      "         (i.naturalWidth > 0); }).join(' ')"))
                 .toString(),
             QStringLiteral("hidden:false visible:true"));
}

std::unique_ptr<QObject> MakePaperTest() {
    return std::make_unique<PaperTest>();
}

} // namespace quillar::e2e

#include "paper_test.moc"
