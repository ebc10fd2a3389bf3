// The portable part of the file-system face: what std::filesystem does alike
// on every OS.
#include "app/file_system.h"

namespace quillar {

namespace fs = std::filesystem;

bool PathExists(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(FsPath(path), error));
}

std::string WriteTarget(const std::string& path) {
    std::string target = path;
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code error;
        const fs::path current = FsPath(target);
        if (!fs::is_symlink(fs::symlink_status(current, error)))
            return target;
        const fs::path next = fs::read_symlink(current, error);
        if (error || next.empty())
            return target;
        target = Utf8Path(
            next.is_absolute() || !current.has_parent_path() ? next : current.parent_path() / next);
    }
    return target; // a loop of links: the write fails with the usual message
}

} // namespace quillar
