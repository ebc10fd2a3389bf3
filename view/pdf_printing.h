#pragma once
// Printing a report page: the engine renders it to vector PDF, and a real
// printer gets that PDF through CUPS.

#include <QPageLayout>
#include <QPageRanges>
#include <QString>

class QPrinter;
class QWebEnginePage;

namespace quillar {

// Renders page to a PDF file at path with layout and ranges, waiting in a
// local event loop. Throws std::runtime_error when the engine fails, does not
// finish in time or the page goes away meanwhile.
void RenderPageToPdf(QWebEnginePage& page, const QString& path, const QPageLayout& layout,
                     const QPageRanges& ranges);

// What lp is told besides the file.
struct TPrintJob {
    QString printerName;
    int copies = 1;
    bool collate = false;
    QString sides; // "one-sided", "two-sided-long-edge", ... or empty for the printer's default
};

// The arguments for lp: -d printer -n copies [-o ...] file.
QStringList LpArguments(const TPrintJob& job, const QString& pdfPath);

// Hands the PDF to CUPS with lp (found on PATH) and waits for it. Throws
// std::runtime_error with lp's own message when it fails.
void SendPdfToPrinter(const TPrintJob& job, const QString& pdfPath);

// The lp settings of a printer chosen in the print dialog.
TPrintJob JobFromPrinter(const QPrinter& printer);

// Renders page to a temporary PDF, hands it to lp and removes it again, also
// when lp fails. Throws std::runtime_error as the two steps do.
void PrintPageToPrinter(QWebEnginePage& page, const TPrintJob& job, const QPageLayout& layout,
                        const QPageRanges& ranges);

// Prints page with the settings of printer: to its PDF output file when the
// printer writes PDF, else through a temporary PDF handed to lp.
void PrintPageWith(QWebEnginePage& page, QPrinter& printer);

} // namespace quillar
