#pragma once
// Where the program's files are. A portable copy keeps everything beside the
// executable; an installed program keeps the user's files in the user's
// configuration folder and its own in the installed data folder. No Qt here.

#include <functional>
#include <optional>
#include <string>

namespace quillar {

struct FileLocations {
    std::string iniPath;       // the configuration file
    std::string logoDir;       // the workshop's logo.bmp; ends with '/'
    std::string stateImageDir; // 0.png .. 10.png; ends with '/'
    bool portable = false;     // the configuration is beside the executable
};

// What the decision reads from the machine; tests give their own.
struct LocationProbe {
    std::function<std::optional<std::string>(const std::string& name)> environment;
    std::function<bool(const std::string& path)> exists;
};

// executablePath is absolute, UTF-8. A quillar.ini beside it (the executable's
// path with ".ini") makes a portable copy: configuration, logo and state images
// are taken from there, as always. Otherwise the configuration is
// $XDG_CONFIG_HOME/quillar/quillar.ini ($HOME/.config when the variable is
// unset or not absolute), the logo is looked up in that folder, and the state
// images come from <prefix>/share/quillar beside the installed bin folder,
// else from beside the executable (a build tree). Without any home folder the
// program stays portable.
FileLocations LocateFiles(const std::string& executablePath, const LocationProbe& probe);

// The real environment and file system.
LocationProbe SystemProbe();

} // namespace quillar
