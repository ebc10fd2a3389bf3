// The file-system face on POSIX: the calls as the kernel offers them.
#include "app/file_system.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillar {

namespace {

std::error_code LastError() {
    return {errno, std::generic_category()};
}

// Appends everything left to read from fd to text.
std::error_code ReadRest(int fd, std::string& text) {
    char buffer[65536];
    while (true) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return LastError();
        if (n == 0)
            return {};
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

} // namespace

std::filesystem::path FsPath(const std::string& utf8) {
    return utf8; // the kernel's paths are bytes, UTF-8 by convention
}

std::string Utf8Path(const std::filesystem::path& path) {
    return path.string();
}

std::string ErrorText(const std::error_code& error) {
    std::string text = error.message(); // strerror's text for errno values
    while (!text.empty() && (text.back() == '.' || static_cast<unsigned char>(text.back()) <= 32))
        text.pop_back();
    return text;
}

std::optional<std::string> HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0')
        return std::nullopt;
    return std::string(home);
}

std::vector<std::string> SystemTemporaryFolders() {
    std::vector<std::string> folders;
    std::error_code error;
    // TMPDIR when it names a folder; a missing one is passed over.
    const std::filesystem::path named = std::filesystem::temp_directory_path(error);
    if (!error && !named.empty())
        folders.push_back(named.string());
    if (folders.empty() || folders.front() != "/tmp")
        folders.emplace_back("/tmp");
    return folders;
}

std::error_code ReadRegularFile(const std::string& path, std::string& text) {
    text.clear();
    // O_NONBLOCK: opening a FIFO for reading would wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return LastError();
    struct stat st {};
    std::error_code error;
    if (fstat(fd, &st) != 0)
        error = LastError();
    else if (S_ISDIR(st.st_mode))
        error = std::make_error_code(std::errc::is_a_directory);
    else if (!S_ISREG(st.st_mode))
        error = std::make_error_code(std::errc::invalid_argument);
    else
        error = ReadRest(fd, text);
    close(fd);
    return error;
}

bool MayWriteFile(const std::string& path) {
    struct stat st {};
    // access() alone lets root write anything.
    return stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) != 0 &&
           access(path.c_str(), W_OK) == 0;
}

std::error_code MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return {};
        return std::make_error_code(std::errc::not_a_directory);
    }
    return LastError();
}

std::error_code MakeUniqueFolder(std::string& pattern) {
    if (mkdtemp(pattern.data()) == nullptr)
        return LastError();
    return {};
}

std::error_code ReplaceWholeFile(const std::string& target, std::string temporaryPattern,
                                 std::string_view bytes, std::filesystem::perms permissions) {
    const int fd = mkostemp(temporaryPattern.data(), O_CLOEXEC);
    if (fd < 0)
        return LastError();
    fchmod(fd, static_cast<mode_t>(permissions & std::filesystem::perms::mask));
    std::error_code error;
    for (std::size_t done = 0; !error && done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            error = n < 0 ? LastError() : std::make_error_code(std::errc::no_space_on_device);
        else
            done += static_cast<std::size_t>(n);
    }
    if (!error && fsync(fd) != 0)
        error = LastError();
    if (close(fd) != 0 && !error)
        error = LastError();
    if (!error && rename(temporaryPattern.c_str(), target.c_str()) != 0)
        error = LastError();
    if (error)
        unlink(temporaryPattern.c_str());
    return error;
}

std::error_code CreateNewFile(const std::string& path, std::filesystem::perms permissions) {
    // O_EXCL also refuses a symbolic link, dangling or not, and is atomic on
    // NFS from version 3 on.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                        static_cast<mode_t>(permissions & std::filesystem::perms::mask));
    if (fd < 0)
        return LastError();
    close(fd);
    return {};
}

std::unique_ptr<FileLock> FileLock::Wait(const std::string& path, std::error_code& error) {
    // Open for writing: NFS clients lock through byte-range locks, which need
    // it for an exclusive one. Made writable for all the umask allows, so the
    // other users of a shared folder can lock it too; one that is not ours to
    // write is locked read-only (enough on a local disk). O_NONBLOCK keeps a
    // FIFO under the name from holding the open.
    constexpr int kFlags = O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | kFlags, 0666);
    if (fd < 0 && errno == EACCES)
        fd = open(path.c_str(), O_RDONLY | kFlags);
    if (fd < 0) {
        error = LastError();
        return nullptr;
    }
    while (flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            error = LastError();
            close(fd);
            return nullptr;
        }
    }
    error.clear();
    return std::unique_ptr<FileLock>(new FileLock(fd));
}

FileLock::~FileLock() {
    close(static_cast<int>(handle_)); // lets go of the lock
}

std::unique_ptr<FileHold> FileHold::Take(const std::string& path, bool create) {
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | (create ? O_CREAT : 0), 0600);
    if (fd < 0)
        return nullptr;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileHold>(new FileHold(fd));
}

FileHold::~FileHold() {
    close(static_cast<int>(handle_));
}

} // namespace quillar
