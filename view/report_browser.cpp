#include "view/report_browser.h"

#include "view/page_bytes.h"
#include "view/page_update.h"
#include "view/paper_renderer.h"
#include "view/pdf_printing.h"
#include "view/report_context_menu.h"
#include "view/report_engine.h"
#include "view/report_page_filter.h"
#include "view/report_scheme_handler.h"
#include "view/typed_values.h"
#include "view/view_key_filter.h"
#include "view/view_log.h"
#include "view/view_style.h"

#include <QDir>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>
#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

#include <deque>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>

namespace quillar {

namespace {

// A script of the application's world normally answers at once; this bound
// only keeps a hung render process from holding back every later page.
constexpr int kScriptTimeoutMs = 10'000;

// A long report is laid out this many lines at a time, near the viewport only
// (see page_update.cpp).
constexpr int kLinesPerPart = 100;

// A page longer than this is loaded as its head alone and then filled in
// place: loading it whole would lay all of it out at once, some hundred MB
// per MB of text, before the parts take over.
constexpr qsizetype kLongPageBytes = 256 * 1024;

// Printing to a PDF file takes seconds for a long report; this bound only
// keeps a hung render process from holding back every later page.
constexpr int kPrintRenderTimeoutMs = 120'000;

// How often typed values are copied out of the render process.
constexpr int kMirrorTypedValuesMs = 1'000;

// The printer's settings before the dialog, and the layout of a kept page.
void PreparePrinter(QPrinter& printer) {
    // The paper loaded in the printer: QPrinter starts on the locale's paper
    // (A4 here), whatever the default printer holds.
    const QPrinterInfo printerInfo(printer);
    if (!printerInfo.isNull() && printerInfo.defaultPageSize().isValid())
        printer.setPageSize(printerInfo.defaultPageSize());
    // Most printers cannot print closer to the edge than a few millimetres;
    // the dialog shows these margins and the user may change them.
    printer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
}

TReportBrowser::PrintDialogHook& DialogHook() {
    static TReportBrowser::PrintDialogHook hook;
    return hook;
}

} // namespace

struct TReportBrowser::Impl {
    enum class Stage { Idle, Capturing, Loading, Restoring, Updating, Keeping, Printing };

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

    TTypedValues typed;
    std::optional<QByteArray> pending; // the newest page not yet handed to the engine
    Stage stage = Stage::Idle;
    QUrl loadingUrl;
    quint64 step = 0;             // identifies the script step that is awaited
    quint64 forgetGeneration = 0; // a capture begun before ForgetTypedValues is dropped
    quint64 shownGeneration = 0;  // forgetGeneration when the page on screen was brought
    bool shownOnce = false;       // a page has loaded at least once
    bool freshStart = false;      // the page shown now is not to be read back
    // The source of the document shown (or being brought to): what a new page
    // is compared with to update the document in place.
    QString shownSource;
    bool engineHasSource = false; // the engine's copy of the source equals shownSource
    bool forceLoad = false;       // the next page is loaded afresh, not updated in place
    bool fillAfterLoad = false;   // the page loading is the head of shownSource only
    bool loadWhole = false;       // filling a loaded head failed: load the next page whole

    // Snapshots and prints asked for while a page was on its way, done once it is shown.
    std::deque<PageTask> tasks;
    CaptureDone captureDone;      // told what was typed into the page on screen
    std::optional<bool> announce; // pageShown held back by a snapshot or a print

    std::unique_ptr<PrintTask> printing; // the print being rendered
    bool holdForPrint = false;           // from the Print click until the page is rendered
    bool printBusy = false;              // from a started print until printFinished
    quint64 printSerial = 0;             // tells a late time-out from the print of now

