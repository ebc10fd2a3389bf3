#pragma once
// The report pages' fill-in boxes as the shell reads them: a box's value in
// what the view captured. Which box holds what is the model table's
// (report/models.h).

#include <QString>

#include <string>
#include <string_view>

namespace quillar {

// The value typed into box (a key such as "#vehicle") in the JSON text of
// TTypedValues::CaptureScript; empty when there is none or box is empty.
std::string TypedBoxValue(const QString& typedJson, std::string_view box);

// The registration typed into the page of model; empty for a name that is no model.
std::string TypedRegistration(const QString& typedJson, std::string_view model);

} // namespace quillar
