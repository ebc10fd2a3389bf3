#include "view/font_configuration.h"

#include "report/data_folder.h"

#include <filesystem>
#include <system_error>

namespace quillar {

std::string ShippedFontConfiguration(const std::string& executableDir) {
    const std::string candidates[] = {executableDir + "quillar-fonts.conf",
                                      InstalledDataFolder(executableDir) + "fonts.conf"};
    for (const std::string& path : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) {
            return path;
        }
    }
    return {};
}

} // namespace quillar
