// TSerialLink's operations on a Windows COM port: the communications API with
// overlapped I/O, so that no call waits longer than it means to.
#include "serial/serial_link.h"

#include "serial/dcb_flags.h"
#include "serial/line_state_win32.h"
#include "serial/port_names.h"

#include <windows.h>

namespace quillar {

namespace {

HANDLE Win(NativeHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// How long a wait request may take to finish once its mask is cleared before
// it is cancelled. Windows finishes it at once; wine on a pseudo-terminal may
// not, and an unfinished request would hold the call forever.
constexpr DWORD WaitCompletionGraceMs = 500;

// Codes with which a port's calls fail once its device has gone: an unplugged
// USB adapter answers "access denied", "bad command" or "not connected"; wine
// answers "not ready" and, from the read, "broken pipe" when a pseudo-terminal
// is hung up.
bool MeansDeviceGone(DWORD code) {
    switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_BROKEN_PIPE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return true;
    default:
        return false;
    }
}

} // namespace

namespace detail {

struct PortState {
    LineStateRecord lineState{};
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
    return static_cast<int>(GetLastError());
}

// /dev/ttyS0 is COM1 here, for a name carried over from a POSIX machine.
std::int32_t TSerialLink::LegacyPathNumber(const std::string& name) {
    return detail::StartsWithUpperCased(name, "/DEV/TTYS")
               ? detail::ParseDecimal(std::string_view(name).substr(9))
               : -1;
}

// The device path reaches every port, also COM10 and above, which the plain
// name does not.
std::string TSerialLink::ComDevicePath(std::int32_t portNumber) {
    return "\\\\.\\COM" + std::to_string(portNumber + 1);
}

NativeHandle TSerialLink::OsOpen() {
    SetLastError(0);
    // Share mode 0: no other open of the port succeeds while this one lasts.
    const HANDLE port =
        CreateFileA(deviceName_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return InvalidHandle;
    }
    // No line events watched; a 4096-byte input queue; reads of what is
    // waiting complete at once (a read asks only for bytes that are queued).
    SetCommMask(port, 0);
    SetupComm(port, static_cast<DWORD>(ReceiveQueueSize), 0);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0xFFFF;
    SetCommTimeouts(port, &timeouts);
    return reinterpret_cast<NativeHandle>(port);
}

void TSerialLink::OsClose() {
    if (handle_ != InvalidHandle) {
        CloseHandle(Win(handle_));
    }
    handle_ = InvalidHandle;
}

void TSerialLink::GiveUpTimeSlice() {
    Sleep(0);
}

void TSerialLink::ResetLineErrors() {
    DWORD flags = 0;
    ClearCommError(Win(handle_), &flags, nullptr);
}

// The driver's calls fail once the device has gone; there is no name to look
// at besides.
int TSerialLink::VanishedDeviceCode() const {
    return 0;
}

bool TSerialLink::ReadModemLines(bool& dsr, bool& cts) {
    DWORD lines = 0;
    if (!GetCommModemStatus(Win(handle_), &lines)) {
        return false;
    }
    dsr = (lines & MS_DSR_ON) != 0;
    cts = (lines & MS_CTS_ON) != 0;
    return true;
}

void TSerialLink::PurgeAll() {
    SetError(OutcomeOk);
    const BOOL purged =
        PurgeComm(Win(handle_), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    SetErrorFromOs(purged ? 0 : -1);
    RaiseIfError();
}

// Modem lines are a courtesy to the device; their outcome is not looked at.
void TSerialLink::SetDTR(bool on) {
    EscapeCommFunction(Win(handle_), on ? SETDTR : CLRDTR);
}

void TSerialLink::SetRTS(bool on) {
    EscapeCommFunction(Win(handle_), on ? SETRTS : CLRRTS);
}

void TSerialLink::FetchLineState() {
    SetError(OutcomeOk);
    SetErrorFromOs(GetCommState(Win(handle_), &os_->lineState) ? 0 : -1);
    RaiseIfError();
}

void TSerialLink::ApplyLineState() {
    SetError(OutcomeOk);
    SetErrorFromOs(SetCommState(Win(handle_), &os_->lineState) ? 0 : -1);
    RaiseIfError();
}

void TSerialLink::SetLine(std::int32_t baud, std::int32_t dataBits, char parity,
                          std::int32_t stopBits, bool softwareFlow, bool hardwareFlow) {
    os_->lineState = LineStateRecord{};
    // Whatever the fetch gives, the record is filled and written: the outcome
    // is that of the write alone.
    FetchLineState();
    detail::FillDcb(os_->lineState, {baud, dataBits, parity, stopBits, softwareFlow, hardwareFlow,
                                     ReceiveQueueSize});
    ApplyLineState();
}

std::int32_t TSerialLink::WaitingBytes() {
    DWORD flags = 0;
    COMSTAT status{};
    std::int32_t count = 0;
    // The line-error flags are dropped here (the call clears them as well).
    if (ClearCommError(Win(handle_), &flags, &status)) {
        SetError(OutcomeOk);
        count = static_cast<std::int32_t>(status.cbInQue);
    } else {
        SetErrorFromOs(-1);
        if (MeansDeviceGone(static_cast<DWORD>(errorCode_))) {
            MarkDeviceGone(errorCode_);
        }
    }
    RaiseIfError();
    return count;
}

bool TSerialLink::WaitForEvent(std::uint32_t events, std::int32_t timeoutMs) {
    const HANDLE port = Win(handle_);
    const HANDLE signal = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED request{};
    request.hEvent = signal;
    SetCommMask(port, events);
    SetError(OutcomeOk);
    bool happened = false;
    if ((events & PortEventByteReceived) && WaitingBytes() > 0) {
        happened = true;
    } else if (signal != nullptr) {
        DWORD seen = 0;
        if (WaitCommEvent(port, &seen, &request)) {
            happened = (seen & events) == events;
        } else if (GetLastError() == ERROR_IO_PENDING) {
            if (WaitForSingleObject(signal, timeoutMs < 0 ? 0 : static_cast<DWORD>(timeoutMs)) !=
                WAIT_OBJECT_0) {
                // Clearing the mask finishes the request with no events.
                SetCommMask(port, 0);
                if (WaitForSingleObject(signal, WaitCompletionGraceMs) != WAIT_OBJECT_0) {
                    CancelIoEx(port, &request);
                }
            }
            DWORD ignored = 0;
            // The request is over before its record and event go away.
            GetOverlappedResult(port, &request, &ignored, TRUE);
            happened = (seen & events) == events;
        }
    }
    SetCommMask(port, 0);
    if (signal != nullptr) {
        CloseHandle(signal);
    }
    return happened;
}

std::int32_t TSerialLink::ReadRaw(char* buffer, std::int32_t count) {
    if (NotReady()) {
        return 0;
    }
    const HANDLE port = Win(handle_);
    // No event: completion is signalled on the port handle itself.
    OVERLAPPED request{};
    SetError(OutcomeOk);
    DWORD bytes = 0;
    if (ReadFile(port, buffer, static_cast<DWORD>(count), nullptr, &request)) {
        GetOverlappedResult(port, &request, &bytes, FALSE);
    } else if (const DWORD code = GetLastError(); code == ERROR_IO_PENDING) {
        bool abandoned = false;
        if (WaitForSingleObject(port, static_cast<DWORD>(DeadlockTimeout)) == WAIT_TIMEOUT) {
            // Cancel, and wait until the read is really over: a read left
            // pending would take the bytes that come later, which then never
            // reach a caller. Purging the queue does not end it everywhere.
            CancelIoEx(port, &request);
            abandoned = true;
            SetError(OutcomeTimeout);
        }
        // Whatever the read delivered before it ended is returned.
        if (!GetOverlappedResult(port, &request, &bytes, TRUE) && !abandoned) {
            SetErrorFromOs(-1);
            if (MeansDeviceGone(static_cast<DWORD>(errorCode_))) {
                MarkDeviceGone(errorCode_);
            }
        }
    } else {
        SetError(static_cast<std::int32_t>(code));
        if (MeansDeviceGone(code)) {
            MarkDeviceGone(static_cast<int>(code));
        }
    }
    DWORD flags = 0;
    if (ClearCommError(port, &flags, nullptr) && flags != 0) {
        MapCommErrors(flags);
    }
    RaiseIfError();
    return static_cast<std::int32_t>(bytes);
}

} // namespace quillar
