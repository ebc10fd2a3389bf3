// The file-system face on Windows: the wide-character calls, so that UTF-8
// paths reach the file system whatever the ANSI code page is.
#include "app/file_system.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <random>

namespace quillar {

namespace {

std::error_code LastError() {
    return {static_cast<int>(GetLastError()), std::system_category()};
}

std::wstring Wide(const std::string& utf8) {
    return FsPath(utf8).wstring();
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                        nullptr, nullptr);
    return text;
}

bool IsNotFound(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

// pattern with its trailing "XXXXXX" replaced by random letters and digits.
std::string Randomised(const std::string& pattern) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::string name = pattern;
    const std::size_t tail = name.size() >= 6 ? name.size() - 6 : 0;
    for (std::size_t i = tail; i < name.size(); ++i)
        if (name[i] == 'X')
            name[i] = kLetters[random() % (sizeof kLetters - 1)];
    return name;
}

} // namespace

std::filesystem::path FsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string ErrorText(const std::error_code& error) {
    std::string text;
    if (error.category() == std::system_category()) {
        wchar_t* buffer = nullptr;
        const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(error.value()), 0,
                           reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
        if (length > 0)
            text = Utf8(std::wstring(buffer, length));
        LocalFree(buffer);
    }
    if (text.empty())
        text = error.message();
    while (!text.empty() && (text.back() == '.' || static_cast<unsigned char>(text.back()) <= 32))
        text.pop_back();
    return text;
}

std::optional<std::string> HomeFolder() {
    for (const wchar_t* name : {L"HOME", L"USERPROFILE"}) {
        const wchar_t* value = _wgetenv(name);
        if (value != nullptr && *value != L'\0')
            return Utf8(value);
    }
    return std::nullopt;
}

std::vector<std::string> SystemTemporaryFolders() {
    std::error_code error;
    const std::filesystem::path named = std::filesystem::temp_directory_path(error);
    if (error || named.empty())
        return {};
    return {Utf8Path(named)};
}

std::error_code ReadRegularFile(const std::string& path, std::string& text) {
    text.clear();
    const std::wstring name = Wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (IsNotFound(code))
            return std::make_error_code(std::errc::no_such_file_or_directory);
        return {static_cast<int>(code), std::system_category()};
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return std::make_error_code(std::errc::is_a_directory);
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return LastError();
    std::error_code error;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        error = std::make_error_code(std::errc::invalid_argument); // a pipe or a device
    } else {
        char buffer[65536];
        DWORD n = 0;
        while (true) {
            if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
                error = LastError();
                break;
            }
            if (n == 0)
                break;
            text.append(buffer, n);
        }
    }
    CloseHandle(file);
    return error;
}

bool MayWriteFile(const std::string& path) {
    // Access control lists show only when writing; the read-only mark shows here.
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

std::error_code MakeFolder(const std::string& path) {
    const std::wstring name = Wide(path);
    if (CreateDirectoryW(name.c_str(), nullptr))
        return {};
    const DWORD code = GetLastError();
    if (code != ERROR_ALREADY_EXISTS)
        return {static_cast<int>(code), std::system_category()};
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return std::make_error_code(std::errc::not_a_directory);
}

std::error_code MakeUniqueFolder(std::string& pattern) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = Randomised(pattern);
        if (CreateDirectoryW(Wide(name).c_str(), nullptr)) {
            pattern = name;
            return {};
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return LastError();
    }
    return std::make_error_code(std::errc::file_exists);
}

std::error_code ReplaceWholeFile(const std::string& target, std::string temporaryPattern,
                                 std::string_view bytes, std::filesystem::perms) {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring temporary;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = Wide(Randomised(temporaryPattern));
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return LastError();
    }
    if (file == INVALID_HANDLE_VALUE)
        return std::make_error_code(std::errc::file_exists);
    std::error_code error;
    for (std::size_t done = 0; !error && done < bytes.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
        DWORD n = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &n, nullptr))
            error = LastError();
        else if (n == 0)
            error = std::make_error_code(std::errc::no_space_on_device);
        else
            done += n;
    }
    if (!error && !FlushFileBuffers(file))
        error = LastError();
    if (!CloseHandle(file) && !error)
        error = LastError();
    if (!error && !MoveFileExW(temporary.c_str(), Wide(target).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = LastError();
    if (error)
        DeleteFileW(temporary.c_str());
    return error;
}

std::error_code CreateNewFile(const std::string& path, std::filesystem::perms) {
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS)
            return std::make_error_code(std::errc::file_exists);
        return {static_cast<int>(code), std::system_category()};
    }
    CloseHandle(file);
    return {};
}

std::unique_ptr<FileLock> FileLock::Wait(const std::string& path, std::error_code& error) {
    // Shared for every use: the byte-range lock, not the open, excludes.
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = LastError();
        return nullptr;
    }
    OVERLAPPED whole{};
    // Without LOCKFILE_FAIL_IMMEDIATELY the call waits for the holder.
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        error = LastError();
        CloseHandle(file);
        return nullptr;
    }
    error.clear();
    return std::unique_ptr<FileLock>(new FileLock(reinterpret_cast<std::intptr_t>(file)));
}

FileLock::~FileLock() {
    const HANDLE file = reinterpret_cast<HANDLE>(handle_);
    OVERLAPPED whole{};
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(file);
}

std::unique_ptr<FileHold> FileHold::Take(const std::string& path, bool create) {
    // Shared with no one: a second open fails while this handle lives.
    const HANDLE file =
        CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                    create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::unique_ptr<FileHold>(new FileHold(reinterpret_cast<std::intptr_t>(file)));
}

FileHold::~FileHold() {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

} // namespace quillar
