#pragma once
// The engine set up as report pages need it, in one place for the view and
// for the pages it renders off screen: an off-the-record profile serving
// pages from memory, settings that keep the pages' own scripts off, and the
// view's style sheet in every document.

#include <QWebEngineProfile>

#include <memory>

class QWebEnginePage;
class QWebEngineSettings;
class QWebEngineUrlRequestInterceptor;

namespace quillar {

class TReportSchemeHandler;

// A profile that keeps nothing on disk, serves the report scheme from
// handler and lets filter see every request. Both must outlive it.
std::unique_ptr<QWebEngineProfile> MakeReportProfile(TReportSchemeHandler& handler,
                                                     QWebEngineUrlRequestInterceptor& filter);

// The settings of a report page: no page scripts, windows, plugins or
// storage; local images on.
void ApplyReportSettings(QWebEngineSettings& settings);

// The page's settings, and the view's scripts and style sheet in every
// document it creates (view_scripts.h).
void PrepareReportPage(QWebEnginePage& page);

} // namespace quillar
