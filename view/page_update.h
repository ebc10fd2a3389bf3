#pragma once
// Bringing the document on screen to a new page in place, without a new load:
// typing, focus, caret, selection and scroll position survive, and the engine
// keeps one document (and one process) for the whole report.
//
// The engine's application world keeps the source of the page it shows; each
// update sends only the changed span of that source. The script parses the
// source after the last line break before the change (the whole source when
// that is not safe) as a fresh load would, then changes the live document
// only where it differs from the parsed one.

#include <QString>

namespace quillar {

// The page source up to and including its opening body tag, or an empty text
// when the page has no body tag or does not declare UTF-8 (such a page is
// always loaded afresh).
QString PageHeadOf(const QString& page);

// The length of the head that both pages have, or 0 when they differ in it
// or have none: only pages with a shared head are brought in place.
qsizetype SharedHeadLength(const QString& shown, const QString& next);

// The span of shown that differs from next: shown[from, shown.size() - tail)
// is replaced by next[from, next.size() - tail). Surrogate pairs are never cut.
struct PageEdit {
    qsizetype from = 0;
    qsizetype tail = 0;
    QString text; // the replacement
};
PageEdit DiffPages(const QString& shown, const QString& next);

// text as a JavaScript string literal: only printable ASCII stays as it is,
// everything else (controls, line separators, surrogates) is escaped.
QString JsStringLiteral(const QString& text);

// A call for the application's world of a document the view shows (its
// function comes from the view's page_update.js). It applies edit to the
// source the document was last brought to, which must be baseLength UTF-16 units long
// (a baseLength of -1 takes edit.text as the whole source), and morphs the
// document to it; headLength is the length of the pages' common head. A
// change after the last line break of a long report costs as much as that
// last line, not the whole report. Answers true when done, false when the
// engine's source was not the expected one (the caller then loads afresh).
// With startFresh the document is emptied first: no typed value, no scroll
// position of the old report survives. A report of ten times linesPerPart
// lines or more is laid out in parts of that many lines, only those near the
// viewport at a time (0: never).
QString InPlaceUpdateScript(const PageEdit& edit, qsizetype baseLength, qsizetype headLength,
                            bool startFresh, int linesPerPart);

} // namespace quillar
