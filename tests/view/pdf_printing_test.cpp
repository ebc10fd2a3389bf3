// Printing: the dialog seam, the PDF the engine writes and the hand-over to lp.

#include "view/pdf_printing.h"
#include "view/report_browser.h"
#include "view_test_support.h"

#include <QFile>
#include <QMainWindow>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QWebEngineView>

#include <memory>
#include <stdexcept>
#include <string>

namespace quillar::test {

namespace {

// A line of text as wide as the page: one word at the left edge, one at the right.
const std::string kPage =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
    "<style>body{margin:0} td{padding:0}</style></head><body>"
    "<table style=\"width:100%\"><tr><td>LEFTMARK</td>"
    "<td style=\"text-align:right\">RIGHTMARK</td></tr></table>"
    "<p>Battery Test GOOD BATTERY</p></body></html>";

QPageLayout A4() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Millimeter);
}

QString Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(kWaitMs) || p.exitCode() != 0) {
        qWarning("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

// A stand-in for CUPS' lp: records its arguments and a copy of the file it got.
QString WriteFakeLp(const QTemporaryDir& dir, int exitCode, const QString& stderrText) {
    const QString script = dir.filePath("lp");
    QFile f(script);
    if (!f.open(QIODevice::WriteOnly)) {
        return {};
    }
    f.write(QStringLiteral("#!/bin/sh\n"
                           "printf '%s\\n' \"$@\" > '%1/args'\n"
                           "for last; do :; done\n"
                           "cp \"$last\" '%1/printed.pdf'\n"
                           "printf '%2' >&2\n"
                           "exit %3\n")
                .arg(dir.path(), stderrText, QString::number(exitCode))
                .toUtf8());
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return script;
}

} // namespace

class PdfPrintingTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void printToPdfFile_wholePageWidthInTextLayer();
    void cancelledDialog_printsNothing();
    void nothingShownYet_noDialog();
    void printerSettings_becomeLpOptions();
    void realPrinter_pdfGoesToLp_thenTemporaryFileGoes();
    void lpFailure_reportsLpsMessage();
    void printingFailures_reported();
    void pageAtTheClick_isPrinted_pagesMeanwhileShownAfter();

private:
    // A temporary PDF as the print stage makes one for lp.
    static std::unique_ptr<QTemporaryFile> RenderedPdf(TReportBrowser& browser);
    // Runs lp on pdf as the print stage does and waits for its outcome.
    static QString SubmitAndWait(const TPrintJob& job, std::unique_ptr<QTemporaryFile> pdf);

private:
    std::unique_ptr<QMainWindow> window_;
    TReportBrowser* browser_ = nullptr;
    QByteArray savedPath_;
};

void PdfPrintingTest::init() {
    window_ = std::make_unique<QMainWindow>();
    window_->resize(640, 480);
    browser_ = new TReportBrowser(window_.get());
    browser_->SetHostWindow(window_.get());
    browser_->SetSize(640, 480);
    window_->show();
    savedPath_ = qgetenv("PATH");
}

void PdfPrintingTest::cleanup() {
    TReportBrowser::SetPrintDialogHook({});
    qputenv("PATH", savedPath_);
    delete browser_;
    browser_ = nullptr;
    window_.reset();
}

void PdfPrintingTest::printToPdfFile_wholePageWidthInTextLayer() {
    QCOMPARE(ShowAndWait(*browser_, kPage), 0);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pdf = dir.filePath("report.pdf");
    const QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                             QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    TReportBrowser::SetPrintDialogHook([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageLayout(layout);
        // The engine's own print path used to repeat the pages once per copy.
        printer.setCopyCount(3);
        return true;
    });
    QSignalSpy finished(browser_, &TReportBrowser::printFinished);
    QCOMPARE(browser_->PrintPage(), TReportBrowser::PrintStart::Started);
    // Nothing waited inside PrintPage: the outcome comes from the event loop.
    QCOMPARE(finished.size(), 0);
    QVERIFY(browser_->Printing());
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QVERIFY(!browser_->Printing());
    QVERIFY(QFile::exists(pdf));

    const QString info = Run("pdfinfo", {pdf});
    QCOMPARE(QRegularExpression("Pages:\\s+(\\d+)").match(info).captured(1), QStringLiteral("1"));
    const auto size = QRegularExpression("Page size:\\s+([\\d.]+) x ([\\d.]+) pts").match(info);
    QVERIFY2(size.hasMatch(), qPrintable(info));
    const QSizeF points = layout.fullRectPoints().size();
    QVERIFY(qAbs(size.captured(1).toDouble() - points.width()) < 1);
    QVERIFY(qAbs(size.captured(2).toDouble() - points.height()) < 1);

    // Vector text, and its right end reaches the right margin: nothing cropped.
    const QString words = Run("pdftotext", {"-bbox", pdf, "-"});
    QVERIFY2(words.contains("LEFTMARK") && words.contains("Battery"), qPrintable(words));
    const auto right =
        QRegularExpression("xMin=\"([\\d.]+)\"[^>]*xMax=\"([\\d.]+)\"[^>]*>RIGHTMARK<")
            .match(words);
    QVERIFY2(right.hasMatch(), qPrintable(words));
    const double marginPts = 10 / 25.4 * 72;
    const double rightEnd = right.captured(2).toDouble();
    QVERIFY2(rightEnd > points.width() - marginPts - 15 &&
                 rightEnd <= points.width() - marginPts + 2,
             qPrintable(QString::number(rightEnd)));
}

