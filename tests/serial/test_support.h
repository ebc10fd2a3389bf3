#pragma once
// Pseudo-terminals, temporary folders and a child-process runner for the
// serial tests. Every wait here is bounded.

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace quillar::test {

// A pseudo-terminal whose slave device stands in for a serial port. The
// slave is left closed (and in the driver's cooked mode) for the code under
// test to open and set up.
class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    // Writes all of bytes to the master; the slave side reads them.
    void Send(const std::string& bytes);
    // What the slave side wrote, until count bytes came or five seconds passed.
    std::string Receive(std::size_t count);
    // Closing the master hangs the slave up, as an unplugged adapter does.
    void CloseMaster();

private:
    int master_ = -1;
    std::string slavePath_;
};

// Waits until the driver holds count bytes for fd to read (the pty moves bytes
// to the slave in the background); false after two seconds.
bool WaitForWaitingBytes(int fd, int count);

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);

// Sets an environment variable for one scope, restoring the old value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();

private:
    std::string name_;
    bool had_ = false;
    std::string old_;
};

// A child program with its stdout (event lines) and stderr read by the test.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess(); // kills the child if it still runs

    // The next stdout line, or empty after timeout (or at end of output).
    std::string ReadLine(std::chrono::milliseconds timeout);
    // Reads lines until one starts with prefix; that line, or empty.
    std::string ReadLineStartingWith(const std::string& prefix, std::chrono::milliseconds timeout);
    void Signal(int signal);
    // Exit status, or -1 when the child did not end within timeout (it is then
    // killed); stderr is collected meanwhile.
    int Wait(std::chrono::milliseconds timeout);
    const std::string& Stderr() const { return stderr_; }

private:
    bool Drain(int fd, std::string& into); // false at end of output
    int pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    bool outClosed_ = false;
    std::string pending_;
    std::string stderr_;
    int status_ = -1;
};

} // namespace quillar::test
