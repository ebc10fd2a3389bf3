#pragma once
// What a report page may load and where it may go. Report pages carry text
// from a serial device unescaped, so nothing in them may reach the network
// or lead the view away from the report.

#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>

namespace quillar {

// Blocks every request whose scheme is not the report scheme, file, data,
// about or qrc: no page reaches the network.
class TReportRequestFilter : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};

// The engine's page for the view: it navigates only to the loads that the view
// starts itself (Load), opens no windows and never moves or resizes its window.
class TReportPage : public QWebEnginePage {
    Q_OBJECT
public:
    TReportPage(QWebEngineProfile* profile, QObject* parent);

    // Starts loading url; the only navigation the page accepts until the next Load.
    void Load(const QUrl& url);

    // The number of navigations refused so far (links, form submits, drops, reloads).
    int RefusedNavigations() const { return refused_; }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    QUrl expected_;
    int refused_ = 0;
};

} // namespace quillar
