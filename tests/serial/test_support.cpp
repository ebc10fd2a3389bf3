#include "test_support.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillar::test {

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Die(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

Pty::Pty() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
        Die("openpty");
    }
    close(slave);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    slavePath_ = name;
}

Pty::~Pty() {
    CloseMaster();
}

void Pty::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno != EINTR) {
            Die("write to pty master");
        }
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
}

std::string Pty::Receive(std::size_t count) {
    std::string got;
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (got.size() < count && Clock::now() < until) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
            char buffer[4096];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n > 0) {
                got.append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    return got;
}

void Pty::CloseMaster() {
    if (master_ >= 0) {
        close(master_);
    }
    master_ = -1;
}

bool WaitForWaitingBytes(int fd, int count) {
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < until) {
        int n = 0;
        if (ioctl(fd, FIONREAD, &n) == 0 && n >= count) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quillar-serial-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        Die("mkdtemp");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) {
        Die("write " + path);
    }
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        had_ = true;
        old_ = old;
    }
    setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (had_) {
        setenv(name_.c_str(), old_.c_str(), 1);
    } else {
        unsetenv(name_.c_str());
    }
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        Die("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
    if (rc != 0) {
        errno = rc;
        Die("spawn " + argv[0]);
    }
}

ChildProcess::~ChildProcess() {
    if (status_ == -1 && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close(out_);
    close(err_);
}

bool ChildProcess::Drain(int fd, std::string& into) {
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
    }
    return n > 0;
}

std::string ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    for (;;) {
        if (const std::size_t eol = pending_.find('\n'); eol != std::string::npos) {
            std::string line = pending_.substr(0, eol);
            pending_.erase(0, eol + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (outClosed_ || left.count() <= 0) {
            return "";
        }
        pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (poll(p, 2, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        if (p[1].revents & POLLIN) {
            Drain(err_, stderr_);
        }
        if (p[0].revents & (POLLIN | POLLHUP)) {
            outClosed_ = !Drain(out_, pending_);
        }
    }
}

std::string ChildProcess::ReadLineStartingWith(const std::string& prefix,
                                               std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        const std::string line = ReadLine(left);
        if (line.empty() || line.rfind(prefix, 0) == 0) {
            return line; // the tester prints no empty lines: empty means none came
        }
    }
}

void ChildProcess::Signal(int signal) {
    if (status_ == -1) {
        kill(pid_, signal);
    }
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    while (status_ == -1) {
        int raw = 0;
        const pid_t r = waitpid(pid_, &raw, WNOHANG);
        if (r == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            break;
        }
        if (Clock::now() >= until) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            status_ = -2; // reaped, but report the time-out
            return -1;
        }
        pollfd p[2] = {{outClosed_ ? -1 : out_, POLLIN, 0}, {err_, POLLIN, 0}};
        poll(p, 2, 10);
        if (p[0].revents & (POLLIN | POLLHUP)) {
            outClosed_ = !Drain(out_, pending_);
        }
        if (p[1].revents & POLLIN) {
            Drain(err_, stderr_);
        }
    }
    // Whatever the child wrote last.
    for (int i = 0; i < 16; ++i) {
        pollfd p{err_, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) {
            break;
        }
        Drain(err_, stderr_);
    }
    return status_;
}

} // namespace quillar::test