void PdfPrintingTest::cancelledDialog_printsNothing() {
    QCOMPARE(ShowAndWait(*browser_, kPage), 0);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("cancelled.pdf");
    int asked = 0;
    TReportBrowser::SetPrintDialogHook([&](QPrinter& printer) {
        ++asked;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        return false;
    });
    QCOMPARE(browser_->PrintPage(), TReportBrowser::PrintStart::Cancelled);
    QCOMPARE(asked, 1);
    QVERIFY(!browser_->Printing());
    // The page held for the dialog is let go: a new one shows.
    QCOMPARE(ShowAndWait(*browser_, kPage + "<p id=after>after</p>"), 0);
    QVERIFY(!QFile::exists(pdf));
}

void PdfPrintingTest::nothingShownYet_noDialog() {
    int asked = 0;
    TReportBrowser::SetPrintDialogHook([&](QPrinter&) {
        ++asked;
        return false;
    });
    QCOMPARE(browser_->PrintPage(), TReportBrowser::PrintStart::NothingShown);
    QCOMPARE(asked, 0);
}

void PdfPrintingTest::printerSettings_becomeLpOptions() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setCopyCount(2);
    printer.setCollateCopies(true);
    printer.setPrinterName(QString());
    printer.setPageSize(QPageSize(QPageSize::Letter));
    const TPrintJob job = JobFromPrinter(printer, "2026-12-08 0956 KD520 WX12345");
    QCOMPARE(job.copies, 2);
    QVERIFY(job.collate);
    // Duplex cannot be set without a real printer: one-sided here.
    QCOMPARE(job.media, QStringLiteral("Letter"));
    QCOMPARE(LpArguments(job, "-x.pdf"),
             QStringList({"-n", "2", "-t", "2026-12-08 0956 KD520 WX12345", "-o", "media=Letter",
                          "-o", "collate=true", "-o", "sides=one-sided", "--", "-x.pdf"}));
    QCOMPARE(MediaOf(QPageSize(QPageSize::A4)), QStringLiteral("A4"));
    QCOMPARE(MediaOf(QPageSize(QSizeF(100, 150), QPageSize::Millimeter)),
             QStringLiteral("Custom.100x150mm"));
}

std::unique_ptr<QTemporaryFile> PdfPrintingTest::RenderedPdf(TReportBrowser& browser) {
    auto pdf = std::make_unique<QTemporaryFile>(QDir::tempPath() + "/quillar-test-XXXXXX.pdf");
    if (!pdf->open()) {
        return {};
    }
    pdf->close();
    if (!PrintToPdfAndWait(browser, pdf->fileName(), A4()).isEmpty()) {
        return {};
    }
    return pdf;
}

QString PdfPrintingTest::SubmitAndWait(const TPrintJob& job, std::unique_ptr<QTemporaryFile> pdf) {
    TLpSubmission lp(job, std::move(pdf));
    QSignalSpy finished(&lp, &TLpSubmission::finished);
    lp.Start();
    if (finished.isEmpty() && !finished.wait(kWaitMs)) {
        return QStringLiteral("no answer");
    }
    return finished.at(0).at(0).toString();
}

