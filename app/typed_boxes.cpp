#include "app/typed_boxes.h"

#include "report/models.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace quillar {

std::string TypedBoxValue(const QString& typedJson, std::string_view box) {
    if (box.empty())
        return {};
    return QJsonDocument::fromJson(typedJson.toUtf8())
        .object()
        .value(QStringLiteral("fields"))
        .toObject()
        .value(QString::fromUtf8(box.data(), qsizetype(box.size())))
        .toObject()
        .value(QStringLiteral("value"))
        .toString()
        .toStdString();
}

std::string TypedRegistration(const QString& typedJson, std::string_view model) {
    const ModelTraits* traits = TraitsOf(model);
    return traits != nullptr ? TypedBoxValue(typedJson, traits->registrationBox) : std::string();
}

} // namespace quillar
