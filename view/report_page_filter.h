#pragma once
// What a report page may load and where it may go. Report pages carry text
// from a serial device unescaped, so nothing in them may reach the network
// or lead the view away from the report.

#include <QStringList>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>

namespace quillar {

// Whether url is a file:// URL of a regular file directly in one of folders,
// with every link resolved (a link out of the folders does not count). Only
// names and types are asked of the file system, and only for a path that
// names one of the folders: nothing is opened, so a FIFO or a device cannot
// hold the caller.
bool IsImageFolderFile(const QUrl& url, const QStringList& folders);

// Blocks every request whose scheme is not the report scheme, file, data,
// about or qrc: no page reaches the network. A file:// request goes through
// only for a file of the image folders (IsImageFolderFile); the engine opens
// nothing else.
class TReportRequestFilter : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    // The folders of the pages' own images (the logo's and the state images').
    // None until set: every file:// request is blocked.
    void SetImageFolders(QStringList folders) { imageFolders_ = std::move(folders); }

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

private:
    QStringList imageFolders_;
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
