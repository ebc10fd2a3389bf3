#pragma once
// TReportBrowser: the HTML view that shows and prints the report page.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <string_view>

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
    // Print: the system print dialog for the page on screen now. From the
    // click until the page is rendered, pages given to ShowPage are held (and
    // shown afterwards), so the sheet shows what the user saw at the click.
    // Nothing waits here but the dialog: the page is rendered and handed to
    // the printer as the event loop goes on, and printFinished tells the end.
    // Throws std::runtime_error for a PDF printer without a file name.
    enum class PrintStart {
        NothingShown, // no page yet: no dialog
        Busy,         // the previous print has not finished: no dialog
        Cancelled,    // the dialog was cancelled
        Started,      // on its way; printFinished follows
    };
    // titleFor names the printer's job from the values typed into the page
    // (the JSON text of TTypedValues::CaptureScript); none: no title.
    using TitleFor = std::function<QString(const QString& typedJson)>;
    PrintStart PrintPage(TitleFor titleFor = {});
    // From a started print until its printFinished.
    bool Printing() const;
    // The page on screen now: done gets the values typed into it (the JSON
    // text of TTypedValues::CaptureScript; the last ones seen when the engine
    // does not answer) and its source, before any page given to ShowPage
    // after this call is shown. done runs later from the event loop, and
    // never once the browser is gone.
    using CaptureDone = std::function<void(const QString& typedJson, const QByteArray& page)>;
    void CapturePage(CaptureDone done);
    // Puts page (as given to ShowPage) with typedJson's values in its boxes
    // on the paper that Print uses by default, as a PDF at pdfPath, laid out
    // as printing lays it out, off screen: what the view shows meanwhile does
    // not matter. done tells whether the PDF was made; it runs later from the
    // event loop, and never once the browser is gone.
    void RenderToPdf(std::string_view page, const QString& typedJson, const QString& pdfPath,
                     std::function<void(bool ok)> done);
    // CapturePage, then RenderToPdf of that page (none for an empty pdfPath).
    using SnapshotDone = std::function<void(const QString& typedJson, bool pdfOk)>;
    void SnapshotPage(const QString& pdfPath, SnapshotDone done);
    // Typed input values and the scroll position are carried from page to page
    // of the same report, and back into a page whose render process went;
    // after this call the next page starts fresh.
    void ForgetTypedValues();

    // The folders of the page's own images (the logo's and the state
    // images'): a page loads by file:// URL only the regular files directly
    // in them, and nothing until they are set. The rest is refused unopened.
    void SetImageFolders(const QStringList& folders);

    QWebEngineView* View() const;

    // Registers the URL scheme that report pages are served under. main() calls
    // it before constructing QApplication: the engine ignores schemes
    // registered after it has started. Calling it again does nothing.
    static void RegisterUrlScheme();

    // Test seam: when set, replaces the modal print dialog. It gets the printer
    // to configure and answers whether the user accepted.
    using PrintDialogHook = std::function<bool(QPrinter& printer)>;
    static void SetPrintDialogHook(PrintDialogHook hook);

    // Test seams of the view's table of transitions (report_browser_states.cpp):
    // the name of each transition, in the table's order, and a hook told the
    // name of each transition as a view takes it, after its stage has changed
    // and before its action runs. The hook must not call the view.
    static QStringList TransitionNames();
    using TransitionHook =
        std::function<void(const TReportBrowser& view, const QString& transition)>;
    static void SetTransitionHook(TransitionHook hook);
    // Test seam: how long a script step and the rendering of a print may take
    // before the view goes on without them, in ms; 0 or less restores the
    // default (10 s, 120 s).
    static void SetTimeouts(int scriptMs, int printRenderMs);

signals:
    // A page given to ShowPage has finished loading (typed values restored).
    void pageShown(bool ok);
    // A print that started has ended: ok, or the reason it failed
    // ("Printing failed: ..."). Always after PrintPage has returned.
    void printFinished(bool ok, const QString& failure);
    // The user chose Print in the page's context menu; the owner prints as its
    // own Print command does (PrintPage after its checks).
    void printRequested();

public:
    // The view's state and its table of transitions: named here, defined by
    // the view alone (report_browser_impl.h).
    struct Impl;

private:
    Impl* impl_;
};

} // namespace quillar
