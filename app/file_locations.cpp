#include "app/file_locations.h"

#include "app/config.h"
#include "app/file_system.h"
#include "report/data_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace quillar {

namespace {

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

// The folder of path, as UTF-8 text with the separators as written.
std::string Parent(const std::string& path) {
    return Utf8Path(FsPath(path).parent_path());
}

// An XDG base directory counts only when absolute; a relative one is ignored.
std::optional<std::string> AbsoluteVariable(const LocationProbe& probe, const std::string& name) {
    const std::optional<std::string> value = probe.environment(name);
    if (value && !value->empty() && value->front() == '/')
        return value;
    return std::nullopt;
}

} // namespace

FileLocations LocateFiles(const std::string& executablePath, const LocationProbe& probe) {
    const std::string executableDir = WithSlash(Parent(executablePath));
    FileLocations portable;
    portable.iniPath = IniPathForExecutable(executablePath);
    portable.logoDir = executableDir;
    portable.stateImageDir = executableDir;
    portable.portable = true;
    if (probe.exists(portable.iniPath))
        return portable;

    std::string configHome;
    if (const auto xdg = AbsoluteVariable(probe, "XDG_CONFIG_HOME")) {
        configHome = WithSlash(*xdg);
    } else if (const auto home = AbsoluteVariable(probe, "HOME")) {
        configHome = WithSlash(*home) + ".config/";
    } else {
        return portable;
    }
    FileLocations installed;
    installed.logoDir = configHome + "quillar/";
    installed.iniPath = installed.logoDir + "quillar.ini";
    const std::string dataDir = InstalledDataFolder(executableDir);
    installed.stateImageDir = probe.exists(dataDir + "0.png") ? dataDir : executableDir;
    return installed;
}

LocationProbe SystemProbe() {
    LocationProbe probe;
    probe.environment = [](const std::string& name) -> std::optional<std::string> {
        if (const char* value = std::getenv(name.c_str()))
            return std::string(value);
        return std::nullopt;
    };
    probe.exists = [](const std::string& path) {
        std::error_code error;
        return std::filesystem::exists(FsPath(path), error);
    };
    return probe;
}

} // namespace quillar
