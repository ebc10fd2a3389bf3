// Printing: the dialog seam, the PDF the engine writes and the hand-over to lp.

#include "view/pdf_printing.h"
#include "view/report_browser.h"
#include "view_test_support.h"

#include <QFile>
#include <QMainWindow>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
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
    void lpFailure_raisesLpsMessage();
    void printingFailures_raise();

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
    browser_->PrintPage();
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
    browser_->PrintPage();
    QCOMPARE(asked, 1);
    QVERIFY(!QFile::exists(pdf));
}

void PdfPrintingTest::nothingShownYet_noDialog() {
    int asked = 0;
    TReportBrowser::SetPrintDialogHook([&](QPrinter&) {
        ++asked;
        return false;
    });
    browser_->PrintPage();
    QCOMPARE(asked, 0);
}

void PdfPrintingTest::printerSettings_becomeLpOptions() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setCopyCount(2);
    printer.setCollateCopies(true);
    printer.setPrinterName(QString());
    const TPrintJob job = JobFromPrinter(printer);
    QCOMPARE(job.copies, 2);
    QVERIFY(job.collate);
    // Duplex cannot be set without a real printer; lp's -o sides follows it there.
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
    PrintPageToPrinter(*browser_->View()->page(), job, A4(), {});

    QFile argsFile(bin.filePath("args"));
    QVERIFY(argsFile.open(QIODevice::ReadOnly));
    QStringList args = QString::fromUtf8(argsFile.readAll()).split('\n', Qt::SkipEmptyParts);
    QVERIFY(args.size() > 2);
    const QString temporary = args.takeLast();
    QCOMPARE(args, QStringList({"-d", "Workshop_Laser", "-n", "2", "-o", "collate=true", "-o",
                                "sides=two-sided-long-edge", "--"}));
    QVERIFY2(!QFile::exists(temporary), qPrintable(temporary));
    QVERIFY(Run("pdftotext", {bin.filePath("printed.pdf"), "-"}).contains("RIGHTMARK"));
}

void PdfPrintingTest::lpFailure_raisesLpsMessage() {
    QCOMPARE(ShowAndWait(*browser_, kPage), 0);
    QTemporaryDir bin;
    QVERIFY(!WriteFakeLp(bin, 1, "lp: The printer or class does not exist.\\n").isEmpty());
    qputenv("PATH", bin.path().toUtf8() + ":" + savedPath_);
    TPrintJob job;
    job.printerName = "Gone";
    QString message;
    try {
        PrintPageToPrinter(*browser_->View()->page(), job, A4(), {});
    } catch (const std::runtime_error& e) {
        message = QString::fromUtf8(e.what());
    }
    QCOMPARE(message, QStringLiteral("Printing failed: lp: The printer or class does not exist."));
    QFile argsFile(bin.filePath("args"));
    QVERIFY(argsFile.open(QIODevice::ReadOnly));
    const QString temporary =
        QString::fromUtf8(argsFile.readAll()).split('\n', Qt::SkipEmptyParts).last();
    QVERIFY(!QFile::exists(temporary));

    // No lp at all: said so, not a silent success.
    qputenv("PATH", bin.path().toUtf8() + "/none");
    message.clear();
    try {
        PrintPageToPrinter(*browser_->View()->page(), job, A4(), {});
    } catch (const std::runtime_error& e) {
        message = QString::fromUtf8(e.what());
    }
    QVERIFY2(message.startsWith("Printing failed: lp could not be started"), qPrintable(message));
}

void PdfPrintingTest::printingFailures_raise() {
    QCOMPARE(ShowAndWait(*browser_, kPage), 0);
    // A PDF printer without a file.
    TReportBrowser::SetPrintDialogHook([](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString());
        return true;
    });
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, browser_->PrintPage());

    // The engine refuses to render (an invalid page layout): reported, not swallowed.
    QTemporaryDir dir;
    QString message;
    try {
        RenderPageToPdf(*browser_->View()->page(), dir.filePath("x.pdf"), QPageLayout(), {});
    } catch (const std::runtime_error& e) {
        message = QString::fromUtf8(e.what());
    }
    QCOMPARE(message,
             QStringLiteral("Printing failed: the engine could not render the page to PDF"));
}

std::unique_ptr<QObject> MakePdfPrintingTest() {
    return std::make_unique<PdfPrintingTest>();
}

} // namespace quillar::test

#include "pdf_printing_test.moc"
