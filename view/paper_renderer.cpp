#include "view/paper_renderer.h"

#include "view/pdf_printing.h"
#include "view/report_engine.h"
#include "view/report_page_filter.h"
#include "view/report_scheme_handler.h"
#include "view/typed_values.h"
#include "view/view_log.h"
#include "view/view_style.h"

#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QWidget>

namespace quillar {

namespace {

// Rendering a long report takes seconds; this bound only keeps a hung render
// process from holding back every later job.
constexpr int kJobTimeoutMs = 120'000;
// A script of the application's world answers at once unless its process hangs.
constexpr int kScriptTimeoutMs = 10'000;
// The engine page and its render process go when no job has come for a while.
constexpr int kIdleReleaseMs = 30'000;

} // namespace

TPaperRenderer::TPaperRenderer(QWebEngineUrlRequestInterceptor& filter, QObject* parent)
    : QObject(parent), filter_(filter) {}

TPaperRenderer::~TPaperRenderer() {
    // The view goes before its page, the page before its profile.
    host_.reset();
    page_.reset();
    profile_.reset();
}

void TPaperRenderer::Render(QByteArray page, QString typedJson, QString path, QPageLayout layout,
                            QSize viewport, Done done) {
    jobs_.push_back({std::move(page), std::move(typedJson), std::move(path), std::move(layout),
                     viewport, std::move(done)});
    if (!busy_)
        StartNext();
}

void TPaperRenderer::StartNext() {
    if (jobs_.empty()) {
        busy_ = false;
        const quint64 mine = serial_;
        QTimer::singleShot(kIdleReleaseMs, this, [this, mine] {
            if (!busy_ && serial_ == mine) {
                host_.reset();
                page_.reset();
                view_ = nullptr;
            }
        });
        return;
    }
    busy_ = true;
    const quint64 mine = ++serial_;
    if (!page_) {
        if (!profile_) {
            handler_ = std::make_unique<TReportSchemeHandler>();
            profile_ = MakeReportProfile(*handler_, filter_);
        }
        page_ = std::make_unique<TReportPage>(profile_.get(), nullptr);
        PrepareReportPage(*page_);
        connect(page_.get(), &QWebEnginePage::loadFinished, this, [this](bool ok) { Loaded(ok); });
        connect(page_.get(), &QWebEnginePage::pdfPrintingFinished, this,
                [this](const QString& path, bool ok) {
                    if (busy_ && !jobs_.empty() && path == jobs_.front().path)
                        End(ok);
                });
        connect(page_.get(), &QWebEnginePage::renderProcessTerminated, this, [this] {
            if (busy_)
                End(false);
        });
        host_ = std::make_unique<QWidget>();
        view_ = new QWebEngineView(host_.get());
        view_->setPage(page_.get());
    }
    const Job& job = jobs_.front();
    const QSize size = job.viewport.isValid() ? job.viewport : QSize(900, 1200);
    host_->resize(size);
    view_->resize(size);
    QTimer::singleShot(kJobTimeoutMs, this, [this, mine] {
        if (busy_ && serial_ == mine)
            End(false);
    });
    page_->Load(handler_->Offer(job.page));
}

void TPaperRenderer::Loaded(bool ok) {
    if (!busy_ || jobs_.empty())
        return;
    if (!ok) {
        End(false);
        return;
    }
    TTypedValues typed;
    typed.Merge(jobs_.front().typedJson);
    const QString restore = typed.IsEmpty() ? QStringLiteral("true") : typed.RestoreScript();
    RunStep(restore, [this] {
        RunStep(AlignFormBoxesScript(), [this] {
            const Job& job = jobs_.front();
            RunStep(PrepareForPaperScript(PrintableCssPixels(job.layout)), [this] {
                const Job& job = jobs_.front();
                page_->printToPdf(job.path, job.layout);
            });
        });
    });
}

// Runs script in the page's application world, then (answer or not) then.
void TPaperRenderer::RunStep(const QString& script, std::function<void()> then) {
    const quint64 mine = serial_;
    auto once = std::make_shared<bool>(false);
    auto next = [this, mine, once, then = std::move(then)] {
        if (*once || !busy_ || serial_ != mine)
            return;
        *once = true;
        then();
    };
    page_->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                         [next](const QVariant&) { next(); });
    QTimer::singleShot(kScriptTimeoutMs, this, next);
}

void TPaperRenderer::End(bool ok) {
    ++serial_;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    if (!ok)
        qCWarning(lcView, "A report page could not be put on paper as %s",
                  qUtf8Printable(job.path));
    // From the event loop: done may start another job or go away with us.
    QMetaObject::invokeMethod(
        this,
        [done = std::move(job.done), ok] {
            if (done)
                done(ok);
        },
        Qt::QueuedConnection);
    StartNext();
}

} // namespace quillar
