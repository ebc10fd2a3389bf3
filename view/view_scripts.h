#pragma once
// The view's page scripts, built into the view as resources (view/scripts/,
// view_scripts.qrc). Every document the view shows gets them at its creation,
// in the application's world of its main frame: the page's own scripts (off
// anyway) run in another world and can neither see nor replace them. The view
// then calls their functions by name (page_update.h, typed_values.h,
// view_style.h) instead of sending their text with each call.

#include <QList>
#include <QString>

class QWebEngineScript;

namespace quillar {

// The text of the script resource name (e.g. "page_update.js"), or an empty
// text, logged as an error, when the view was built without it.
QString ViewScriptSource(const QString& name);

// The scripts for a report page's collection: every script resource, run at
// document creation in the application's world of the main frame only, and
// the adoption of the view's style sheet. A missing resource is logged and
// left out: the view then loads each page afresh, with no typed values kept.
QList<QWebEngineScript> ViewDocumentScripts();

} // namespace quillar
