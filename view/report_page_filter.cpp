#include "view/report_page_filter.h"

#include "view/report_scheme_handler.h"

#include <QWebEngineUrlRequestInfo>

namespace quillar {

void TReportRequestFilter::interceptRequest(QWebEngineUrlRequestInfo& info) {
    const QByteArray scheme = info.requestUrl().scheme().toLatin1().toLower();
    const bool allowed = scheme == ReportSchemeName() || scheme == "file" || scheme == "data" ||
                         scheme == "about" || scheme == "qrc";
    if (!allowed) {
        info.block(true);
    }
}

TReportPage::TReportPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent) {
    // Accepted and ignored: a page never moves or resizes the main window.
    connect(this, &QWebEnginePage::geometryChangeRequested, this, [](const QRect&) {});
}

void TReportPage::Load(const QUrl& url) {
    expected_ = url;
    load(url);
}

bool TReportPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) {
    // Each started load is accepted once: a reload or a history step to an old
    // report URL is refused like a link, so the engine never shows a stale page.
    if (isMainFrame && !expected_.isEmpty() && url == expected_) {
        expected_.clear();
        return true;
    }
    ++refused_;
    return false;
}

QWebEnginePage* TReportPage::createWindow(WebWindowType) {
    return nullptr;
}

} // namespace quillar
