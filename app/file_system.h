#pragma once
// The file-system calls of the configuration and the report archive: one face,
// one file per OS (file_system_posix.cpp, file_system_win32.cpp), the rest
// (file_system.cpp) portable. Paths are UTF-8. Errors are the OS's own codes
// (errno, GetLastError) in an std::error_code; the few that callers tell
// apart (no such file, not a directory) are always the generic ones. No Qt.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace quillar {

// A UTF-8 path as the library's path type, and back.
std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& path);

// The OS's text for error, without its trailing periods, blanks and line ends.
std::string ErrorText(const std::error_code& error);

// The user's home folder: HOME, on Windows else USERPROFILE; nullopt when unset or empty.
std::optional<std::string> HomeFolder();

// The system's folders for temporary files, best first: the one the
// environment names (TMPDIR; on Windows TMP, TEMP), when it is a folder, then
// on POSIX /tmp. Whether they can be written is not checked.
std::vector<std::string> SystemTemporaryFolders();

// Whether path names something, a symbolic link itself counted, dangling or not.
bool PathExists(const std::string& path);

// The file that replacing path must replace: path itself or, when it is a
// symbolic link (also a chain, or one whose target does not exist yet), the
// file it finally points to, so that the link stays a link.
std::string WriteTarget(const std::string& path);

// The whole of the regular file at path, into text (replaced). Anything else
// under the name is refused without waiting for a writer: a folder with
// errc::is_a_directory, a FIFO or a device with errc::invalid_argument. A
// missing file is errc::no_such_file_or_directory.
std::error_code ReadRegularFile(const std::string& path, std::string& text);

// Whether this user may replace the existing file at path: some write
// permission is set, even for root (the user's read-only mark is respected),
// and the OS grants write access.
bool MayWriteFile(const std::string& path);

// Makes the folder at path (on POSIX with mode 0755, less the umask). A folder
// already there is no error; anything else there is errc::not_a_directory.
std::error_code MakeFolder(const std::string& path);

// Makes a new folder, private to the user, named by pattern with its trailing
// "XXXXXX" made unique; pattern then names the folder.
std::error_code MakeUniqueFolder(std::string& pattern);

// Writes bytes to a new file named by temporaryPattern (trailing "XXXXXX" made
// unique, in target's folder) with the given permissions (POSIX only), flushes
// it to the disk and renames it over target: a reader never finds half a file
// under target. On failure the temporary file is gone.
std::error_code ReplaceWholeFile(const std::string& target, std::string temporaryPattern,
                                 std::string_view bytes, std::filesystem::perms permissions);

// Makes a new, empty file at path with the given permissions (POSIX only, less
// the umask). Anything already under the name, a dangling symbolic link
// included, fails with errc::file_exists: of two programs or threads making the
// same name at once, exactly one succeeds.
std::error_code CreateNewFile(const std::string& path, std::filesystem::perms permissions);

// An exclusive lock on a file, waited for, for as long as the object lives:
// flock on POSIX, LockFileEx on Windows. Held per object, so two threads of one
// program exclude each other as two programs do; the OS lets go when the
// program ends, also when it is killed. The file stays (removing it would let
// two holders lock two different files).
class FileLock {
public:
    // Waits until path (made empty when missing) is locked by this object;
    // nullptr with error set when it cannot be opened or locked.
    static std::unique_ptr<FileLock> Wait(const std::string& path, std::error_code& error);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    explicit FileLock(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
};

// An exclusive hold on a file for as long as the object lives: an advisory
// lock (flock) on POSIX, a handle shared with no one on Windows. The OS lets
// go when the program ends, also when it is killed.
class FileHold {
public:
    // Holds path, made when missing and create is set; nullptr when another
    // holds it or it cannot be opened.
    static std::unique_ptr<FileHold> Take(const std::string& path, bool create);
    ~FileHold();
    FileHold(const FileHold&) = delete;
    FileHold& operator=(const FileHold&) = delete;

private:
    explicit FileHold(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
};

} // namespace quillar
