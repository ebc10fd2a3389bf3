#include "app/typed_boxes.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace quillar {

const char* RegistrationBox(const std::string& model) {
    return model == "KD318" ? "#c" : "#vehicle";
}

std::string TypedBoxValue(const QString& typedJson, const char* box) {
    return QJsonDocument::fromJson(typedJson.toUtf8())
        .object()
        .value(QStringLiteral("fields"))
        .toObject()
        .value(QLatin1String(box))
        .toObject()
        .value(QStringLiteral("value"))
        .toString()
        .toStdString();
}

} // namespace quillar
