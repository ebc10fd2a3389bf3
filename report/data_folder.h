#pragma once
// Where an installed Quillar keeps its data (state images, fonts.conf, the
// sample printouts): share/quillar beside the bin folder of its programs.
// The one place that knows it; no Qt, so every program can ask.

#include <string>

namespace quillar {

// The data folder of a program in executableDir ("/usr/bin/" gives
// "/usr/share/quillar/"); both end with a separator ('/' or '\').
std::string InstalledDataFolder(const std::string& executableDir);

} // namespace quillar
