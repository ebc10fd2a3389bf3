#pragma once
// How the view presents a report page without changing the page itself: a
// style sheet of the view's own, adopted by every document the view shows
// (no element is added to the page).

#include <QString>

namespace quillar {

// The style sheet's rules.
QString ViewStyleSheet();

// A script for the application's world, run when a document is created, that
// adopts the style sheet into it.
QString AdoptViewStyleScript();

// A script for the application's world, run before printing, that centres a
// report narrower than the sheet on it (the margins come from the print path).
QString CentreForPrintScript();

} // namespace quillar
