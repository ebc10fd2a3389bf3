#pragma once
// The report pages' fill-in boxes as the shell reads them: which box holds
// what for each model, and a box's value in what the view captured.

#include <QString>

#include <string>

namespace quillar {

// The box that holds the vehicle registration: the KD520 page asks for it in
// "vehicle", the KD318 form in its third box.
const char* RegistrationBox(const std::string& model);

// The value typed into box (a key such as "#vehicle") in the JSON text of
// TTypedValues::CaptureScript; empty when there is none.
std::string TypedBoxValue(const QString& typedJson, const char* box);

} // namespace quillar
