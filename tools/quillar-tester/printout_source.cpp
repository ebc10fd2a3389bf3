#include "printout_source.h"

#include "report/data_folder.h"

#include "serial/os_error.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace quillar::tester {

namespace {

std::string ExecutableDir() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return "";
    }
    const std::string exe(path, static_cast<std::size_t>(n));
    const std::size_t slash = exe.find_last_of('/');
    return slash == std::string::npos ? "" : exe.substr(0, slash);
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

std::string FindSample(const std::string& model, std::string& error) {
    std::string fileName;
    for (char c : model) {
        fileName += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    fileName += ".txt";

    std::vector<std::string> dirs;
    if (const char* env = std::getenv("QUILLAR_SAMPLES_DIR"); env != nullptr && *env != '\0') {
        dirs.emplace_back(env);
    }
    if (const std::string exeDir = ExecutableDir(); !exeDir.empty()) {
        dirs.push_back(InstalledDataFolder(exeDir + "/") + "samples");
    }
    dirs.emplace_back(QUILLAR_SOURCE_SAMPLES_DIR);

    std::string tried;
    for (const std::string& dir : dirs) {
        const std::string path = dir + "/" + fileName;
        if (IsFile(path)) {
            return path;
        }
        tried += (tried.empty() ? "" : ", ") + dir;
    }
    error = "no sample " + fileName + " for model " + model + " (looked in " + tried + ")";
    return "";
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = "cannot read " + path + ": not a regular file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path + ": " + OsErrorDescription(errno);
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        error = "cannot read " + path + ": " + OsErrorDescription(errno);
        return false;
    }
    bytes = content.str();
    return true;
}

} // namespace quillar::tester
