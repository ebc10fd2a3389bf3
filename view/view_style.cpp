#include "view/view_style.h"

#include "view/page_update.h"

namespace quillar {

QString ViewStyleSheet() {
    return QStringLiteral(
        // Typed text in the page's own face and size: the engine's default
        // for boxes is a small sans (13 px) under labels of 22 px. A read-only
        // box is a rule across the form, sized in characters of the default.
        "input:not([readonly]), textarea, select { font-family: inherit; font-size: inherit; }\n");
}

QString AdoptViewStyleScript() {
    return QStringLiteral(
               "(function () {"
               "  var sheet = new CSSStyleSheet();"
               "  sheet.replaceSync(%1);"
               "  document.adoptedStyleSheets = document.adoptedStyleSheets.concat([sheet]);"
               "})();")
        .arg(JsStringLiteral(ViewStyleSheet()));
}

QString CentreForPrintScript() {
    // Measured on the screen's layout: content that does not fill the width
    // there (a form of fixed width, short lines) has the same width on paper
    // and is centred on the sheet; content that fills it (wrapped text, a
    // table of 100 %) keeps the sheet's width. A long report runs over pages
    // as it is: measuring it would lay all of it out.
    return QStringLiteral(R"JS(
(function () {
  var body = document.body, w = window;
  if (!body) return false;
  if (!w.quillarPrintSheet) {
    w.quillarPrintSheet = new CSSStyleSheet();
    document.adoptedStyleSheets = document.adoptedStyleSheets.concat([w.quillarPrintSheet]);
  }
  w.quillarPrintSheet.replaceSync('');
  if (body.getElementsByTagName('*').length > 5000) return true;
  var range = document.createRange();
  range.selectNodeContents(body);
  var content = range.getBoundingClientRect(), style = getComputedStyle(body);
  var available = body.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
  if (!(content.width > 0) || content.width >= available - 1) return true;
  w.quillarPrintSheet.replaceSync('@media print { body { width: ' + Math.ceil(content.width) +
      'px; max-width: 100%; margin-left: auto; margin-right: auto; } }');
  return true;
})()
)JS");
}

} // namespace quillar
