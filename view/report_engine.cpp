#include "view/report_engine.h"

#include "view/report_scheme_handler.h"
#include "view/view_scripts.h"

#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>

namespace quillar {

std::unique_ptr<QWebEngineProfile> MakeReportProfile(TReportSchemeHandler& handler,
                                                     QWebEngineUrlRequestInterceptor& filter) {
    // No storage name: off the record, nothing of the pages is kept on disk.
    auto profile = std::make_unique<QWebEngineProfile>();
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->setSpellCheckEnabled(false);
    profile->installUrlSchemeHandler(ReportSchemeName(), &handler);
    profile->setUrlRequestInterceptor(&filter);
    ApplyReportSettings(*profile->settings());
    return profile;
}

void ApplyReportSettings(QWebEngineSettings& s) {
    // Pages carry device text unescaped: their own scripts never run. The
    // application's world (runJavaScript) works regardless.
    s.setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s.setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s.setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s.setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s.setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    s.setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    s.setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    s.setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    s.setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    s.setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
    s.setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    s.setAttribute(QWebEngineSettings::WebGLEnabled, false);
    s.setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
    // The pages refer to images beside the executable by file:// URLs.
    s.setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    s.setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s.setAttribute(QWebEngineSettings::AutoLoadImages, true);
}

void PrepareReportPage(QWebEnginePage& page) {
    ApplyReportSettings(*page.settings());
    page.scripts().insert(ViewDocumentScripts());
}

} // namespace quillar
