// TSerialLink's operations on a POSIX terminal device (Linux).
#include "serial/serial_link.h"

#include "serial/os_error.h"
#include "serial/termios_flags.h"

#include <cerrno>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillar {

namespace {

// Errors that mean the device behind an open descriptor is no longer there:
// a hung-up terminal answers EIO, a removed one ENXIO or ENODEV.
bool MeansDeviceGone(int code) {
    return code == EIO || code == ENXIO || code == ENODEV;
}

void SetModemLine(int handle, int line, bool on) {
    // Modem lines are a courtesy to the device; a driver without them (a
    // pseudo-terminal) is no failure.
    (void)ioctl(handle, on ? TIOCMBIS : TIOCMBIC, &line);
}

} // namespace

const short TSerialLink::ReadableEvent = POLLIN;

int TSerialLink::LastOsError() {
    return errno;
}

std::string TSerialLink::OsErrorText(int code) {
    return OsErrorDescription(code);
}

std::string TSerialLink::ComDevicePath(std::int32_t portNumber) {
    return "/dev/ttyS" + std::to_string(portNumber);
}

int TSerialLink::OsOpen() {
    const int fd = open(deviceName_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    // TIOCEXCL keeps out other users' opens but not root's; the lock keeps out
    // every other open that asks, root's and this process's own included.
    // TIOCEXCL fails on a device that is not a terminal; the later steps say so.
    (void)ioctl(fd, TIOCEXCL);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = (errno == EWOULDBLOCK) ? EBUSY : errno;
        close(fd);
        errno = code;
        return -1;
    }
    struct stat st {};
    openDevice_ = (fstat(fd, &st) == 0) ? st.st_rdev : 0;
    return fd;
}

void TSerialLink::OsClose() {
    if (handle_ >= 0) {
        (void)ioctl(handle_, TIOCNXCL);
        close(handle_); // also drops the lock
    }
    handle_ = -1;
}

void TSerialLink::YieldProcessor() {
    sched_yield();
}

bool TSerialLink::DeviceReady() {
    if (!TestDSR && !TestCTS) {
        return true;
    }
    SetError(0);
    int lines = 0;
    if (ioctl(handle_, TIOCMGET, &lines) != 0) {
        SetErrorFromOs(-1);
        lines = 0;
    }
    RaiseIfError();
    if (TestDSR && !(lines & TIOCM_DSR)) {
        return false;
    }
    if (TestCTS && !(lines & TIOCM_CTS)) {
        return false;
    }
    return true;
}

void TSerialLink::PurgeAll() {
    SetError(0);
    SetErrorFromOs(tcflush(handle_, TCIOFLUSH) == 0 ? 0 : -1);
    RaiseIfError();
}

void TSerialLink::SetDTR(bool on) {
    SetModemLine(handle_, TIOCM_DTR, on);
}

void TSerialLink::SetRTS(bool on) {
    SetModemLine(handle_, TIOCM_RTS, on);
}

void TSerialLink::FetchLineState() {
    SetError(0);
    SetErrorFromOs(tcgetattr(handle_, &lineState_) == 0 ? 0 : -1);
    RaiseIfError();
}

void TSerialLink::ApplyLineState() {
    SetError(0);
    SetErrorFromOs(tcsetattr(handle_, TCSANOW, &lineState_) == 0 ? 0 : -1);
    RaiseIfError();
}

void TSerialLink::SetLine(std::int32_t baud, std::int32_t dataBits, char parity,
                          std::int32_t stopBits, bool softwareFlow, bool hardwareFlow) {
    lineState_ = termios{};
    // Whatever the fetch gives, the record is filled and written: the outcome
    // is that of the write alone.
    FetchLineState();
    const int rejected = detail::FillLineState(
        lineState_, {baud, dataBits, parity, stopBits, softwareFlow, hardwareFlow});
    if (rejected != 0) {
        // What the driver would answer for a value it cannot take.
        FailWith(rejected);
        return;
    }
    ApplyLineState();
}

std::int32_t TSerialLink::WaitingBytes() {
    int count = 0;
    if (ioctl(handle_, FIONREAD, &count) == 0) {
        SetError(0);
    } else {
        SetErrorFromOs(-1);
        if (MeansDeviceGone(errorCode_)) {
            MarkDeviceGone(errorCode_);
        }
        count = 0;
    }
    RaiseIfError();
    return count;
}

bool TSerialLink::WaitForEvent(short events, std::int32_t timeoutMs) {
    SetError(0);
    if ((events & POLLIN) && WaitingBytes() > 0) {
        return true;
    }
    pollfd p{handle_, events, 0};
    const int ready = poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
    if (ready <= 0) {
        return false; // time-out, or a signal cut the wait short
    }
    if (p.revents & POLLNVAL) {
        MarkDeviceGone(EBADF);
        return false;
    }
    if (p.revents & (POLLHUP | POLLERR)) {
        MarkDeviceGone(EIO);
        return false;
    }
    return (p.revents & events) == events;
}

std::int32_t TSerialLink::ReadRaw(char* buffer, std::int32_t count) {
    if (NotReady()) {
        return 0;
    }
    SetError(0);
    ssize_t got = read(handle_, buffer, static_cast<std::size_t>(count));
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        // The driver said bytes were waiting but has none yet: wait for them as
        // long as DeadlockTimeout allows, then give up on this read.
        if (WaitForEvent(POLLIN, DeadlockTimeout)) {
            got = read(handle_, buffer, static_cast<std::size_t>(count));
        } else if (!deviceGone_) {
            tcflush(handle_, TCIFLUSH);
            SetError(9997);
            got = 0;
        }
    }
    if (got < 0) {
        SetErrorFromOs(-1);
        if (MeansDeviceGone(errorCode_)) {
            MarkDeviceGone(errorCode_);
        }
        got = 0;
    }
    if (const std::uint32_t flags = LineErrorsSinceSnapshot(); flags != 0) {
        MapCommErrors(flags);
    }
    RaiseIfError();
    return static_cast<std::int32_t>(got);
}

void TSerialLink::SnapshotLineCounters() {
    serial_icounter_struct counters{};
    countersKnown_ = ioctl(handle_, TIOCGICOUNT, &counters) == 0;
    if (countersKnown_) {
        counters_.frame = static_cast<std::uint32_t>(counters.frame);
        counters_.overrun = static_cast<std::uint32_t>(counters.overrun);
        counters_.bufferOverrun = static_cast<std::uint32_t>(counters.buf_overrun);
        counters_.parity = static_cast<std::uint32_t>(counters.parity);
    }
}

std::uint32_t TSerialLink::LineErrorsSinceSnapshot() {
    if (!countersKnown_) {
        return 0;
    }
    const detail::LineCounters before = counters_;
    SnapshotLineCounters();
    return countersKnown_ ? detail::LineErrorFlags(before, counters_) : 0;
}

int TSerialLink::VanishedNodeCode() const {
    struct stat st {};
    if (stat(deviceName_.c_str(), &st) != 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? ENOENT : 0;
    }
    // The name now leads to another device: ours was unplugged and another
    // took its place.
    if (openDevice_ != 0 && st.st_rdev != openDevice_) {
        return ENODEV;
    }
    return 0;
}

} // namespace quillar
