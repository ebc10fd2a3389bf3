#include "pty_device.h"

#include "serial/os_error.h"

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace quillar::tester {

namespace {

std::string ReasonOf(int code) {
    return OsErrorDescription(code);
}

} // namespace

bool PtyDevice::Open(std::string& error) {
    Close();
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        error = "cannot make a pseudo-terminal: " + ReasonOf(errno);
        return false;
    }
    // A serial port passes bytes as they are: no echo, no line editing, no
    // CR/LF rewriting. The settings stay with the terminal while the master
    // is open.
    termios t{};
    if (tcgetattr(slave, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
    }
    // Keep no slave open here: its last close raises POLLHUP on the master,
    // and the next open by the program under test clears it (SlaveOpen).
    close(slave);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    master_ = master;
    slavePath_ = name;
    return true;
}

void PtyDevice::Close() {
    if (master_ >= 0) {
        close(master_);
    }
    master_ = -1;
}

bool PtyDevice::SlaveOpen() const {
    if (master_ < 0) {
        return false;
    }
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 0) < 0) {
        return false;
    }
    return (p.revents & POLLHUP) == 0;
}

bool DeviceLink::Put(const std::string& linkPath, const std::string& target, std::string& error) {
    struct stat st {};
    if (lstat(linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = "will not replace " + linkPath + ": it is not a symbolic link";
        return false;
    }
    // Made aside and renamed over the old one, so that the path never names a
    // half-made link.
    const std::string temporary = linkPath + ".new" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
        error = "cannot make the link " + linkPath + ": " + ReasonOf(errno);
        return false;
    }
    if (rename(temporary.c_str(), linkPath.c_str()) != 0) {
        const int code = errno;
        unlink(temporary.c_str());
        error = "cannot make the link " + linkPath + ": " + ReasonOf(code);
        return false;
    }
    linkPath_ = linkPath;
    target_ = target;
    return true;
}

void DeviceLink::Remove() {
    if (linkPath_.empty()) {
        return;
    }
    char current[4096];
    const ssize_t n = readlink(linkPath_.c_str(), current, sizeof current - 1);
    if (n >= 0 && std::string(current, static_cast<std::size_t>(n)) == target_) {
        unlink(linkPath_.c_str());
    }
    linkPath_.clear();
    target_.clear();
}

} // namespace quillar::tester
