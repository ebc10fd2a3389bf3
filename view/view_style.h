#pragma once
// How the view presents a report page without changing the page itself: a
// style sheet of the view's own, adopted by every document the view shows
// (no element is added to the page).

#include <QSizeF>
#include <QString>

namespace quillar {

// The style sheet's rules.
QString ViewStyleSheet();

// The calls below are for the application's world of a document the view
// shows; their functions come from the view's view_style.js.

// Run when a document is created, after view_style.js: adopts the style
// sheet into it.
QString AdoptViewStyleScript();

// Run after every page shown: lines up the fill-in boxes of a KD318 form in
// every language. Answers whether the page is such a form.
QString AlignFormBoxesScript();

// Run before the page goes to paper (printing and the archive's PDF).
// printable is the sheet's area inside its margins in CSS pixels. Adds
// print-only rules: no focus ring, caret or selection; a report narrower than
// the sheet centred on it; a form a little taller than the sheet scaled to
// fit one sheet; a typed value longer than its box printed whole, wrapped, in
// place of the box. Answers true.
QString PrepareForPaperScript(const QSizeF& printable);

// Takes away what PrepareForPaperScript added to the document (the print
// sheet's rules stay and are made anew next time).
QString AfterPaperScript();

} // namespace quillar
