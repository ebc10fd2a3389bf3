#include "view/report_browser.h"

#include "view/page_bytes.h"
#include "view/report_browser_impl.h"
#include "view/report_context_menu.h"
#include "view/report_engine.h"
#include "view/view_key_filter.h"
#include "view/view_log.h"

#include <QDir>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace quillar {

namespace {

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
    connect(mirror, &QTimer::timeout, this, [this] { impl_->Dispatch(Impl::Event::MirrorTick); });
    mirror->start();
    connect(impl_->page.get(), &QWebEnginePage::loadingChanged, this,
            [this](const QWebEngineLoadingInfo& info) {
                // The events of an earlier page's load are stale.
                if (info.url() != impl_->loadingUrl) {
                    return;
                }
                switch (info.status()) {
                case QWebEngineLoadingInfo::LoadStartedStatus:
                    return;
                case QWebEngineLoadingInfo::LoadSucceededStatus:
                    impl_->Dispatch(Impl::Event::LoadSucceeded);
                    return;
                case QWebEngineLoadingInfo::LoadStoppedStatus:
                case QWebEngineLoadingInfo::LoadFailedStatus:
                    impl_->Dispatch(Impl::Event::LoadFailed);
                    return;
                }
            });
    connect(impl_->page.get(), &QWebEnginePage::pdfPrintingFinished, this,
            [this](const QString& path, bool ok) {
                impl_->Dispatch(Impl::Event::PdfWritten, {ok, path});
            });
    // A lost render process is recovered by the table's rows; said here once.
    connect(impl_->page.get(), &QWebEnginePage::renderProcessTerminated, this, [this] {
        qCWarning(lcView, "The engine's render process ended; the report is shown again with "
                          "the values last typed");
        impl_->Dispatch(Impl::Event::RendererLost);
    });

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
        impl_->pending = Impl::WaitingPage{PageBytesForEngine(page), std::nullopt};
    } catch (const std::bad_alloc&) {
        // The documented answer for a page that cannot be handed over.
        return 1;
    }
    impl_->Dispatch(Impl::Event::PageWaiting);
    return 0;
}

TReportBrowser::PrintStart TReportBrowser::PrintPage(TitleFor titleFor) {
    // The dialog is modal and ticks go on behind it: the page at the click
    // stays on screen, and is the one printed.
    const char* taken = impl_->Dispatch(Impl::Event::PrintAsked);
    const std::string_view asked = taken != nullptr ? taken : "";
    if (asked == Impl::kPrintRefusedNothingShown) {
        return PrintStart::NothingShown;
    }
    if (asked == Impl::kPrintRefusedBusy) {
        return PrintStart::Busy;
    }
    QPrinter printer(QPrinter::HighResolution);
    PreparePrinter(printer);
    QPointer<TReportBrowser> guard(this);
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
        impl_->Dispatch(Impl::Event::PrintCancelled);
        return PrintStart::Cancelled;
    }
    auto task = std::make_unique<Impl::PrintTask>();
    task->layout = printer.pageLayout();
    task->ranges = printer.pageRanges();
    task->titleFor = std::move(titleFor);
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        task->pdfPath = printer.outputFileName();
        if (task->pdfPath.isEmpty()) {
            impl_->Dispatch(Impl::Event::PrintCancelled);
            throw std::runtime_error("Printing failed: no file was chosen for the PDF");
        }
    } else {
        // Copies, collation, sides and paper go to CUPS: the PDF holds each page once.
        task->job = JobFromPrinter(printer, {});
        task->temporary = std::make_unique<QTemporaryFile>(
            QDir::tempPath() + QStringLiteral("/quillar-print-XXXXXX.pdf"));
        if (!task->temporary->open()) {
            impl_->Dispatch(Impl::Event::PrintCancelled);
            throw std::runtime_error(("Printing failed: cannot create a temporary file: " +
                                      task->temporary->errorString())
                                         .toStdString());
        }
        task->temporary->close();
        task->pdfPath = task->temporary->fileName();
    }
    impl_->tasks.push_back(Impl::PageTask{{}, std::move(task), impl_->forgetGeneration});
    impl_->Dispatch(Impl::Event::PrintAccepted);
    return PrintStart::Started;
}

bool TReportBrowser::Printing() const {
    return impl_->Busy();
}

void TReportBrowser::CapturePage(CaptureDone done) {
    impl_->tasks.push_back(Impl::PageTask{std::move(done), nullptr, impl_->forgetGeneration});
    impl_->Dispatch(Impl::Event::TaskWaiting);
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
    impl_->Dispatch(Impl::Event::TypedValuesForgotten);
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
