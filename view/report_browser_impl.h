#pragma once
// The inside of TReportBrowser: its state and the one table of its
// transitions (report_browser_states.cpp). Private to the view.

#include "view/paper_renderer.h"
#include "view/pdf_printing.h"
#include "view/report_browser.h"
#include "view/report_page_filter.h"
#include "view/report_scheme_handler.h"
#include "view/typed_values.h"

#include <QPageLayout>
#include <QPageRanges>
#include <QPointer>
#include <QTemporaryFile>
#include <QUrl>
#include <QVariant>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

namespace quillar {

struct TReportBrowser::Impl {
    // What the view awaits from the engine. The table's rows are taken by
    // stage; each stage but Idle awaits one answer, load or PDF.
    enum class Stage : std::uint8_t {
        Idle,
        Carrying,       // the typed values are read before a load replaces the document
        Loading,        // a page loads whole
        LoadingHead,    // the head of a long page loads; its body is filled in after
        Filling,        // the body of a long page goes into its loaded head
        Updating,       // the document is brought to the next page in place
        Restoring,      // carried typed values go into the page just loaded
        Keeping,        // the typed values are read for CapturePage
        PrintTitling,   // a print: the typed values that name its job are read
        PrintPreparing, // a print: the page is made ready for paper
        PrintRendering, // a print: the engine renders the page to PDF
    };
    enum class Event : std::uint8_t {
        // From the owner.
        PageWaiting,          // a page waits to be shown (ShowPage, or one set aside)
        TaskWaiting,          // a capture or a print waits in tasks
        PrintAsked,           // Print, before its dialog
        PrintCancelled,       // the dialog was cancelled, or the print cannot start
        PrintAccepted,        // the dialog was accepted; the print is in tasks
        TypedValuesForgotten, // ForgetTypedValues
        // From the view itself.
        PageReady,      // a page is shown, or could not be (value: ok): what next
        Free,           // a capture or a print has ended: what next
        MirrorTick,     // time to copy the typed values out
        MirrorAnswered, // the copy (value)
        PrintReported,  // the print's outcome (value: ok, text: failure) goes out
        // From the engine.
        LoadSucceeded,
        LoadFailed,
        Answered,      // the awaited script step's result (value), or none in time
        PdfWritten,    // value: ok, text: the PDF's path
        PrintTimedOut, // the PDF did not come in time
        RendererLost,  // the render process ended
    };
    struct EventData {
        QVariant value;
        QString text;
    };

    // What the engine's document is, against shownSource.
    enum class Document : std::uint8_t {
        None,     // no page has loaded yet
        NoneLost, // none yet, and the render process went meanwhile: a page that
                  // still loads after that is loaded afresh at the next one
        Loaded,   // shownSource is (or is being) loaded; the engine keeps no copy of it
        InSync,   // the engine keeps a copy of shownSource: updates send the change
        Stale,    // the next page is loaded afresh, not brought in place
    };
    // Whether the typed values of the page shown go on to the next page.
    enum class Typing : std::uint8_t {
        Carried,
        Fresh, // ForgetTypedValues since the page came: nothing is read back
    };
    // From the Print click until the print is reported. Pages that come
    // while it is held wait, so that the page of the click is the one printed.
    enum class PrintHold : std::uint8_t {
        None,
        Dialog,    // held: the dialog is open
        Rendering, // held and busy: the print waits in tasks or is rendered
        Reporting, // busy: rendered; lp or the report of the outcome to come
    };
    // A pageShown held back while captures and prints of the page ran.
    enum class Owed : std::uint8_t { Nothing, Shown, Failed };

    // A print on its way: the page is rendered to pdfPath, then, for a
    // printer, handed to lp.
    struct PrintTask {
        QPageLayout layout;
        QPageRanges ranges;
        QString pdfPath;
        std::unique_ptr<QTemporaryFile> temporary; // for lp; none: the user's own PDF file
        TPrintJob job;
        TitleFor titleFor;
    };
    // What is done with the page on screen, in the order asked: its typed
    // values taken (print is empty) or a print.
    struct PageTask {
        CaptureDone captureDone;
        std::unique_ptr<PrintTask> print;
        quint64 generation = 0; // forgetGeneration when it was asked for
    };
    // The newest page not yet handed to the engine.
    struct WaitingPage {
        QByteArray bytes;
        mutable std::optional<QString> text; // bytes read as UTF-8, once asked for
    };

    // The rows that refuse Print, as PrintPage tells them apart.
    static constexpr const char* kPrintRefusedNothingShown = "PrintRefusedNothingShown";
    static constexpr const char* kPrintRefusedBusy = "PrintRefusedBusy";

    using Guard = bool (Impl::*)(const EventData&) const;
    using Action = void (Impl::*)(const EventData&);
    struct Row;

    TReportBrowser* self = nullptr;
    // Declared in the order of their dependencies: members go in reverse, so
    // the page is released before its profile, the profile before its handlers.
    std::unique_ptr<TReportSchemeHandler> schemeHandler;
    std::unique_ptr<TReportRequestFilter> requestFilter;
    std::unique_ptr<QWebEngineProfile> profile;
    std::unique_ptr<TReportPage> page;
    QPointer<QWebEngineView> view;
    std::unique_ptr<TPaperRenderer> paper; // kept tests on paper, off screen

