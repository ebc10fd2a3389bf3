// TSerialLink's operations on a POSIX terminal device (Linux).
#include "serial/serial_link.h"

#include "serial/line_counters.h"
#include "serial/line_state_posix.h"
#include "serial/port_names.h"
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

int Fd(NativeHandle handle) {
    return static_cast<int>(handle);
}

// Receive fault counters where the driver keeps them (TIOCGICOUNT); none on a
// pseudo-terminal.
bool ReadLineCounters(int fd, detail::LineCounters& counters) {
    serial_icounter_struct c{};
    if (ioctl(fd, TIOCGICOUNT, &c) != 0) {
        return false;
    }
    counters.frame = static_cast<std::uint32_t>(c.frame);
    counters.overrun = static_cast<std::uint32_t>(c.overrun);
    counters.bufferOverrun = static_cast<std::uint32_t>(c.buf_overrun);
    counters.parity = static_cast<std::uint32_t>(c.parity);
    return true;
}

} // namespace

namespace detail {

struct PortState {
    LineStateRecord lineState{};
    dev_t openDevice = 0; // the device the open descriptor leads to
    // Receive fault counters at the last look; unknown on a driver that keeps none.
    bool countersKnown = false;
    LineCounters counters;
};

void PortStateDeleter::operator()(PortState* state) const noexcept {
    delete state;
}

} // namespace detail

detail::PortState* TSerialLink::NewPortState() {
    return new detail::PortState;
}

const LineStateRecord& TSerialLink::LineState() const {
    return os_->lineState;
}

int TSerialLink::LastOsError() {
    return errno;
}

std::int32_t TSerialLink::LegacyPathNumber(const std::string& name) {
    return name.starts_with("/dev/ttyS") ? detail::ParseDecimal(std::string_view(name).substr(9))
                                         : -1;
}

std::string TSerialLink::ComDevicePath(std::int32_t portNumber) {
    return "/dev/ttyS" + std::to_string(portNumber);
}

NativeHandle TSerialLink::OsOpen() {
    const int fd = open(deviceName_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return InvalidHandle;
    }
    // TIOCEXCL keeps out other users' opens but not root's; the lock keeps out
    // every other open that asks, root's and this process's own included.
    // TIOCEXCL fails on a device that is not a terminal; the later steps say so.
    (void)ioctl(fd, TIOCEXCL);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = (errno == EWOULDBLOCK) ? EBUSY : errno;
        close(fd);
        errno = code;
        return InvalidHandle;
    }
    struct stat st {};
    os_->openDevice = (fstat(fd, &st) == 0) ? st.st_rdev : 0;
    return fd;
}

void TSerialLink::OsClose() {
    if (handle_ != InvalidHandle) {
        (void)ioctl(Fd(handle_), TIOCNXCL);
        close(Fd(handle_)); // also drops the lock
    }
    handle_ = InvalidHandle;
}

void TSerialLink::GiveUpTimeSlice() {
    sched_yield();
}

bool TSerialLink::ReadModemLines(bool& dsr, bool& cts) {
    int lines = 0;
    if (ioctl(Fd(handle_), TIOCMGET, &lines) != 0) {
        return false;
    }
    dsr = (lines & TIOCM_DSR) != 0;
    cts = (lines & TIOCM_CTS) != 0;
    return true;
}

void TSerialLink::PurgeAll() {
    SetError(OutcomeOk);
    SetErrorFromOs(tcflush(Fd(handle_), TCIOFLUSH) == 0 ? 0 : -1);
    RaiseIfError();
}

void TSerialLink::SetDTR(bool on) {
    SetModemLine(Fd(handle_), TIOCM_DTR, on);
}

void TSerialLink::SetRTS(bool on) {
    SetModemLine(Fd(handle_), TIOCM_RTS, on);
}

void TSerialLink::FetchLineState() {
    SetError(OutcomeOk);
    SetErrorFromOs(tcgetattr(Fd(handle_), &os_->lineState) == 0 ? 0 : -1);
    RaiseIfError();
}

void TSerialLink::ApplyLineState() {
    SetError(OutcomeOk);
    SetErrorFromOs(tcsetattr(Fd(handle_), TCSANOW, &os_->lineState) == 0 ? 0 : -1);
    RaiseIfError();
}

void TSerialLink::SetLine(std::int32_t baud, std::int32_t dataBits, char parity,
                          std::int32_t stopBits, bool softwareFlow, bool hardwareFlow) {
    os_->lineState = LineStateRecord{};
    // Whatever the fetch gives, the record is filled and written: the outcome
    // is that of the write alone.
    FetchLineState();
    const int rejected = detail::FillLineState(
        os_->lineState, {baud, dataBits, parity, stopBits, softwareFlow, hardwareFlow});
    if (rejected != 0) {
        // What the driver would answer for a value it cannot take.
        FailWith(rejected);
        return;
    }
    ApplyLineState();
}

std::int32_t TSerialLink::WaitingBytes() {
    int count = 0;
    if (ioctl(Fd(handle_), FIONREAD, &count) == 0) {
        SetError(OutcomeOk);
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

bool TSerialLink::WaitForEvent(std::uint32_t events, std::int32_t timeoutMs) {
    SetError(OutcomeOk);
    const bool byte = (events & PortEventByteReceived) != 0;
    if (byte && WaitingBytes() > 0) {
        return true;
    }
    pollfd p{Fd(handle_), static_cast<short>(byte ? POLLIN : 0), 0};
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
    return (p.revents & p.events) == p.events;
}

std::int32_t TSerialLink::ReadRaw(char* buffer, std::int32_t count) {
    if (NotReady()) {
        return 0;
    }
    SetError(OutcomeOk);
    const int fd = Fd(handle_);
    ssize_t got = read(fd, buffer, static_cast<std::size_t>(count));
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        // The driver said bytes were waiting but has none yet: wait for them as
        // long as DeadlockTimeout allows, then give up on this read.
        if (WaitForEvent(PortEventByteReceived, DeadlockTimeout)) {
            got = read(fd, buffer, static_cast<std::size_t>(count));
        } else if (!deviceGone_) {
            tcflush(fd, TCIFLUSH);
            SetError(OutcomeTimeout);
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
    // Faults counted since the last look, as the line-error flags they stand for.
    if (os_->countersKnown) {
        const detail::LineCounters before = os_->counters;
        os_->countersKnown = ReadLineCounters(fd, os_->counters);
        if (const std::uint32_t flags =
                os_->countersKnown ? detail::LineErrorFlags(before, os_->counters) : 0;
            flags != 0) {
            MapCommErrors(flags);
        }
    }
    RaiseIfError();
    return static_cast<std::int32_t>(got);
}

void TSerialLink::ResetLineErrors() {
    os_->countersKnown = ReadLineCounters(Fd(handle_), os_->counters);
}

int TSerialLink::VanishedDeviceCode() const {
    struct stat st {};
    if (stat(deviceName_.c_str(), &st) != 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? ENOENT : 0;
    }
    // The name now leads to another device: ours was unplugged and another
    // took its place.
    if (os_->openDevice != 0 && st.st_rdev != os_->openDevice) {
        return ENODEV;
    }
    return 0;
}

} // namespace quillar