    void Advance();
    void Capture();
    void LoadPending();
    void Fill();
    void UpdateInPlace(QString next, qsizetype headLength);
    void LoadShownPageAfresh();
    void RecoverFromLostRenderer();
    void OnLoading(const QWebEngineLoadingInfo& info);
    void Restore();
    void Finish(bool ok);
    void AnnouncePage(bool ok);
    void StartTask();
    void GoOn();
    void StartCapture(CaptureDone done, quint64 generation);
    void EndCapture(const QString& typedJson);
    void MirrorTypedValues();
    void StartPrint(std::unique_ptr<PrintTask> task);
    void EndPrint(bool ok, const QString& reason);
    void AnnouncePrint(bool ok, const QString& failure);
    void ReleasePrintHold();
    void RunStep(const QString& script, std::function<void(const QVariant&)> done);
};

// Runs script in the application's world; done gets its result, or an
// invalid value when no answer comes in time. A later step supersedes it.
void TReportBrowser::Impl::RunStep(const QString& script,
                                   std::function<void(const QVariant&)> done) {
    const quint64 mine = ++step;
    auto shared = std::make_shared<std::function<void(const QVariant&)>>(std::move(done));
    std::weak_ptr<int> token = alive;
    auto answer = [this, mine, token, shared](const QVariant& result) {
        if (token.expired() || step != mine) {
            return;
        }
        ++step; // the other of callback and time-out finds itself superseded
        (*shared)(result);
    };
    page->runJavaScript(script, QWebEngineScript::ApplicationWorld, answer);
    QTimer::singleShot(kScriptTimeoutMs, self, [answer] { answer(QVariant()); });
}

void TReportBrowser::Impl::Advance() {
    // While a print is being prepared the page at the click stays on screen.
    if (!pending || holdForPrint) {
        stage = Stage::Idle;
        return;
    }
    // A new report after a long one: leaving the long document behind is
    // quicker than emptying it node by node.
    if (freshStart && shownSource.size() > kLongPageBytes) {
        forceLoad = true;
    }
    if (shownOnce && !forceLoad) {
        QString next = QString::fromUtf8(*pending);
        if (const qsizetype headLength = SharedHeadLength(shownSource, next)) {
            pending.reset();
            UpdateInPlace(std::move(next), headLength);
            return;
        }
    }
    if (shownOnce && !freshStart) {
        Capture();
    } else {
        LoadPending();
    }
}

// Same head: the document on screen is brought to the new page, so the
// engine keeps its document and process and the user's typing goes on.
void TReportBrowser::Impl::UpdateInPlace(QString next, qsizetype headLength) {
    stage = Stage::Updating;
    const qsizetype base = engineHasSource ? shownSource.size() : -1;
    PageEdit edit;
    if (engineHasSource) {
        edit = DiffPages(shownSource, next);
    } else {
        edit.text = next;
    }
    shownSource = std::move(next);
    engineHasSource = false; // until the engine confirms
    const bool startFresh = freshStart;
    freshStart = false; // what is typed from now on is worth carrying over
    shownGeneration = forgetGeneration;
    RunStep(InPlaceUpdateScript(edit, base, headLength, startFresh, kLinesPerPart),
            [this](const QVariant& result) {
                if (result.typeId() == QMetaType::Bool && result.toBool()) {
                    engineHasSource = true;
                    Finish(true);
                    return;
                }
                // The engine's document is not the one expected: load the page afresh.
                LoadShownPageAfresh();
                Advance();
            });
}

// The next page is a full load; without a newer one, of the page shown.
void TReportBrowser::Impl::LoadShownPageAfresh() {
    forceLoad = true;
    if (!pending) {
        pending = shownSource.toUtf8();
    }
}

void TReportBrowser::Impl::RecoverFromLostRenderer() {
    // Whatever was awaited will not answer. Show the newest page again in a
    // new render process, so that the view does not stay blank.
    qCWarning(lcView, "The engine's render process ended; the report is shown again with the "
                      "values last typed");
    engineHasSource = false;
    if (shownOnce) {
        LoadShownPageAfresh();
    } else {
        forceLoad = true;
    }
    switch (stage) {
    case Stage::Capturing:
        ++step;
        LoadPending();
        return;
    case Stage::Restoring:
    case Stage::Updating:
        ++step;
        Finish(false);
        return;
    case Stage::Loading:
        return; // the load fails, and Finish goes on with the page set aside above
    case Stage::Keeping:
        ++step;
        EndCapture(typed.ToJson()); // the last values seen
        return;
    case Stage::Printing:
        ++step;
        EndPrint(false, QStringLiteral("the engine's render process ended"));
        return;
    case Stage::Idle:
        Advance();
        return;
    }
}

void TReportBrowser::Impl::Capture() {
    stage = Stage::Capturing;
    const quint64 generation = forgetGeneration;
    RunStep(TTypedValues::CaptureScript(), [this, generation](const QVariant& result) {
        if (generation == forgetGeneration) {
            typed.Merge(result);
        }
        LoadPending();
    });
}

void TReportBrowser::Impl::LoadPending() {
    // Several pages that arrived during the capture collapse into the newest.
    shownSource = QString::fromUtf8(*pending);
    engineHasSource = false;
    forceLoad = false;
    QByteArray bytes = std::move(*pending);
    pending.reset();
    fillAfterLoad = false;
    if (!loadWhole && bytes.size() > kLongPageBytes) {
        const QString head = PageHeadOf(shownSource);
        if (!head.isEmpty()) {
            bytes = head.toUtf8();
            fillAfterLoad = true;
        }
    }
    loadWhole = false;
    const QUrl url = schemeHandler->Offer(std::move(bytes));
    freshStart = false;
    shownGeneration = forgetGeneration;
    loadingUrl = url;
    stage = Stage::Loading;
    page->Load(url);
}

void TReportBrowser::Impl::OnLoading(const QWebEngineLoadingInfo& info) {
    if (stage != Stage::Loading || info.url() != loadingUrl) {
        return;
    }
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        shownOnce = true;
        // Old report pages are never gone back to; keeping them in the history
        // would only keep their documents alive.
        page->history()->clear();
        if (fillAfterLoad) {
            Fill();
        } else {
            Restore();
        }
        return;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
    case QWebEngineLoadingInfo::LoadFailedStatus:
        Finish(false);
        return;
    }
}