    // Script callbacks check this token: they may arrive after the browser is gone.
    std::shared_ptr<int> alive = std::make_shared<int>(0);

    Stage stage = Stage::Idle;
    Document document = Document::None;
    Typing typing = Typing::Carried;
    PrintHold printHold = PrintHold::None;
    Owed owed = Owed::Nothing;

    TTypedValues typed;
    std::optional<WaitingPage> pending;
    // The source of the document shown (or being brought to): what a new page
    // is compared with to update the document in place.
    QString shownSource;
    QUrl loadingUrl;
    quint64 step = 0;             // identifies the script step that is awaited
    quint64 forgetGeneration = 0; // a capture begun before ForgetTypedValues is dropped
    quint64 shownGeneration = 0;  // forgetGeneration when the page on screen was brought
    quint64 carryGeneration = 0;  // forgetGeneration when Carrying began

    // Snapshots and prints asked for while a page was on its way, done once it is shown.
    std::deque<PageTask> tasks;
    CaptureDone captureDone;             // told what was typed into the page on screen
    std::unique_ptr<PrintTask> printing; // the print being made
    quint64 printSerial = 0;             // tells a late time-out from the print of now

    // Takes event by the first row of the table for the stage whose guards
    // hold: the stage becomes the row's, then its action runs (and may take
    // further events). The row's name, or none when no row takes the event:
    // it is then logged and nothing is done. May destroy the browser.
    const char* Dispatch(Event event, const EventData& data = {});
    static QStringList TransitionNames();

    // Guards.
    bool HeldForPrint(const EventData&) const;
    bool InPlacePossible(const EventData&) const;
    bool TypedValuesCarried(const EventData&) const;
    bool LongPageWithHead(const EventData&) const;
    bool NothingTyped(const EventData&) const;
    bool AnswerTrue(const EventData&) const;
    bool TaskQueued(const EventData&) const;
    bool PageWaitingNotHeld(const EventData&) const;
    bool PageOwed(const EventData&) const;
    bool FrontTaskIsPrint(const EventData&) const;
    bool FrontTaskOfEarlierReport(const EventData&) const;
    bool NothingShown(const EventData&) const;
    bool PrintBusy(const EventData&) const;
    bool ForThisPrint(const EventData&) const;

    // Actions.
    void Nothing(const EventData&);
    void UpdateInPlace(const EventData&);
    void CarryTypedValues(const EventData&);
    void LoadHead(const EventData&);
    void LoadWhole(const EventData&);
    void LoadHeadAfterCarrying(const EventData&);
    void LoadWholeAfterCarrying(const EventData&);
    void FillBody(const EventData&);
    void ShowLoadedPage(const EventData&);
    void RestoreIntoLoadedPage(const EventData&);
    void PageFailed(const EventData&);
    void PageInSync(const EventData&);
    void RestoreIntoFilledPage(const EventData&);
    void LoadWholeAfterFailedFill(const EventData&);
    void LoadAfresh(const EventData&);
    void PageRestored(const EventData&);
    void OweAndStartTask(const EventData&);
    void BringWaitingPage(const EventData&);
    void AnnounceReadyPage(const EventData&);
    void StartTask(const EventData&);
    void DropOwedAndBringWaitingPage(const EventData&);
    void AnnounceOwedPage(const EventData&);
    void Rest(const EventData&);
    void StartPrint(const EventData&);
    void CaptureNothingTyped(const EventData&);
    void StartCapture(const EventData&);
    void EndCapture(const EventData&);
    void HoldForPrint(const EventData&);
    void ReleaseHoldAndGoOn(const EventData&);
    void ReleaseHold(const EventData&);
    void QueuePrint(const EventData&);
    void PreparePaper(const EventData&);
    void RenderPdf(const EventData&);
    void EndRenderedPrint(const EventData&);
    void EndTimedOutPrint(const EventData&);
    void ReportPrint(const EventData&);
    void ForgetTypedValues(const EventData&);
    void MirrorTypedValues(const EventData&);
    void KeepMirroredValues(const EventData&);
    void ShowAgainAfterLoss(const EventData&);
    void NoteLossBeforeAnyPage(const EventData&);
    void LoadHeadAfterLoss(const EventData&);
    void LoadWholeAfterLoss(const EventData&);
    void NoteLossWhileLoading(const EventData&);
    void FailPageAfterLoss(const EventData&);
    void EndCaptureAfterLoss(const EventData&);
    void EndPrintAfterLoss(const EventData&);

    // Helpers of the guards and actions.
    bool Held() const;
    bool Busy() const;
    static PrintHold HoldOf(bool held, bool busy);
    const QString& PendingText() const;
    QString TakePendingText();
    void LoadPending(bool headOnly);
    void MarkShown();
    void Confirm();
    void SetAside();
    void EngineLost();
    void HandOverCapture(CaptureDone done, const QString& typedJson);
    void EndPrint(bool ok, const QString& reason);
    void AnnouncePage(bool ok);
    void AnnouncePrint(bool ok, const QString& failure);
    void RunStep(const QString& script);
};

} // namespace quillar
