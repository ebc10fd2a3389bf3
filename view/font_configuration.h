#pragma once
// The fonts that the report pages and the window ask for (Windows families)
// come from Quillar's own fontconfig file, which maps each to an installed
// free face of the same width class.

#include <string>

namespace quillar {

// The fontconfig file shipped with the program whose executable is in
// executableDir (ending with '/'): beside it in a build or portable copy,
// else in the installed data folder. Empty when neither exists.
std::string ShippedFontConfiguration(const std::string& executableDir);

// Points fontconfig at the shipped file unless the user has chosen one
// (FONTCONFIG_FILE set). Call before the application object exists: Qt and
// the engine's processes read the variable when they start.
void UseShippedFontConfiguration();

} // namespace quillar