// The head of a long page has loaded: the body is brought in as an in-place
// update, which lays it out in parts.
void TReportBrowser::Impl::Fill() {
    stage = Stage::Updating;
    fillAfterLoad = false;
    PageEdit whole;
    whole.text = shownSource;
    const qsizetype headLength = PageHeadOf(shownSource).size();
    RunStep(InPlaceUpdateScript(whole, -1, headLength, false, kLinesPerPart),
            [this](const QVariant& result) {
                if (result.typeId() == QMetaType::Bool && result.toBool()) {
                    engineHasSource = true;
                    Restore();
                    return;
                }
                loadWhole = true;
                LoadShownPageAfresh();
                LoadPending();
            });
}

void TReportBrowser::Impl::Restore() {
    if (typed.IsEmpty()) {
        Finish(true);
        return;
    }
    stage = Stage::Restoring;
    RunStep(typed.RestoreScript(), [this](const QVariant&) { Finish(true); });
}

void TReportBrowser::Impl::Finish(bool ok) {
    stage = Stage::Idle;
    if (!tasks.empty()) {
        // The page asked for is shown now: it is the one to keep or print.
        announce = ok;
        StartTask();
        return;
    }
    if (pending && !holdForPrint) {
        // A newer page came while this one loaded: it is the one to announce.
        Advance();
        return;
    }
    AnnouncePage(ok);
}

void TReportBrowser::Impl::AnnouncePage(bool ok) {
    if (!ok) {
        qCWarning(lcView, "The engine did not show a report page");
    }
    // Runs before any later script of the page, so before what a listener does.
    page->runJavaScript(AlignFormBoxesScript(), QWebEngineScript::ApplicationWorld);
    emit self->pageShown(ok);
}

void TReportBrowser::Impl::StartTask() {
    PageTask task = std::move(tasks.front());
    tasks.pop_front();
    if (task.print) {
        StartPrint(std::move(task.print));
    } else {
        StartCapture(std::move(task.captureDone), task.generation);
    }
}

// A snapshot or print is done: the next one, else the newest page.
void TReportBrowser::Impl::GoOn() {
    if (!tasks.empty()) {
        StartTask();
        return;
    }
    const std::optional<bool> held = announce;
    announce.reset();
    if (pending && !holdForPrint) {
        Advance();
    } else if (held) {
        AnnouncePage(*held);
    }
}

void TReportBrowser::Impl::StartCapture(CaptureDone done, quint64 generation) {
    stage = Stage::Keeping;
    captureDone = std::move(done);
    if (generation != shownGeneration) {
        // The page on screen is still an earlier report's (the next one
        // never got shown): nothing was typed into this one.
        EndCapture(TTypedValues().ToJson());
        return;
    }
    RunStep(TTypedValues::CaptureScript(), [this](const QVariant& result) {
        // No answer (a hung or lost render process): the last values seen.
        EndCapture(result.typeId() == QMetaType::QString ? result.toString() : typed.ToJson());
    });
}

