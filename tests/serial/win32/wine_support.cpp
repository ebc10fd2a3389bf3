#include "wine_support.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <windows.h>

namespace quillar::test {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Die(const std::string& what) {
    throw std::runtime_error(what + ": error " + std::to_string(GetLastError()));
}

// The Linux path of a Windows path, through wine's own mapping; empty outside
// wine.
std::string UnixPathOf(const std::string& windowsPath) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix == nullptr) {
        return "";
    }
    const int n = MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide.data(), n);
    char* unix = toUnix(wide.c_str());
    if (unix == nullptr) {
        return "";
    }
    std::string result = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

} // namespace

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string Env(const char* name) {
    char buffer[32768];
    const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

TempDir::TempDir() {
    char base[MAX_PATH + 1];
    if (GetTempPathA(sizeof base, base) == 0) {
        Die("GetTempPath");
    }
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = std::string(base) + "quillar-serial-" +
                                      std::to_string(GetCurrentProcessId()) + "-" +
                                      std::to_string(counter++);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) {
            path_ = candidate;
            unixPath_ = UnixPathOf(path_);
            return;
        }
    }
    Die("CreateDirectory");
}

TempDir::~TempDir() {
    WIN32_FIND_DATAA entry;
    const HANDLE find = FindFirstFileA((path_ + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileA((path_ + "\\" + entry.cFileName).c_str());
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(path_.c_str());
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

bool StartLinuxShell(const std::string& command, const std::string& outputFile,
                     const TempDir& dir) {
    // The command goes in a script, so that the command line wine hands to the
    // shell needs no quoting of its own. Every stream is redirected: the child
    // must not hold wine's or the test runner's pipes.
    static unsigned counter = 0;
    const std::string name = "run-" + std::to_string(counter++) + ".sh";
    WriteFile(dir / name,
              "exec </dev/null >" + ShellQuoted(outputFile) + " 2>&1\n" + command + "\n");
    std::string commandLine = "/bin/sh \"" + dir.Unix(name) + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    if (process.hProcess != nullptr) {
        CloseHandle(process.hProcess);
    }
    if (process.hThread != nullptr) {
        CloseHandle(process.hThread);
    }
    return true;
}

std::string WaitForLine(const std::string& path, const std::string& prefix,
                        std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    for (;;) {
        std::istringstream lines(ReadFile(path));
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(prefix, 0) == 0) {
                return line;
            }
        }
        if (Clock::now() >= until) {
            return "";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int CountLines(const std::string& path, const std::string& prefix) {
    std::istringstream lines(ReadFile(path));
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return count;
}

} // namespace quillar::test
