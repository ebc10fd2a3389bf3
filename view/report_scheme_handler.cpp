#include "view/report_scheme_handler.h"

#include <QBuffer>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace quillar {

QByteArray ReportSchemeName() {
    return QByteArrayLiteral("quillar-report");
}

void RegisterReportScheme() {
    static bool registered = false;
    if (registered) {
        return;
    }
    registered = true;
    QWebEngineUrlScheme scheme(ReportSchemeName());
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Local access lets the page load its file:// images although the page
    // itself comes from memory; the request filter lets through those of the
    // image folders only. As a local scheme its pages also fall under
    // LocalContentCanAccessRemoteUrls (off), a second guard beside the
    // request filter against reaching the network.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme |
                    QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
}

TReportSchemeHandler::TReportSchemeHandler(QObject* parent) : QWebEngineUrlSchemeHandler(parent) {}

QUrl TReportSchemeHandler::Offer(QByteArray page) {
    ++counter_;
    url_ = QUrl(QString::fromLatin1(ReportSchemeName()) + QStringLiteral("://report/page-") +
                QString::number(counter_));
    page_ = std::move(page);
    return url_;
}

void TReportSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    if (job->requestMethod() != "GET" || job->requestUrl() != url_) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    // The buffer shares the page's bytes (no copy) and lives as long as the job.
    auto* buffer = new QBuffer(job);
    buffer->setData(page_);
    buffer->open(QIODevice::ReadOnly);
    // No charset parameter: the page's own meta element decides.
    job->reply(QByteArrayLiteral("text/html"), buffer);
}

} // namespace quillar