void TReportBrowser::Impl::EndCapture(const QString& typedJson) {
    stage = Stage::Idle;
    CaptureDone done = std::move(captureDone);
    captureDone = nullptr;
    std::weak_ptr<int> token = alive;
    if (done) {
        done(typedJson, shownSource.toUtf8());
    }
    if (token.expired() || stage != Stage::Idle) {
        return; // gone, or done started another step
    }
    GoOn();
}

// Now and then, while nothing else is under way: what is typed into the page
// is kept here too, so that a render process that goes takes none of it with
// it (the page is shown again with these values).
void TReportBrowser::Impl::MirrorTypedValues() {
    if (stage != Stage::Idle || !shownOnce || freshStart || !page) {
        return;
    }
    const quint64 generation = forgetGeneration;
    const quint64 at = step;
    std::weak_ptr<int> token = alive;
    page->runJavaScript(TTypedValues::CaptureScript(), QWebEngineScript::ApplicationWorld,
                        [this, token, generation, at](const QVariant& result) {
                            // Not when the page or report changed meanwhile.
                            if (!token.expired() && generation == forgetGeneration && step == at &&
                                stage == Stage::Idle && result.typeId() == QMetaType::QString) {
                                typed.Replace(result);
                            }
                        });
}

void TReportBrowser::Impl::StartPrint(std::unique_ptr<PrintTask> task) {
    stage = Stage::Printing;
    printing = std::move(task);
    RunStep(TTypedValues::CaptureScript(), [this](const QVariant& typed) {
        if (printing->titleFor) {
            printing->job.title = printing->titleFor(
                typed.typeId() == QMetaType::QString ? typed.toString() : QString());
        }
        RunStep(PrepareForPaperScript(PrintableCssPixels(printing->layout)), [this](
                                                                                 const QVariant&) {
            const quint64 mine = ++printSerial;
            page->printToPdf(printing->pdfPath, printing->layout, printing->ranges);
            std::weak_ptr<int> token = alive;
            QTimer::singleShot(kPrintRenderTimeoutMs, self, [this, mine, token] {
                if (!token.expired() && stage == Stage::Printing && printSerial == mine) {
                    EndPrint(false, QStringLiteral("the engine did not finish rendering the page"));
                }
            });
        });
    });
}

// The page is rendered (or could not be): the view goes on with the pages
// held meanwhile, and a printer gets the PDF from lp in the background.
void TReportBrowser::Impl::EndPrint(bool ok, const QString& reason) {
    ++printSerial;
    stage = Stage::Idle;
    page->runJavaScript(AfterPaperScript(), QWebEngineScript::ApplicationWorld);
    std::unique_ptr<PrintTask> task = std::move(printing);
    holdForPrint = false;
    if (!ok) {
        AnnouncePrint(false, QStringLiteral("Printing failed: ") + reason);
    } else if (!task->temporary) {
        AnnouncePrint(true, {});
    } else {
        auto* lp = new TLpSubmission(std::move(task->job), std::move(task->temporary), self);
        QObject::connect(lp, &TLpSubmission::finished, self, [this, lp](const QString& failure) {
            lp->deleteLater();
            AnnouncePrint(failure.isEmpty(), failure);
        });
        lp->Start();
    }
    GoOn();
}

// From the event loop, never from inside a stage: the owner may open a
// message box, whose modal loop brings new pages.
void TReportBrowser::Impl::AnnouncePrint(bool ok, const QString& failure) {
    QMetaObject::invokeMethod(
        self,
        [this, ok, failure] {
            printBusy = false;
            emit self->printFinished(ok, failure);
        },
        Qt::QueuedConnection);
}

void TReportBrowser::Impl::ReleasePrintHold() {
    holdForPrint = false;
    if (stage == Stage::Idle) {
        GoOn();
    }
}

