#pragma once
// Serves report pages from memory under the view's own URL scheme, so that a
// page of any size reaches the engine (setHtml stops near 1.1 MB) and its
// local file:// images may load.

#include <QByteArray>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

namespace quillar {

// The scheme of report pages: "quillar-report".
QByteArray ReportSchemeName();

// Registers the scheme with the engine. Must run before the first Qt WebEngine
// object exists (main() calls it before constructing QApplication); later calls
// do nothing. Safe to call more than once.
void RegisterReportScheme();

class TReportSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    explicit TReportSchemeHandler(QObject* parent = nullptr);

    // Keeps page as the one to serve and returns its fresh URL; each call gets
    // a new URL so that the engine never answers from a cached copy. Only the
    // latest page is kept; requests for older URLs fail.
    QUrl Offer(QByteArray page);

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QUrl url_;
    QByteArray page_;
    quint64 counter_ = 0;
};

} // namespace quillar
