#pragma once
// Printing a report page: the engine renders it to vector PDF (a stage of
// TReportBrowser), and a real printer gets that PDF through CUPS' lp, which
// runs while the window goes on.

#include <QObject>
#include <QPageLayout>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

class QPrinter;
class QTemporaryFile;
class QTimer;

namespace quillar {

// What lp is told besides the file.
struct TPrintJob {
    QString printerName;
    int copies = 1;
    bool collate = false;
    QString sides; // "one-sided", "two-sided-long-edge", ... or empty for the printer's default
    QString media; // "A4", "Letter", "Custom.100x150mm", ... or empty for the queue's default
    QString title; // the job's name in the queue; a PDF printer names its file after it
};

// The arguments for lp: [-d printer] -n copies [-t title] [-o ...] -- file.
QStringList LpArguments(const TPrintJob& job, const QString& pdfPath);

// The CUPS media name of a paper size: its own name for a known size,
// "Custom.WxHmm" otherwise.
QString MediaOf(const QPageSize& size);

// The lp settings of a printer chosen in the print dialog, under title.
TPrintJob JobFromPrinter(const QPrinter& printer, const QString& title);

// The sheet's area inside its margins in CSS pixels (96 per inch).
QSizeF PrintableCssPixels(const QPageLayout& layout);

// One PDF handed to CUPS with lp (found on PATH). Nothing waits for it:
// finished tells the outcome, an empty text for success or the reason
// ("Printing failed: lp: ..."). The PDF, a temporary file, goes afterwards.
class TLpSubmission : public QObject {
    Q_OBJECT
public:
    TLpSubmission(TPrintJob job, std::unique_ptr<QTemporaryFile> pdf, QObject* parent = nullptr);
    // lp is given a few seconds to finish, so that the job is not cut off
    // when the window closes right after Print.
    ~TLpSubmission() override;
    void Start();

signals:
    void finished(const QString& failure);

private:
    void End(const QString& failure);

    TPrintJob job_;
    std::unique_ptr<QTemporaryFile> pdf_;
    QProcess lp_;
    QTimer* timeout_;
    bool ended_ = false;
};

} // namespace quillar
