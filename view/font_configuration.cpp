#include "view/font_configuration.h"

#include <filesystem>
#include <system_error>

namespace quillar {

std::string ShippedFontConfiguration(const std::string& executableDir) {
    const std::string candidates[] = {executableDir + "quillar-fonts.conf",
                                      executableDir + "../share/quillar/fonts.conf"};
    for (const std::string& path : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) {
            return path;
        }
    }
    return {};
}

} // namespace quillar
