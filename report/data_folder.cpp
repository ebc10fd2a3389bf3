#include "report/data_folder.h"

namespace quillar {

std::string InstalledDataFolder(const std::string& executableDir) {
    std::string folder = executableDir;
    while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\'))
        folder.pop_back();
    const std::size_t separator = folder.find_last_of("/\\");
    // A bare "bin/" has the current folder as its parent.
    folder.resize(separator == std::string::npos ? 0 : separator + 1);
    return folder + "share/quillar/";
}

} // namespace quillar
