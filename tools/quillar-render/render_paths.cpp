#include "render_paths.h"

#include <algorithm>

namespace quillar::render {

namespace {

bool StartsWithDrive(const std::string& path, std::size_t at) {
    return path.size() >= at + 2 && path[at + 1] == ':' &&
           ((path[at] >= 'A' && path[at] <= 'Z') || (path[at] >= 'a' && path[at] <= 'z'));
}

} // namespace

std::string UrlFolder(std::string folder) {
    std::replace(folder.begin(), folder.end(), '\\', '/');
    if (StartsWithDrive(folder, 0)) {
        folder.insert(0, 1, '/');
    }
    if (!folder.ends_with('/')) {
        folder += '/';
    }
    return folder;
}

std::string FilePathOfUrlPath(const std::string& urlPath) {
    return urlPath.starts_with('/') && StartsWithDrive(urlPath, 1) ? urlPath.substr(1) : urlPath;
}

} // namespace quillar::render
