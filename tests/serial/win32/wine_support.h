#pragma once
// Helpers for the Win32 serial tests: wine detection, temporary folders, and
// Linux programs run from inside wine (the simulated tester, stty), which is
// how a test under wine reaches the device side of its pseudo-terminal.

#include <chrono>
#include <string>

namespace quillar::test {

// True when this process runs under wine (ntdll exports wine_get_version).
bool RunningUnderWine();

// An environment variable's value, empty when unset.
std::string Env(const char* name);

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // The Windows path and the same folder as Linux sees it (under wine).
    const std::string& Path() const { return path_; }
    const std::string& UnixPath() const { return unixPath_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
    std::string Unix(const std::string& name) const { return unixPath_ + "/" + name; }

private:
    std::string path_;
    std::string unixPath_;
};

void WriteFile(const std::string& path, const std::string& bytes);
// The whole file, or empty when it cannot be read.
std::string ReadFile(const std::string& path);

// Runs a shell command line on the Linux side, not waiting for it. Wine starts
// Linux programs without a process handle, so results come back through
// files: the command's standard output and error go to outputFile (a Linux
// path). False when wine could not start the shell.
bool StartLinuxShell(const std::string& command, const std::string& outputFile, const TempDir& dir);

// Quotes text for the Linux shell.
std::string ShellQuoted(const std::string& text);

// Waits until the file holds a line starting with prefix; that line, or empty
// after timeout.
std::string WaitForLine(const std::string& path, const std::string& prefix,
                        std::chrono::milliseconds timeout);

// The number of lines of the file that start with prefix.
int CountLines(const std::string& path, const std::string& prefix);

} // namespace quillar::test
