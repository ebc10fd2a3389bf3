#include "view/report_page_filter.h"

#include "view/report_scheme_handler.h"

#include <QDir>
#include <QLoggingCategory>
#include <QWebEngineUrlRequestInfo>

#include "view/view_log.h"
#include <algorithm>

#include <filesystem>
#include <system_error>
#include <vector>

namespace quillar {

namespace {

std::filesystem::path PathOf(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

// The local path that url names, or empty where the engine could read the
// URL as another path than this one: a host, an escaped separator or NUL,
// escaped bytes that are not UTF-8.
QString LocalPathOf(const QUrl& url) {
    if (!url.isLocalFile() || !url.host().isEmpty()) {
        return {};
    }
    const QByteArray encoded = url.path(QUrl::FullyEncoded).toLatin1();
    const QByteArray lower = encoded.toLower();
    if (lower.contains("%2f") || lower.contains("%5c") || lower.contains("%00")) {
        return {};
    }
    const QString path = url.toLocalFile();
    const QByteArray again = QUrl::fromLocalFile(path).path(QUrl::FullyEncoded).toLatin1();
    return QByteArray::fromPercentEncoding(encoded) == QByteArray::fromPercentEncoding(again)
               ? path
               : QString();
}

} // namespace

bool IsImageFolderFile(const QUrl& url, const QStringList& folders) {
    const QString local = LocalPathOf(url);
    if (local.isEmpty()) {
        return false;
    }
    const std::filesystem::path named = PathOf(QDir::cleanPath(local));
    if (!named.is_absolute()) {
        return false;
    }
    // A path that does not name one of the folders is refused unseen: not
    // even its type is asked for.
    std::error_code error;
    std::vector<std::filesystem::path> real;
    bool inFolder = false;
    for (const QString& folder : folders) {
        const std::filesystem::path given = PathOf(QDir::cleanPath(folder));
        std::filesystem::path canonical = std::filesystem::canonical(given, error);
        if (error) {
            continue;
        }
        inFolder = inFolder || named.parent_path() == given || named.parent_path() == canonical;
        real.push_back(std::move(canonical));
    }
    if (!inFolder) {
        return false;
    }
    // Resolving links reads names only, and the resolved path has no link
    // left, so its status is the type of what the engine would open.
    const std::filesystem::path target = std::filesystem::canonical(named, error);
    if (error || std::find(real.begin(), real.end(), target.parent_path()) == real.end()) {
        return false;
    }
    return std::filesystem::is_regular_file(std::filesystem::status(target, error));
}

void TReportRequestFilter::interceptRequest(QWebEngineUrlRequestInfo& info) {
    const QUrl url = info.requestUrl();
    const QByteArray scheme = url.scheme().toLatin1().toLower();
    bool allowed =
        scheme == ReportSchemeName() || scheme == "data" || scheme == "about" || scheme == "qrc";
    if (scheme == "file") {
        // Decided before the engine opens anything: its file loader would
        // wait on a FIFO for good, and the program's exit with it. The file
        // checked is the one opened unless someone who may write to the
        // image folders swaps it in between; a page cannot.
        allowed = IsImageFolderFile(url, imageFolders_);
        if (!allowed) {
            qCWarning(lcView, "A report page asked for %s, which is not one of its images: refused",
                      qUtf8Printable(url.toDisplayString()));
        }
    }
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
