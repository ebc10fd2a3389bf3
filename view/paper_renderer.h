#pragma once
// TPaperRenderer: puts a report page on paper (a PDF file) off screen, in an
// engine page of its own. What the view shows meanwhile does not matter: a
// kept test is rendered from its own page and typed values while the window
// has already gone on to the next test.

#include <QByteArray>
#include <QObject>
#include <QPageLayout>
#include <QSize>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

class QWebEngineProfile;
class QWebEngineUrlRequestInterceptor;
class QWebEngineView;
class QWidget;

namespace quillar {

class TReportPage;
class TReportSchemeHandler;

class TPaperRenderer : public QObject {
    Q_OBJECT
public:
    // filter sees every request of the pages, as the view's does; it must
    // outlive the renderer.
    explicit TPaperRenderer(QWebEngineUrlRequestInterceptor& filter, QObject* parent = nullptr);
    ~TPaperRenderer() override;

    // Renders page (UTF-8 HTML as the view is given it) with the values of
    // typedJson (TTypedValues::CaptureScript's JSON) in its boxes to a PDF at
    // path on layout, laid out as Print lays it out on a screen of viewport
    // size. Jobs run one after another; done runs later from the event loop
    // (never once the renderer is gone) and says whether the PDF was made.
    using Done = std::function<void(bool ok)>;
    void Render(QByteArray page, QString typedJson, QString path, QPageLayout layout,
                QSize viewport, Done done);

private:
    struct Job {
        QByteArray page;
        QString typedJson;
        QString path;
        QPageLayout layout;
        QSize viewport;
        Done done;
    };
    void StartNext();
    void Loaded(bool ok);
    void RunStep(const QString& script, std::function<void()> then);
    void End(bool ok);

    QWebEngineUrlRequestInterceptor& filter_;
    std::unique_ptr<TReportSchemeHandler> handler_;
    std::unique_ptr<QWebEngineProfile> profile_;
    std::unique_ptr<QWidget> host_; // never shown: the page is laid out at its size
    std::unique_ptr<TReportPage> page_;
    QWebEngineView* view_ = nullptr;
    std::deque<Job> jobs_;
    bool busy_ = false;
    quint64 serial_ = 0; // tells a late answer or time-out from the job of now
};

} // namespace quillar
