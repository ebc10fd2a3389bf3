// What the user typed into a report page (view/typed_values.h), injected
// into every document the view shows, in the application's world.
(function () {
  // Shared by both functions so that they name the boxes the same way: "#"
  // and the id, or "@" and the position among boxes without an id. The first
  // box with an id wins, as with getElementById.
  function quillarBoxes() {
    var boxes = [], seen = {}, unnamed = 0;
    var all = document.querySelectorAll('input, textarea');
    for (var i = 0; i < all.length; ++i) {
      var e = all[i];
      var type = (e.type || '').toLowerCase();
      if (type === 'hidden' || type === 'file' || type === 'submit' || type === 'button' ||
          type === 'reset' || type === 'image') continue;
      var key = e.id ? '#' + e.id : '@' + (unnamed++);
      if (Object.prototype.hasOwnProperty.call(seen, key)) continue;
      seen[key] = true;
      boxes.push({key: key, element: e, checkable: type === 'checkbox' || type === 'radio'});
    }
    return boxes;
  }

  // The typed values and the scroll position of the page shown, as a JSON
  // string.
  function capture() {
    var fields = {};
    quillarBoxes().forEach(function (b) {
      var e = b.element;
      if (b.checkable) {
        if (e.checked !== e.defaultChecked) fields[b.key] = {checked: e.checked};
      } else if (e.value !== e.defaultValue) {
        fields[b.key] = {value: e.value};
      }
    });
    return JSON.stringify({fields: fields, x: window.scrollX, y: window.scrollY});
  }

  // Puts kept values (capture's JSON, parsed) back into the boxes of the page
  // shown and restores the scroll position.
  function restore(kept) {
    quillarBoxes().forEach(function (b) {
      if (!Object.prototype.hasOwnProperty.call(kept.fields, b.key)) return;
      var f = kept.fields[b.key];
      if (b.checkable) {
        if (typeof f.checked === 'boolean') b.element.checked = f.checked;
      } else if (typeof f.value === 'string') {
        b.element.value = f.value;
      }
    });
    window.scrollTo(kept.x, kept.y);
    return true;
  }

  Object.defineProperty(window, 'quillarCaptureTyped', {value: capture});
  Object.defineProperty(window, 'quillarRestoreTyped', {value: restore});
})();
