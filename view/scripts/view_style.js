// How the view presents a report page and puts it on paper
// (view/view_style.h), injected into every document the view shows, in the
// application's world.
(function () {
  // The view's style sheet (its text comes from the view), adopted by the
  // document: no element is added to the page.
  function adoptViewStyle(rules) {
    var sheet = new CSSStyleSheet();
    sheet.replaceSync(rules);
    document.adoptedStyleSheets = document.adoptedStyleSheets.concat([sheet]);
  }

  // The form pads each label with blanks so that the boxes line up in its
  // monospaced face; where one label is too long for that (the registration
  // in Norwegian and Romanian) its box and the date's start further right
  // and are given half the width to end where the others do not. Measured
  // here and mended in a sheet of the view's own: every box starts where
  // the furthest one does, and the first three end together, as in English.
  function alignFormBoxes() {
    var w = window, doc = document;
    if (!w.quillarFormSheet) {
      w.quillarFormSheet = new CSSStyleSheet();
      doc.adoptedStyleSheets = doc.adoptedStyleSheets.concat([w.quillarFormSheet]);
    }
    w.quillarFormSheet.replaceSync('');
    var rule = doc.getElementById('u'), ids = ['a', 'b', 'c', 'd'], boxes = [], i;
    if (!rule || rule.tagName !== 'INPUT' || !rule.readOnly) return false;
    for (i = 0; i < ids.length; ++i) {
      var box = doc.getElementById(ids[i]);
      if (!box || box.tagName !== 'INPUT') return false;
      boxes.push(box.getBoundingClientRect());
    }
    var start = 0, end = 0;
    for (i = 0; i < boxes.length; ++i) start = Math.max(start, boxes[i].left);
    for (i = 0; i < 3; ++i) end = Math.max(end, boxes[i].right);
    var sheet = '';
    for (i = 0; i < boxes.length; ++i) {
      sheet += '#' + ids[i] + ' { margin-left: ' + (start - boxes[i].left) + 'px; ';
      if (i < 3 && end - start > boxes[i].width / 2)
        sheet += 'width: ' + (end - start) + 'px; box-sizing: border-box; ';
      sheet += '}\n';
    }
    w.quillarFormSheet.replaceSync(sheet);
    return true;
  }

  // Measured on the screen's layout: content that does not fill the width
  // there (a form of fixed width, short lines) has the same width on paper
  // and is centred on the sheet; content that fills it (wrapped text, a
  // table of 100 %) keeps the sheet's width. A form up to half a sheet too
  // tall is scaled onto one sheet; anything longer runs over pages as it
  // is, and a long report is not measured at all: that would lay all of it
  // out.
  function prepareForPaper(sheetWidth, sheetHeight) {
    var body = document.body, w = window, doc = document;
    if (!body) return false;
    if (!w.quillarPrintSheet) {
      w.quillarPrintSheet = new CSSStyleSheet();
      doc.adoptedStyleSheets = doc.adoptedStyleSheets.concat([w.quillarPrintSheet]);
    }
    var old = doc.querySelectorAll('.quillar-print-value'), i;
    for (i = 0; i < old.length; ++i) old[i].remove();
    old = doc.querySelectorAll('[data-quillar-long]');
    for (i = 0; i < old.length; ++i) old[i].removeAttribute('data-quillar-long');
    // The screen's furniture stays on the screen.
    var rules = '.quillar-print-value { display: none; }\n' +
        '@media print {\n' +
        ' *, *:focus, *:focus-visible { outline: none !important; }\n' +
        ' input, textarea { caret-color: transparent !important; }\n' +
        ' ::selection { background: transparent !important; color: inherit !important; }\n' +
        ' [data-quillar-long] { display: none !important; }\n' +
        ' .quillar-print-value { display: block !important; white-space: pre-wrap; ' +
        'overflow-wrap: anywhere; }\n' +
        '}\n';
    w.quillarPrintSheet.replaceSync(rules);
    if (body.getElementsByTagName('*').length > 5000) return true;
    // A box too short for its value: the value is printed whole below its label,
    // in the box's face, wrapped where it must be.
    var boxes = body.getElementsByTagName('input'), grown = 0;
    for (i = 0; i < boxes.length; ++i) {
      var box = boxes[i], type = (box.getAttribute('type') || 'text').toLowerCase();
      if (type !== 'text' || box.scrollWidth <= box.clientWidth + 1) continue;
      var look = getComputedStyle(box), copy = doc.createElement('div');
      copy.className = 'quillar-print-value';
      copy.textContent = box.value;
      ['font-family', 'font-size', 'font-weight', 'font-style', 'color', 'text-align',
       'padding-left', 'padding-right', 'padding-top', 'padding-bottom',
       'margin-left', 'margin-right', 'margin-top', 'margin-bottom', 'border-bottom'
      ].forEach(function (p) { copy.style.setProperty(p, look.getPropertyValue(p)); });
      copy.style.width = box.getBoundingClientRect().width + 'px';
      copy.style.boxSizing = 'border-box';
      box.setAttribute('data-quillar-long', '');
      box.after(copy);
      // On paper the copy stands in the box's place: the form is that much taller.
      copy.style.display = 'block';
      grown += copy.getBoundingClientRect().height - box.getBoundingClientRect().height;
      copy.style.removeProperty('display');
    }
    var range = doc.createRange();
    range.selectNodeContents(body);
    var content = range.getBoundingClientRect(), style = getComputedStyle(body);
    var available = body.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
    var page = '';
    if (content.width > 0 && content.width < available - 1)
      page += ' body { width: ' + Math.ceil(content.width) +
          'px; max-width: 100%; margin-left: auto; margin-right: auto; }\n';
    var height = body.getBoundingClientRect().bottom + w.scrollY + parseFloat(style.marginBottom) +
                 Math.max(grown, 0);
    // Text is laid out a little differently on paper: a few per cent to spare.
    var fits = sheetHeight * 0.97;
    if (fits > 0 && height > fits && height <= sheetHeight * 1.5)
      page += ' html { zoom: ' + Math.floor(fits / height * 1000) / 1000 + '; }\n';
    if (page) w.quillarPrintSheet.replaceSync(rules + '@media print {\n' + page + '}\n');
    return true;
  }

  function afterPaper() {
    var old = document.querySelectorAll('.quillar-print-value'), i;
    for (i = 0; i < old.length; ++i) old[i].remove();
    old = document.querySelectorAll('[data-quillar-long]');
    for (i = 0; i < old.length; ++i) old[i].removeAttribute('data-quillar-long');
    return true;
  }

  Object.defineProperty(window, 'quillarAdoptViewStyle', {value: adoptViewStyle});
  Object.defineProperty(window, 'quillarAlignFormBoxes', {value: alignFormBoxes});
  Object.defineProperty(window, 'quillarPrepareForPaper', {value: prepareForPaper});
  Object.defineProperty(window, 'quillarAfterPaper', {value: afterPaper});
})();
