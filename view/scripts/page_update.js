// The in-place update of the document on screen (view/page_update.h).
//
// Injected into every document the view shows, in the application's world:
// the page's own scripts (off anyway) run in another world, where nothing of
// this is seen and nothing can replace it. Each tick then sends a call of
// quillarUpdate with the changed span, not this text.
(function () {
  // The source lives in the application world's window object, which lasts
  // as long as the document.
  function update(base, from, tail, text, headLength, fresh, linesPerPart) {
    var w = window;
    // Attributes are copied as nodes: the parser takes names (from device text
    // such as <x "y>) that setAttribute refuses.
    function syncAttributes(to, model) {
      var i, a, old = to.attributes;
      for (i = old.length - 1; i >= 0; --i) {
        a = old[i];
        if (!model.hasAttributeNS(a.namespaceURI, a.localName))
          to.removeAttributeNS(a.namespaceURI, a.localName);
      }
      for (i = 0; i < model.attributes.length; ++i) {
        a = model.attributes[i];
        if (to.getAttributeNS(a.namespaceURI, a.localName) !== a.value)
          to.setAttributeNodeNS(document.importNode(a, false));
      }
    }
    function sameAttributes(a, b) {
      if (a.attributes.length !== b.attributes.length) return false;
      for (var i = 0; i < a.attributes.length; ++i) {
        var x = a.attributes[i];
        if (b.getAttributeNS(x.namespaceURI, x.localName) !== x.value) return false;
      }
      return true;
    }
    function sameKind(o, n) {
      return o.nodeType === n.nodeType && o.nodeName === n.nodeName && o.nodeName !== 'TEMPLATE';
    }
    function morphNode(o, n) {
      if (o.nodeType === Node.ELEMENT_NODE) {
        syncAttributes(o, n);
        morphChildren(o, n);
      } else if (o.nodeValue !== n.nodeValue) {
        o.nodeValue = n.nodeValue;
      }
    }
    // Keeps the equal runs at both ends, morphs the nodes of the same kind at
    // the start of the differing middle and replaces the rest of it, so that an
    // input box stays the same element (focus, caret, typed value) while the
    // text around it changes.
    // With from given (a child of oldParent, or null for its end), the children
    // before it stay as they are and the rest is brought to newParent's.
    // Answers the last child that stayed as it was before the first change
    // (null: the change starts at the first child), or undefined for no change.
    function morphChildren(oldParent, newParent, from) {
      var whole = arguments.length < 3;
      if (whole && !newParent.firstChild) {
        oldParent.textContent = '';
        return null;
      }
      var o = whole ? oldParent.firstChild : from, n = newParent.firstChild;
      while (o && n && o.isEqualNode(n)) { o = o.nextSibling; n = n.nextSibling; }
      if (!o && !n) return undefined;
      var oldPrefixEnd = o ? o.previousSibling : oldParent.lastChild;
      var newPrefixEnd = n ? n.previousSibling : newParent.lastChild;
      var oe = oldParent.lastChild, ne = newParent.lastChild;
      while (oe && ne && oe !== oldPrefixEnd && ne !== newPrefixEnd && oe.isEqualNode(ne)) {
        oe = oe.previousSibling; ne = ne.previousSibling;
      }
      var oldRef = oe ? oe.nextSibling : oldParent.firstChild;
      var newRef = ne ? ne.nextSibling : newParent.firstChild;
      var oldMid = [], newMid = [], x;
      for (x = o; x && x !== oldRef; x = x.nextSibling) oldMid.push(x);
      for (x = n; x && x !== newRef; x = x.nextSibling) newMid.push(x);
      var i = 0;
      while (i < oldMid.length && i < newMid.length && sameKind(oldMid[i], newMid[i])) {
        morphNode(oldMid[i], newMid[i]);
        ++i;
      }
      if (i < oldMid.length) {
        var gone = document.createRange();
        gone.setStartBefore(oldMid[i]);
        gone.setEndAfter(oldMid[oldMid.length - 1]);
        gone.deleteContents();
      }
      if (i < newMid.length) {
        var added = document.createDocumentFragment();
        for (var j = i; j < newMid.length; ++j) added.appendChild(document.adoptNode(newMid[j]));
        oldParent.insertBefore(added, oldRef);
      }
      return oldPrefixEnd;
    }
    // A long report is laid out in parts of linesPerPart lines. The body gets a
    // shadow tree of one box per part; each box shows a run of the body's own
    // children through a slot and is laid out only while it is near the
    // viewport (content-visibility), so the engine keeps the layout of a screen
    // or two, not of every line received: one layout of a whole report costs
    // about 100 MB per MB of text. The document itself stays as parsed. A part
    // ends after a <br> that is a child of the body, where a line ends anyway.
    // Reports of fewer than ten parts keep the engine's own layout.
    function layOutInParts(unchangedUpTo) {
      var body = document.body, parts = w.quillarParts;
      if (!(linesPerPart > 0) || unchangedUpTo === undefined && parts && parts.body === body)
        return;
      if (!parts || parts.body !== body) {
        w.quillarParts = undefined;
        var lines = 0, limit = linesPerPart * 10;
        for (var c = body.firstChild; c && lines < limit; c = c.nextSibling)
          if (c.nodeName === 'BR') ++lines;
        if (lines < limit || body.shadowRoot) return;
        var style = getComputedStyle(body), lineHeight = parseFloat(style.lineHeight);
        if (!(lineHeight > 0)) lineHeight = 1.2 * parseFloat(style.fontSize) || 19;
        parts = w.quillarParts = {
          body: body,
          root: body.attachShadow({ mode: 'open', slotAssignment: 'manual' }),
          list: [],
          byFirstNode: new Map(),
          lineHeight: lineHeight
        };
        unchangedUpTo = null;
      }
      // The part holding the last unchanged node is built again from its start,
      // with every part after it.
      var keep = 0;
      for (var x = unchangedUpTo; x; x = x.previousSibling) {
        var part = parts.byFirstNode.get(x);
        if (part) { keep = part.index; break; }
      }
      var start = keep > 0 ? parts.list[keep].first : body.firstChild;
      for (var k = keep; k < parts.list.length; ++k) {
        parts.root.removeChild(parts.list[k].box);
        parts.byFirstNode.delete(parts.list[k].first);
      }
      parts.list.length = keep;
      var nodes = [], count = 0;
      function addPart() {
        var box = document.createElement('div'), slot = document.createElement('slot');
        box.style.cssText = 'display:block;content-visibility:auto;contain-intrinsic-size:auto ' +
                            Math.max(count, 1) * parts.lineHeight + 'px';
        box.appendChild(slot);
        parts.root.appendChild(box);
        slot.assign.apply(slot, nodes);
        var part = { index: parts.list.length, first: nodes[0], box: box };
        parts.list.push(part);
        parts.byFirstNode.set(part.first, part);
        nodes = [];
        count = 0;
      }
      // A part also ends after 10,000 nodes without a line break: a slot takes
      // its nodes as the arguments of one call. The line breaks there.
      for (var n = start; n; n = n.nextSibling) {
        nodes.push(n);
        if (n.nodeName === 'BR' && ++count === linesPerPart || nodes.length === 10000) addPart();
      }
      if (nodes.length) addPart();
    }
    // Parses only the source after the last line break before the change: a
    // <br> that ended up a direct child of the body leaves the parser in a
    // clean state (in body, nothing open, data state), so the document up to it
    // is what a fresh load of the whole source would give as well. Whether the
    // break found in the source is such a one is checked against the document:
    // the old source after it must parse into exactly the body's last children,
    // right after a <br> of the body. Answers false when that does not hold.
    function updateTail(old, source) {
      if (from < headLength + 4) return false;
      var cut = old.lastIndexOf('<br>', from - 4);
      if (cut < headLength) return false;
      cut += 4;
      var head = old.substring(0, headLength), parser = new DOMParser();
      var oldTail = parser.parseFromString(head + old.substring(cut), 'text/html');
      var newTail = parser.parseFromString(head + source.substring(cut), 'text/html');
      if (!oldTail.body || !newTail.body || oldTail.body.nodeName !== 'BODY' ||
          newTail.body.nodeName !== 'BODY' || !sameAttributes(oldTail.body, newTail.body) ||
          !sameAttributes(oldTail.documentElement, newTail.documentElement))
        return false;
      var live = document.body.lastChild;
      for (var m = oldTail.body.lastChild; m; m = m.previousSibling) {
        if (!live || !live.isEqualNode(m)) return false;
        live = live.previousSibling;
      }
      if (!live || live.nodeName !== 'BR') return false;
      var unchanged = morphChildren(document.body, newTail.body, live.nextSibling);
      return { unchangedUpTo: unchanged === null ? live : unchanged };
    }
    var source;
    if (base < 0) {
      source = text;
    } else {
      var old = w.quillarSource;
      if (typeof old !== 'string' || old.length !== base) return false;
      source = old.substring(0, from) + text + old.substring(old.length - tail);
    }
    w.quillarSource = undefined;
    try {
      if (!document.body) return false;
      if (fresh) {
        // A new report: nothing of the old one, typed or scrolled, stays.
        // One new body instead of removing the old report's nodes one by one.
        w.quillarParts = undefined;
        document.documentElement.replaceChild(document.createElement('body'), document.body);
        window.scrollTo(0, 0);
      }
      var tailDone = !fresh && base >= 0 && updateTail(old, source), unchangedUpTo;
      if (tailDone) {
        unchangedUpTo = tailDone.unchangedUpTo;
      } else {
        var parsed = new DOMParser().parseFromString(source, 'text/html');
        if (!parsed.body) return false;
        syncAttributes(document.documentElement, parsed.documentElement);
        syncAttributes(document.body, parsed.body);
        unchangedUpTo = morphChildren(document.body, parsed.body);
      }
      layOutInParts(unchangedUpTo);
    } catch (e) {
      return false;
    }
    w.quillarSource = source;
    return true;
  }

  Object.defineProperty(window, 'quillarUpdate', {value: update});
})();
