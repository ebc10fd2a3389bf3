#include "view/pdf_printing.h"

#include <QDir>
#include <QEventLoop>
#include <QPointer>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryFile>
#include <QTimer>
#include <QWebEnginePage>

#include <stdexcept>

namespace quillar {

namespace {

// Generous: a long report renders in seconds, but a busy machine may be slow.
constexpr int kRenderTimeoutMs = 120'000;
constexpr int kLpTimeoutMs = 60'000;

[[noreturn]] void Fail(const QString& what) {
    throw std::runtime_error(("Printing failed: " + what).toStdString());
}

QString SidesOf(QPrinter::DuplexMode duplex) {
    switch (duplex) {
    case QPrinter::DuplexNone:
        return QStringLiteral("one-sided");
    case QPrinter::DuplexLongSide:
        return QStringLiteral("two-sided-long-edge");
    case QPrinter::DuplexShortSide:
        return QStringLiteral("two-sided-short-edge");
    case QPrinter::DuplexAuto:
        break;
    }
    return {};
}

} // namespace

void RenderPageToPdf(QWebEnginePage& page, const QString& path, const QPageLayout& layout,
                     const QPageRanges& ranges) {
    QPointer<QWebEnginePage> guard(&page);
    QEventLoop loop;
    bool finished = false;
    bool success = false;
    QObject::connect(&page, &QWebEnginePage::pdfPrintingFinished, &loop,
                     [&](const QString& filePath, bool ok) {
                         if (filePath != path) {
                             return;
                         }
                         finished = true;
                         success = ok;
                         loop.quit();
                     });
    QObject::connect(&page, &QObject::destroyed, &loop, &QEventLoop::quit);
    QTimer::singleShot(kRenderTimeoutMs, &loop, &QEventLoop::quit);
    page.printToPdf(path, layout, ranges);
    loop.exec();
    if (guard == nullptr) {
        Fail(QStringLiteral("the view was closed while the page was being rendered"));
    }
    if (!finished) {
        Fail(QStringLiteral("the engine did not finish rendering the page to PDF"));
    }
    if (!success) {
        Fail(QStringLiteral("the engine could not render the page to PDF"));
    }
}

QStringList LpArguments(const TPrintJob& job, const QString& pdfPath) {
    QStringList args;
    if (!job.printerName.isEmpty()) {
        args << QStringLiteral("-d") << job.printerName;
    }
    args << QStringLiteral("-n") << QString::number(job.copies < 1 ? 1 : job.copies);
    if (job.copies > 1 && job.collate) {
        args << QStringLiteral("-o") << QStringLiteral("collate=true");
    }
    if (!job.sides.isEmpty()) {
        args << QStringLiteral("-o") << QStringLiteral("sides=") + job.sides;
    }
    // "--" keeps a file name that starts with "-" from being read as an option.
    args << QStringLiteral("--") << pdfPath;
    return args;
}

void SendPdfToPrinter(const TPrintJob& job, const QString& pdfPath) {
    QProcess lp;
    lp.start(QStringLiteral("lp"), LpArguments(job, pdfPath));
    if (!lp.waitForStarted(kLpTimeoutMs)) {
        Fail(QStringLiteral("lp could not be started: ") + lp.errorString());
    }
    if (!lp.waitForFinished(kLpTimeoutMs)) {
        lp.kill();
        lp.waitForFinished();
        Fail(QStringLiteral("lp did not finish"));
    }
    if (lp.exitStatus() == QProcess::NormalExit && lp.exitCode() == 0) {
        return;
    }
    QString message = QString::fromLocal8Bit(lp.readAllStandardError()).trimmed();
    if (message.isEmpty()) {
        message = lp.exitStatus() == QProcess::NormalExit
                      ? QStringLiteral("exit code ") + QString::number(lp.exitCode())
                      : QStringLiteral("it crashed");
    }
    // lp names itself in its messages ("lp: ..."); add the name only when it does not.
    if (!message.startsWith(QStringLiteral("lp:"))) {
        message = QStringLiteral("lp: ") + message;
    }
    Fail(message);
}

TPrintJob JobFromPrinter(const QPrinter& printer) {
    TPrintJob job;
    job.printerName = printer.printerName();
    job.copies = printer.copyCount();
    job.collate = printer.collateCopies();
    job.sides = SidesOf(printer.duplex());
    return job;
}

void PrintPageToPrinter(QWebEnginePage& page, const TPrintJob& job, const QPageLayout& layout,
                        const QPageRanges& ranges) {
    QTemporaryFile pdf(QDir::tempPath() + QStringLiteral("/quillar-print-XXXXXX.pdf"));
    if (!pdf.open()) {
        Fail(QStringLiteral("cannot create a temporary file: ") + pdf.errorString());
    }
    pdf.close();
    RenderPageToPdf(page, pdf.fileName(), layout, ranges);
    SendPdfToPrinter(job, pdf.fileName());
    // The temporary file goes when pdf goes out of scope, on success and failure alike.
}

void PrintPageWith(QWebEnginePage& page, QPrinter& printer) {
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        if (printer.outputFileName().isEmpty()) {
            Fail(QStringLiteral("no file was chosen for the PDF"));
        }
        RenderPageToPdf(page, printer.outputFileName(), printer.pageLayout(), printer.pageRanges());
        return;
    }
    // Copies, collation and sides go to CUPS: the PDF holds each page once.
    PrintPageToPrinter(page, JobFromPrinter(printer), printer.pageLayout(), printer.pageRanges());
}

} // namespace quillar