TReportBrowser::TReportBrowser(QWidget* owner) : QObject(owner), impl_(new Impl) {
    impl_->self = this;
    RegisterUrlScheme();
    if (QWebEngineUrlScheme::schemeByName(ReportSchemeName()).name() != ReportSchemeName()) {
        delete impl_;
        throw std::runtime_error("The report view cannot be created: its URL scheme was not "
                                 "registered before the application started");
    }
    impl_->schemeHandler = std::make_unique<TReportSchemeHandler>();
    impl_->requestFilter = std::make_unique<TReportRequestFilter>();
    impl_->profile = MakeReportProfile(*impl_->schemeHandler, *impl_->requestFilter);
    impl_->page = std::make_unique<TReportPage>(impl_->profile.get(), nullptr);
    PrepareReportPage(*impl_->page);
    impl_->paper = std::make_unique<TPaperRenderer>(*impl_->requestFilter);
    auto* mirror = new QTimer(this);
    mirror->setInterval(kMirrorTypedValuesMs);
    connect(mirror, &QTimer::timeout, this, [this] { impl_->MirrorTypedValues(); });
    mirror->start();
    connect(impl_->page.get(), &QWebEnginePage::loadingChanged, this,
            [this](const QWebEngineLoadingInfo& info) { impl_->OnLoading(info); });
    connect(impl_->page.get(), &QWebEnginePage::pdfPrintingFinished, this,
            [this](const QString& path, bool ok) {
                if (impl_->stage == Impl::Stage::Printing && impl_->printing &&
                    path == impl_->printing->pdfPath) {
                    impl_->EndPrint(ok,
                                    QStringLiteral("the engine could not render the page to PDF"));
                }
            });
    connect(impl_->page.get(), &QWebEnginePage::renderProcessTerminated, this,
            [this] { impl_->RecoverFromLostRenderer(); });

    impl_->view = new QWebEngineView(owner);
    impl_->view->setPage(impl_->page.get());
    // A dropped file or link would lead away from the report.
    impl_->view->setAcceptDrops(false);
    new TViewKeyFilter(impl_->view);
    auto* contextMenu = new TReportContextMenu(impl_->view);
    connect(contextMenu, &TReportContextMenu::printRequested, this,
            &TReportBrowser::printRequested);
}

TReportBrowser::~TReportBrowser() {
    impl_->alive.reset();
    // A job still with lp is given its few seconds; its outcome has no one to go to.
    for (TLpSubmission* lp : findChildren<TLpSubmission*>()) {
        lp->disconnect(this);
        delete lp;
    }
    // The view goes first (it may already be gone with its host), then the
    // page, then the profile: the engine warns and may crash otherwise.
    delete impl_->view.data();
    impl_->page.reset();
    impl_->profile.reset();
    delete impl_;
}

void TReportBrowser::RegisterUrlScheme() {
    RegisterReportScheme();
}

void TReportBrowser::SetHostWindow(QWidget* host) {
    if (host == nullptr) {
        throw std::invalid_argument("SetHostWindow: no host window given");
    }
    QWebEngineView* view = impl_->view;
    if (view == nullptr) {
        throw std::runtime_error("SetHostWindow: the report view no longer exists");
    }
    // A plain child, outside any layout of the host: placed and sized by SetSize only.
    view->setParent(host);
    view->move(0, 0);
    view->show();
}

void TReportBrowser::SetSize(int width, int height) {
    QWebEngineView* view = impl_->view;
    if (view == nullptr) {
        throw std::runtime_error("SetSize: the report view no longer exists");
    }
    view->resize(std::max(width, 0), view->height());
    view->resize(view->width(), std::max(height, 0));
}

int TReportBrowser::ShowPage(const std::string& page) {
    try {
        impl_->pending = PageBytesForEngine(page);
    } catch (const std::bad_alloc&) {
        // The documented answer for a page that cannot be handed over.
        return 1;
    }
    if (impl_->stage == Impl::Stage::Idle) {
        impl_->Advance();
    }
    return 0;
}

