#include "view/view_style.h"

#include "view/page_update.h"

namespace quillar {

QString ViewStyleSheet() {
    return QStringLiteral(
        // Typed text in the page's own face and size: the engine's default
        // for boxes is a small sans (13 px) under labels of 22 px. A read-only
        // box is a rule across the form, sized in characters of the default.
        "input:not([readonly]), textarea, select { font-family: inherit; font-size: inherit; }\n"
        // An image whose source the printout did not give (a state gauge
        // without its percentage) keeps its place and shows nothing, instead
        // of the engine's broken-image sign.
        "img:not([src]), img[src=''], img[src^='<!--'] { visibility: hidden; }\n");
}

QString AlignFormBoxesScript() {
    return QStringLiteral("quillarAlignFormBoxes()");
}

QString AdoptViewStyleScript() {
    return QStringLiteral("quillarAdoptViewStyle(") + JsStringLiteral(ViewStyleSheet()) +
           QStringLiteral(");");
}

QString PrepareForPaperScript(const QSizeF& printable) {
    return QStringLiteral("quillarPrepareForPaper(%1, %2)")
        .arg(printable.width())
        .arg(printable.height());
}

QString AfterPaperScript() {
    return QStringLiteral("quillarAfterPaper()");
}

} // namespace quillar