// Without a CUPS scheduler here, QPrinter cannot name a real printer (it falls
// back to PDF), so the hand-over to lp is driven below the dialog.
void PdfPrintingTest::realPrinter_pdfGoesToLp_thenTemporaryFileGoes() {
    QCOMPARE(ShowAndWait(*browser_, kPage), 0);
    QTemporaryDir bin;
    QVERIFY(!WriteFakeLp(bin, 0, "").isEmpty());
    qputenv("PATH", bin.path().toUtf8() + ":" + savedPath_);
    TPrintJob job;
    job.printerName = "Workshop_Laser";
    job.copies = 2;
    job.collate = true;
    job.sides = "two-sided-long-edge";
    job.media = "A4";
    std::unique_ptr<QTemporaryFile> pdf = RenderedPdf(*browser_);
    QVERIFY(pdf);
    const QString temporary = pdf->fileName();
    QCOMPARE(SubmitAndWait(job, std::move(pdf)), QString());

    QFile argsFile(bin.filePath("args"));
    QVERIFY(argsFile.open(QIODevice::ReadOnly));
    const QStringList args = QString::fromUtf8(argsFile.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(args,
             QStringList({"-d", "Workshop_Laser", "-n", "2", "-o", "media=A4", "-o", "collate=true",
                          "-o", "sides=two-sided-long-edge", "--", temporary}));
    QVERIFY2(!QFile::exists(temporary), qPrintable(temporary));
    QVERIFY(Run("pdftotext", {bin.filePath("printed.pdf"), "-"}).contains("RIGHTMARK"));
}

void PdfPrintingTest::lpFailure_reportsLpsMessage() {
    QCOMPARE(ShowAndWait(*browser_, kPage), 0);
    QTemporaryDir bin;
    QVERIFY(!WriteFakeLp(bin, 1, "lp: The printer or class does not exist.\\n").isEmpty());
    qputenv("PATH", bin.path().toUtf8() + ":" + savedPath_);
    TPrintJob job;
    job.printerName = "Gone";
    std::unique_ptr<QTemporaryFile> pdf = RenderedPdf(*browser_);
    QVERIFY(pdf);
    const QString temporary = pdf->fileName();
    QCOMPARE(SubmitAndWait(job, std::move(pdf)),
             QStringLiteral("Printing failed: lp: The printer or class does not exist."));
    QVERIFY(!QFile::exists(temporary));

    // No lp at all: said so, not a silent success.
    qputenv("PATH", bin.path().toUtf8() + "/none");
    pdf = RenderedPdf(*browser_);
    QVERIFY(pdf);
    const QString message = SubmitAndWait(job, std::move(pdf));
    QVERIFY2(message.startsWith("Printing failed: lp could not be started"), qPrintable(message));
}

void PdfPrintingTest::printingFailures_reported() {
    QCOMPARE(ShowAndWait(*browser_, kPage), 0);
    // A PDF printer without a file.
    TReportBrowser::SetPrintDialogHook([](QPrinter& printer) {
        // In this order: an empty name turns a PDF printer back into the
        // default printer where there is one.
        printer.setOutputFileName(QString());
        printer.setOutputFormat(QPrinter::PdfFormat);
        return true;
    });
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, browser_->PrintPage());
    QVERIFY(!browser_->Printing());

    // The engine cannot write the PDF: reported, not swallowed.
    QTemporaryDir dir;
    QCOMPARE(PrintToPdfAndWait(*browser_, dir.filePath("missing/x.pdf"), A4()),
             QStringLiteral("Printing failed: the engine could not render the page to PDF"));
    // And the view goes on.
    QCOMPARE(ShowAndWait(*browser_, kPage + "<p>next</p>"), 0);
}

// Ticks, a Clear and a new printout arrive while the print dialog is open and
// while the page renders: the sheet is the page of the click, the pages that
// came meanwhile show afterwards, and a second Print is refused until the
// first has ended.
void PdfPrintingTest::pageAtTheClick_isPrinted_pagesMeanwhileShownAfter() {
    const std::string head =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
        "</head><body>";
    QCOMPARE(ShowAndWait(*browser_, head + "FIRSTTEST Healthy 100%<br>"), 0);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("click.pdf");
    TReportBrowser::SetPrintDialogHook([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageLayout(A4());
        // A tick inside the modal dialog, and the engine given time to take it.
        browser_->ShowPage(head + "FIRSTTEST Healthy 100%<br>GROWN<br>");
        QTest::qWait(300);
        return true;
    });
    QSignalSpy finished(browser_, &TReportBrowser::printFinished);
    QSignalSpy shown(browser_, &TReportBrowser::pageShown);
    QCOMPARE(browser_->PrintPage(), TReportBrowser::PrintStart::Started);
    // Clear, then the next battery's printout, before the page is rendered.
    browser_->ForgetTypedValues();
    browser_->ShowPage(head);
    browser_->ShowPage(head + "SECONDTEST Healthy 45%<br>");
    int asked = 0;
    TReportBrowser::SetPrintDialogHook([&](QPrinter&) { return ++asked, false; });
    QCOMPARE(browser_->PrintPage(), TReportBrowser::PrintStart::Busy);
    QCOMPARE(asked, 0);

    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    const QString printed = Run("pdftotext", {pdf, "-"});
    QVERIFY2(printed.contains("FIRSTTEST") && !printed.contains("GROWN") &&
                 !printed.contains("SECONDTEST"),
             qPrintable(printed));
    QTRY_COMPARE_WITH_TIMEOUT(
        RunScript(browser_->View()->page(), "document.body.textContent.trim()").toString(),
        QStringLiteral("SECONDTEST Healthy 45%"), kWaitMs);
    QVERIFY(!shown.isEmpty());
    QCOMPARE(browser_->PrintPage(), TReportBrowser::PrintStart::Cancelled);
    QCOMPARE(asked, 1);
}

std::unique_ptr<QObject> MakePdfPrintingTest() {
    return std::make_unique<PdfPrintingTest>();
}

} // namespace quillar::test

#include "pdf_printing_test.moc"
