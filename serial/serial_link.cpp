// TSerialLink: error recording, the code texts, port names and the order of
// the steps in open, read and close. The OS calls are in serial_link_posix.cpp
// and serial_link_win32.cpp.
#include "serial/serial_link.h"

#include "serial/os_error.h"
#include "serial/port_names.h"

#include <cstdio>
#include <string_view>

namespace quillar {

namespace {

std::string FormatCommunicationError(std::int32_t code, const std::string& text) {
    char head[48];
    std::snprintf(head, sizeof head, "Communication error %d: ", static_cast<int>(code));
    return head + text;
}

} // namespace

ESerialLinkError::ESerialLinkError(std::int32_t code, const std::string& text)
    : std::runtime_error(FormatCommunicationError(code, text)), ErrorCode(code), ErrorText(text) {}

TSerialLink::TSerialLink() : os_(NewPortState()) {}

TSerialLink::~TSerialLink() {
    // A destructor must not throw: closing reports into ErrorCode only.
    RaiseExcept = false;
    TSerialLink::ClosePort();
}

std::string TSerialLink::GetErrorDesc(std::int32_t code) {
    switch (code) {
    case OutcomeOk:
        return "OK";
    case OutcomePortOwnedByOtherProcess:
        return "Port owned by other process";
    case OutcomeInstanceInUse:
        return "Instance already in use";
    case OutcomeWrongParameter:
        return "Wrong parameter at call";
    case OutcomeNotConnected:
        return "Instance not yet connected";
    case OutcomeNoDeviceAnswer:
        return "No device answer detected";
    case OutcomeBufferLengthExceeded:
        return "Maximal buffer length exceeded";
    case OutcomeTimeout:
        return "Timeout during operation";
    case OutcomeReadFailed:
        return "Reading of data failed";
    case OutcomeFramingError:
        return "Receive framing error";
    case OutcomeOverrunError:
        return "Receive Overrun Error";
    case OutcomeQueueOverflow:
        return "Receive Queue overflow";
    case OutcomeParityError:
        return "Receive Parity Error";
    case OutcomeTransmitQueueFull:
        return "Tranceive Queue is full";
    default:
        return OsErrorDescription(code);
    }
}

void TSerialLink::SetError(std::int32_t code) {
    errorCode_ = code;
    errorText_ = GetErrorDesc(code);
}

void TSerialLink::SetErrorFromOs(int result) {
    SetError(result == -1 ? LastOsError() : 0);
}

void TSerialLink::RaiseIfError() {
    if (RaiseExcept && errorCode_ != 0) {
        throw ESerialLinkError(errorCode_, GetErrorDesc(errorCode_));
    }
}

void TSerialLink::FailWith(std::int32_t code) {
    SetError(code);
    RaiseIfError();
}

void TSerialLink::MarkDeviceGone(int osCode) {
    if (!deviceGone_) {
        deviceGone_ = true;
        goneCode_ = osCode;
    }
}

bool TSerialLink::DeviceGone() const {
    return portActive_ && deviceGone_;
}

// COMn, in either case, names the n-th legacy port for people used to that
// name; the OS's legacy path form (/dev/ttyS2) gives the number back. Both
// become the OS's path for that port. Any other name is opened as it is.
void TSerialLink::ParsePortNumber() {
    portNumber_ = -1;
    const std::string_view name = deviceName_;
    if (detail::StartsWithUpperCased(name, "COM")) {
        const std::int32_t n = detail::ParseDecimal(name.substr(3));
        portNumber_ = (n < 0 ? 0 : n) - 1;
    } else {
        portNumber_ = LegacyPathNumber(deviceName_);
    }
    if (portNumber_ >= 0) {
        deviceName_ = ComDevicePath(portNumber_);
    }
}

void TSerialLink::OpenPort(const std::string& portName) {
    if (portActive_) {
        FailWith(OutcomeInstanceInUse);
        return;
    }
    deviceName_ = portName;
    ParsePortNumber();
    handle_ = OsOpen();
    SetErrorFromOs(handle_ == InvalidHandle ? -1 : 0);
    RaiseIfError();
    if (errorCode_ != 0) {
        return;
    }
    deviceGone_ = false;
    goneCode_ = 0;
    SetError(OutcomeOk);
    if (!DeviceReady()) {
        SetError(OutcomeNoDeviceAnswer);
        OsClose();
        portNumber_ = -1;
    } else {
        portActive_ = true;
        SetRTS(true);
        SetDTR(true);
        PurgeAll();
        // Faults from before this open are not this connection's.
        ResetLineErrors();
    }
    RaiseIfError();
}

bool TSerialLink::DeviceReady() {
    if (!TestDSR && !TestCTS) {
        return true;
    }
    SetError(OutcomeOk);
    bool dsr = false;
    bool cts = false;
    if (!ReadModemLines(dsr, cts)) {
        SetErrorFromOs(-1);
        dsr = cts = false;
    }
    RaiseIfError();
    return (!TestDSR || dsr) && (!TestCTS || cts);
}

bool TSerialLink::NotReady() {
    if (!portActive_) {
        FailWith(OutcomeNotConnected);
        return true;
    }
    if (!DeviceReady()) {
        FailWith(OutcomeNoDeviceAnswer);
        return true;
    }
    return false;
}

bool TSerialLink::WaitReadable(std::int32_t timeoutMs) {
    if (WaitingBytes() > 0) {
        return true;
    }
    if (deviceGone_) {
        return false;
    }
    if (WaitForEvent(PortEventByteReceived, timeoutMs)) {
        return true;
    }
    return !deviceGone_ && WaitingBytes() > 0;
}

std::string TSerialLink::ReadAvailable(std::int32_t timeoutMs) {
    std::string result;
    if (NotReady()) {
        return result;
    }
    SetError(OutcomeOk);
    GiveUpTimeSlice();
    auto readWaiting = [this, &result](std::int32_t n) {
        result.resize(static_cast<std::size_t>(n));
        const std::int32_t got = ReadRaw(result.data(), n);
        result.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    };
    if (!deviceGone_) {
        std::int32_t n = WaitingBytes();
        if (n > 0) {
            readWaiting(n);
        } else if (!deviceGone_ && WaitReadable(timeoutMs)) {
            n = WaitingBytes();
            if (n > 0) {
                readWaiting(n);
            } else {
                SetError(OutcomeTimeout);
            }
        } else {
            SetError(OutcomeTimeout);
        }
    }
    // An unplugged device must not look idle: with nothing read, report what
    // showed that it went, on this call and every later one.
    if (result.empty()) {
        if (!deviceGone_) {
            if (const int code = VanishedDeviceCode(); code != 0) {
                MarkDeviceGone(code);
            }
        }
        if (deviceGone_) {
            SetError(goneCode_);
        }
    }
    RaiseIfError();
    return result;
}

void TSerialLink::MapCommErrors(std::uint32_t flags) {
    // Tested in this order, each match overwriting the last; the text stays
    // that of the read.
    if (flags & LineErrorFrame) {
        errorCode_ = OutcomeFramingError;
    }
    if (flags & LineErrorOverrun) {
        errorCode_ = OutcomeOverrunError;
    }
    if (flags & LineErrorRxOver) {
        errorCode_ = OutcomeQueueOverflow;
    }
    if (flags & LineErrorParity) {
        errorCode_ = OutcomeParityError;
    }
    if (flags & LineErrorTxFull) {
        errorCode_ = OutcomeTransmitQueueFull;
    }
}

void TSerialLink::ClosePort() {
    if (handle_ != InvalidHandle) {
        PurgeAll();
        SetRTS(false);
        SetDTR(false);
        OsClose();
    }
    portActive_ = false;
    handle_ = InvalidHandle;
    portNumber_ = -1;
    deviceGone_ = false;
    goneCode_ = 0;
    SetError(OutcomeOk);
}

} // namespace quillar
