#include "render_platform.h"

#include <filesystem>
#include <stdexcept>

namespace quillar::render {

void UseBinaryStdio() {
    // A POSIX stream is binary already.
}

std::string OwnDirectory() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        throw std::runtime_error("cannot find the renderer's directory: " + error.message());
    }
    return exe.parent_path().string();
}

bool LocalTime(std::time_t t, std::tm& local) {
    return localtime_r(&t, &local) != nullptr;
}

} // namespace quillar::render
