#include "view/font_configuration.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace quillar {

void UseShippedFontConfiguration() {
    if (std::getenv("FONTCONFIG_FILE") != nullptr) {
        return;
    }
    // Before the application object there is no Qt call for the executable's path.
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return; // the system's fonts, as without the file
    }
    const std::string file = ShippedFontConfiguration(executable.parent_path().string() + "/");
    if (!file.empty()) {
        setenv("FONTCONFIG_FILE", file.c_str(), 1);
    }
}

} // namespace quillar
