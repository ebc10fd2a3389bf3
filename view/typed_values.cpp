#include "view/typed_values.h"

#include <QJsonDocument>

namespace quillar {

QString TTypedValues::CaptureScript() {
    return QStringLiteral("quillarCaptureTyped()");
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
    // JSON is a JavaScript literal: ids and values reach the function as data,
    // whatever characters they hold.
    return QStringLiteral("quillarRestoreTyped(") + ToJson() + QLatin1Char(')');
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
