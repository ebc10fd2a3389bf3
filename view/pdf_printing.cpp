#include "view/pdf_printing.h"

#include <QPrinter>
#include <QTemporaryFile>
#include <QTimer>

namespace quillar {

namespace {

// lp only queues the job; a busy machine may still take a while.
constexpr int kLpTimeoutMs = 60'000;
// At close: long enough for lp to queue the job, short enough not to hold the exit.
constexpr int kLpAtCloseMs = 5'000;

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

QStringList LpArguments(const TPrintJob& job, const QString& pdfPath) {
    QStringList args;
    if (!job.printerName.isEmpty()) {
        args << QStringLiteral("-d") << job.printerName;
    }
    args << QStringLiteral("-n") << QString::number(job.copies < 1 ? 1 : job.copies);
    if (!job.title.isEmpty()) {
        args << QStringLiteral("-t") << job.title;
    }
    if (!job.media.isEmpty()) {
        args << QStringLiteral("-o") << QStringLiteral("media=") + job.media;
    }
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

QString MediaOf(const QPageSize& size) {
    if (!size.isValid()) {
        return {};
    }
    if (size.id() != QPageSize::Custom) {
        // "A4", "Letter", "Legal", "A5", ...: the names CUPS knows.
        return QPageSize::key(size.id());
    }
    const QSizeF mm = size.size(QPageSize::Millimeter);
    return QStringLiteral("Custom.%1x%2mm").arg(qRound(mm.width())).arg(qRound(mm.height()));
}

TPrintJob JobFromPrinter(const QPrinter& printer, const QString& title) {
    TPrintJob job;
    job.printerName = printer.printerName();
    job.copies = printer.copyCount();
    job.collate = printer.collateCopies();
    job.sides = SidesOf(printer.duplex());
    // The sheet is portrait or landscape in the PDF itself; CUPS turns it
    // onto the paper named here.
    job.media = MediaOf(printer.pageLayout().pageSize());
    job.title = title;
    return job;
}

QSizeF PrintableCssPixels(const QPageLayout& layout) {
    return layout.paintRectPoints().size() * (96.0 / 72.0);
}

TLpSubmission::TLpSubmission(TPrintJob job, std::unique_ptr<QTemporaryFile> pdf, QObject* parent)
    : QObject(parent), job_(std::move(job)), pdf_(std::move(pdf)), timeout_(new QTimer(this)) {
    timeout_->setSingleShot(true);
    connect(timeout_, &QTimer::timeout, this, [this] {
        lp_.kill();
        End(QStringLiteral("Printing failed: lp did not finish"));
    });
    connect(&lp_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            End(QStringLiteral("Printing failed: lp could not be started: ") + lp_.errorString());
        }
    });
    connect(&lp_, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        if (status == QProcess::NormalExit && exitCode == 0) {
            End({});
            return;
        }
        QString message = QString::fromLocal8Bit(lp_.readAllStandardError()).trimmed();
        if (message.isEmpty()) {
            message = status == QProcess::NormalExit
                          ? QStringLiteral("exit code ") + QString::number(exitCode)
                          : QStringLiteral("it crashed");
        }
        // lp names itself in its messages ("lp: ..."); add the name only when it does not.
        if (!message.startsWith(QStringLiteral("lp:"))) {
            message = QStringLiteral("lp: ") + message;
        }
        End(QStringLiteral("Printing failed: ") + message);
    });
}

TLpSubmission::~TLpSubmission() {
    if (lp_.state() != QProcess::NotRunning && !lp_.waitForFinished(kLpAtCloseMs)) {
        lp_.kill();
        lp_.waitForFinished(kLpAtCloseMs);
    }
}

void TLpSubmission::Start() {
    timeout_->start(kLpTimeoutMs);
    lp_.start(QStringLiteral("lp"), LpArguments(job_, pdf_->fileName()));
}

void TLpSubmission::End(const QString& failure) {
    if (ended_) {
        return;
    }
    ended_ = true;
    timeout_->stop();
    pdf_.reset(); // the temporary PDF goes, whatever lp did
    emit finished(failure);
}

} // namespace quillar