TReportBrowser::PrintStart TReportBrowser::PrintPage(TitleFor titleFor) {
    if (!impl_->shownOnce) {
        return PrintStart::NothingShown;
    }
    if (impl_->printBusy) {
        return PrintStart::Busy;
    }
    QPrinter printer(QPrinter::HighResolution);
    PreparePrinter(printer);
    QPointer<TReportBrowser> guard(this);
    // The dialog is modal and ticks go on behind it: the page at the click
    // stays on screen, and is the one printed.
    impl_->holdForPrint = true;
    bool accepted = false;
    if (DialogHook()) {
        accepted = DialogHook()(printer);
    } else {
        QPrintDialog dialog(&printer, impl_->view ? impl_->view->window() : nullptr);
        accepted = dialog.exec() == QDialog::Accepted;
    }
    // The window may have been closed meanwhile.
    if (guard == nullptr) {
        return PrintStart::Cancelled;
    }
    if (!accepted) {
        impl_->ReleasePrintHold();
        return PrintStart::Cancelled;
    }
    auto task = std::make_unique<Impl::PrintTask>();
    task->layout = printer.pageLayout();
    task->ranges = printer.pageRanges();
    task->titleFor = std::move(titleFor);
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        task->pdfPath = printer.outputFileName();
        if (task->pdfPath.isEmpty()) {
            impl_->ReleasePrintHold();
            throw std::runtime_error("Printing failed: no file was chosen for the PDF");
        }
    } else {
        // Copies, collation, sides and paper go to CUPS: the PDF holds each page once.
        task->job = JobFromPrinter(printer, {});
        task->temporary = std::make_unique<QTemporaryFile>(
            QDir::tempPath() + QStringLiteral("/quillar-print-XXXXXX.pdf"));
        if (!task->temporary->open()) {
            impl_->ReleasePrintHold();
            throw std::runtime_error(("Printing failed: cannot create a temporary file: " +
                                      task->temporary->errorString())
                                         .toStdString());
        }
        task->temporary->close();
        task->pdfPath = task->temporary->fileName();
    }
    impl_->printBusy = true;
    impl_->tasks.push_back(Impl::PageTask{{}, std::move(task), impl_->forgetGeneration});
    if (impl_->stage == Impl::Stage::Idle) {
        impl_->StartTask();
    }
    return PrintStart::Started;
}

bool TReportBrowser::Printing() const {
    return impl_->printBusy;
}

void TReportBrowser::CapturePage(CaptureDone done) {
    impl_->tasks.push_back(Impl::PageTask{std::move(done), nullptr, impl_->forgetGeneration});
    if (impl_->stage == Impl::Stage::Idle) {
        impl_->StartTask();
    }
}

void TReportBrowser::RenderToPdf(std::string_view page, const QString& typedJson,
                                 const QString& pdfPath, std::function<void(bool)> done) {
    // On the paper that Print uses by default, laid out as on this screen.
    QPrinter printer(QPrinter::HighResolution);
    PreparePrinter(printer);
    const QSize viewport = impl_->view ? impl_->view->size() : QSize();
    QByteArray bytes;
    try {
        bytes = PageBytesForEngine(page);
    } catch (const std::bad_alloc&) {
        QMetaObject::invokeMethod(
            this, [done = std::move(done)] { done(false); }, Qt::QueuedConnection);
        return;
    }
    impl_->paper->Render(std::move(bytes), typedJson, pdfPath, printer.pageLayout(), viewport,
                         std::move(done));
}

void TReportBrowser::SnapshotPage(const QString& pdfPath, SnapshotDone done) {
    QPointer<TReportBrowser> self(this);
    CapturePage([self, pdfPath, done = std::move(done)](const QString& typedJson,
                                                        const QByteArray& page) {
        if (self == nullptr) {
            return;
        }
        if (pdfPath.isEmpty()) {
            done(typedJson, false); // the typed values alone
            return;
        }
        self->RenderToPdf(std::string_view(page.constData(), std::size_t(page.size())), typedJson,
                          pdfPath, [done, typedJson](bool ok) { done(typedJson, ok); });
    });
}

void TReportBrowser::ForgetTypedValues() {
    impl_->typed.Clear();
    ++impl_->forgetGeneration;
    impl_->freshStart = true;
}

void TReportBrowser::SetImageFolders(const QStringList& folders) {
    impl_->requestFilter->SetImageFolders(folders);
}

QWebEngineView* TReportBrowser::View() const {
    return impl_->view;
}

void TReportBrowser::SetPrintDialogHook(PrintDialogHook hook) {
    DialogHook() = std::move(hook);
}

} // namespace quillar
