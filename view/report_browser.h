#pragma once
// TReportBrowser: the HTML view that shows and prints the report page.

#include <QObject>
#include <QString>

#include <functional>
#include <string>

class QPrinter;
class QWebEngineView;
class QWidget;

namespace quillar {

class TReportBrowser : public QObject {
    Q_OBJECT
public:
    // Creates the engine's view; throws std::runtime_error when it cannot.
    explicit TReportBrowser(QWidget* owner);
    ~TReportBrowser() override;

    // Makes the view a child of host at (0, 0); the host's layout does not manage it.
    void SetHostWindow(QWidget* host);
    void SetSize(int width, int height);
    // Replaces the page shown by page (8-bit bytes, declaring their own charset).
    // 0 = handed to the engine, 1 = could not be handed over.
    int ShowPage(const std::string& page);
    // System print dialog, then the whole page. True when the page went to the
    // printer, false when the dialog was cancelled or nothing is shown. Throws
    // std::runtime_error when the engine or the printing system fails.
    bool PrintPage();
    // Keeps what the page shows now: done gets the values typed into it (the
    // JSON text of TTypedValues::CaptureScript, empty when the engine does not
    // answer) and whether the page went to a PDF file at pdfPath, laid out as
    // printing lays it out. A page given to ShowPage meanwhile waits until the
    // PDF is made. done runs later from the event loop, and never once the
    // browser is gone.
    using SnapshotDone = std::function<void(const QString& typedJson, bool pdfOk)>;
    void SnapshotPage(const QString& pdfPath, SnapshotDone done);
    // Typed input values and the scroll position are carried from page to page
    // of the same report; after this call the next page starts fresh.
    void ForgetTypedValues();

    QWebEngineView* View() const;

    // Registers the URL scheme that report pages are served under. main() calls
    // it before constructing QApplication: the engine ignores schemes
    // registered after it has started. Calling it again does nothing.
    static void RegisterUrlScheme();

    // Test seam: when set, replaces the modal print dialog. It gets the printer
    // to configure and answers whether the user accepted.
    using PrintDialogHook = std::function<bool(QPrinter& printer)>;
    static void SetPrintDialogHook(PrintDialogHook hook);

signals:
    // A page given to ShowPage has finished loading (typed values restored).
    void pageShown(bool ok);
    // The user chose Print in the page's context menu; the owner prints as its
    // own Print command does (PrintPage after its checks).
    void printRequested();

private:
    struct Impl;
    Impl* impl_;
};

} // namespace quillar
