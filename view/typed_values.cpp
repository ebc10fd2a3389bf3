#include "view/typed_values.h"

#include <QJsonDocument>

namespace quillar {

namespace {

// Shared by both scripts so that they name the boxes the same way: "#" and the
// id, or "@" and the position among boxes without an id. The first box with an
// id wins, as with getElementById.
const char* const kBoxes = R"JS(
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
)JS";

} // namespace

QString TTypedValues::CaptureScript() {
    return QString::fromLatin1(kBoxes) + QStringLiteral(R"JS(
(function () {
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
})()
)JS");
}

void TTypedValues::Merge(const QVariant& captured) {
    if (captured.typeId() != QMetaType::QString) {
        return;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(captured.toString().toUtf8());
    if (!doc.isObject()) {
        return;
    }
    const QJsonObject result = doc.object();
    const QJsonObject fields = result.value(QStringLiteral("fields")).toObject();
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        fields_.insert(it.key(), it.value());
    }
    scrollX_ = result.value(QStringLiteral("x")).toDouble();
    scrollY_ = result.value(QStringLiteral("y")).toDouble();
}

void TTypedValues::Replace(const QVariant& captured) {
    if (captured.typeId() != QMetaType::QString ||
        !QJsonDocument::fromJson(captured.toString().toUtf8()).isObject()) {
        return;
    }
    Clear();
    Merge(captured);
}

QString TTypedValues::ToJson() const {
    QJsonObject kept;
    kept.insert(QStringLiteral("fields"), fields_);
    kept.insert(QStringLiteral("x"), scrollX_);
    kept.insert(QStringLiteral("y"), scrollY_);
    return QString::fromUtf8(QJsonDocument(kept).toJson(QJsonDocument::Compact));
}

QString TTypedValues::RestoreScript() const {
    // JSON is a JavaScript literal: ids and values reach the script as data,
    // whatever characters they hold.
    const QString literal = ToJson();
    return QString::fromLatin1(kBoxes) + QStringLiteral(R"JS(
(function (kept) {
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
})()JS") + literal +
           QStringLiteral(")");
}

bool TTypedValues::IsEmpty() const {
    return fields_.isEmpty() && scrollX_ == 0 && scrollY_ == 0;
}

void TTypedValues::Clear() {
    fields_ = QJsonObject();
    scrollX_ = 0;
    scrollY_ = 0;
}

} // namespace quillar
