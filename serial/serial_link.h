#pragma once
// TSerialLink: one serial port, opened exclusively, read without waiting.
//
// Every operation reports its outcome in ErrorCode()/ErrorText() and returns
// normally: 0 is success, 9991..10003 are the class's own codes (SerialOutcome, GetErrorDesc),
// any other value is an OS code (errno on POSIX, GetLastError on Windows).
// Nothing throws unless RaiseExcept is set.
//
// This face is the same on every OS; serial_link_posix.cpp and
// serial_link_win32.cpp hold the OS calls, behind the names declared here.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace quillar {

class ESerialLinkError : public std::runtime_error {
public:
    ESerialLinkError(std::int32_t code, const std::string& text);
    std::int32_t ErrorCode;
    std::string ErrorText;
};

// The class's own outcome codes; their values are what callers and logs
// have always seen, so they never change.
enum SerialOutcome : std::int32_t {
    OutcomeOk = 0,
    OutcomePortOwnedByOtherProcess = 9991,
    OutcomeInstanceInUse = 9992,
    OutcomeWrongParameter = 9993,
    OutcomeNotConnected = 9994,
    OutcomeNoDeviceAnswer = 9995,
    OutcomeBufferLengthExceeded = 9996,
    OutcomeTimeout = 9997,
    OutcomeReadFailed = 9998,
    OutcomeFramingError = 9999,
    OutcomeOverrunError = 10000,
    OutcomeQueueOverflow = 10001,
    OutcomeParityError = 10002,
    OutcomeTransmitQueueFull = 10003,
};

// Receive faults handed to MapCommErrors, one bit each (the values of the
// Windows CE_ flags).
enum LineErrorFlag : std::uint32_t {
    LineErrorRxOver = 0x1,   // the driver's input buffer overflowed
    LineErrorOverrun = 0x2,  // the UART's receive register was overrun
    LineErrorParity = 0x4,   // a character arrived with bad parity
    LineErrorFrame = 0x8,    // a character arrived without its stop bit
    LineErrorTxFull = 0x100, // the output queue was full
};

// Line events that WaitForEvent waits for (the values of the Windows EV_ flags).
enum PortEvent : std::uint32_t {
    PortEventByteReceived = 0x1,
};

// The OS's handle of an open port: a file descriptor or a Windows HANDLE.
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle InvalidHandle = -1;

// The OS's record of the line settings: a termios on POSIX, a DCB on Windows.
// It derives from that record; serial/line_state_posix.h and
// serial/line_state_win32.h define it.
struct LineStateRecord;

namespace detail {
// What the OS side keeps besides the handle; defined by each OS's file.
struct PortState;
struct PortStateDeleter {
    void operator()(PortState* state) const noexcept;
};
} // namespace detail

class TSerialLink {
public:
    TSerialLink();
    virtual ~TSerialLink(); // closes the port
    TSerialLink(const TSerialLink&) = delete;
    TSerialLink& operator=(const TSerialLink&) = delete;

    // Opens the port by name (COMn in either case, or a device path such as
    // /dev/ttyUSB0 or \\.\COM12; see ParsePortNumber). Afterwards ErrorCode() 0
    // and PortActive() mean open. A port held elsewhere fails with the OS's
    // code for it (EBUSY; ERROR_ACCESS_DENIED on Windows).
    virtual void OpenPort(const std::string& portName);
    // Raw line settings; stopBits 0 = one, 1 = one and a half, 2 = two.
    // Values the line cannot take: the OS's code (EINVAL on POSIX, what
    // SetCommState answers on Windows).
    virtual void SetLine(std::int32_t baud, std::int32_t dataBits, char parity,
                         std::int32_t stopBits, bool softwareFlow, bool hardwareFlow);
    // Every waiting byte in one read. With nothing waiting after timeoutMs: the
    // empty string and 9997. When the device has gone: the OS code that showed
    // it (e.g. EIO; ERROR_NOT_READY or ERROR_ACCESS_DENIED on Windows).
    virtual std::string ReadAvailable(std::int32_t timeoutMs);
    virtual void ClosePort();
    // True once the device behind the open port has gone (hang-up, I/O error,
    // device removed); false while closed or healthy.
    virtual bool DeviceGone() const;

    std::int32_t ErrorCode() const { return errorCode_; }
    const std::string& ErrorText() const { return errorText_; }
    bool PortActive() const { return portActive_; }
    const std::string& DeviceName() const { return deviceName_; }
    std::int32_t PortNumber() const { return portNumber_; }
    NativeHandle Handle() const { return handle_; }
    // The settings last fetched from or written to the port.
    const LineStateRecord& LineState() const;

    // The text for a code: the class's own texts, or the OS's (with trailing
    // blanks and periods removed; see OsErrorDescription).
    static std::string GetErrorDesc(std::int32_t code);

    bool RaiseExcept = false;
    std::int32_t ReceiveQueueSize = 4096;
    std::int32_t DeadlockTimeout = 30000;
    bool TestDSR = false;
    bool TestCTS = false;

protected:
    virtual void MapCommErrors(std::uint32_t flags);
    virtual void SetDTR(bool on);
    virtual void SetRTS(bool on);
    virtual void ParsePortNumber();
    virtual bool NotReady();
    virtual bool DeviceReady();
    virtual void ApplyLineState();
    virtual void FetchLineState();
    virtual std::int32_t ReadRaw(char* buffer, std::int32_t count);
    virtual std::int32_t WaitingBytes();
    virtual void PurgeAll();
    virtual bool WaitReadable(std::int32_t timeoutMs);
    virtual void SetErrorFromOs(int result);
    virtual void RaiseIfError();
    virtual void SetError(std::int32_t code);
    virtual void FailWith(std::int32_t code);
    // Waits up to timeoutMs (negative counts as 0) for all of events
    // (PortEvent bits); a hang-up or error on the port marks the device gone.
    bool WaitForEvent(std::uint32_t events, std::int32_t timeoutMs);

    // Records that the device has gone with the OS code that showed it; the
    // first code stays.
    void MarkDeviceGone(int osCode);

    NativeHandle handle_ = InvalidHandle;
    std::string deviceName_;
    std::int32_t errorCode_ = 0;
    std::string errorText_ = "OK";
    bool portActive_ = false;
    std::int32_t portNumber_ = -1;
    bool deviceGone_ = false;
    int goneCode_ = 0;

private:
    // The OS's side, defined once per OS (serial_link_posix.cpp,
    // serial_link_win32.cpp).
    static detail::PortState* NewPortState();
    static int LastOsError();
    // The number of a legacy port path (/dev/ttyS3 is 3), or -1 for any other name.
    static std::int32_t LegacyPathNumber(const std::string& name);
    // The device path of the zero-based legacy port number.
    static std::string ComDevicePath(std::int32_t portNumber);
    // Opens deviceName_ exclusively for reading and writing and prepares the
    // driver; InvalidHandle with LastOsError() set when it cannot.
    NativeHandle OsOpen();
    void OsClose();
    // The modem's DSR and CTS lines; false, with the OS's error left for
    // SetErrorFromOs, when the driver cannot say.
    bool ReadModemLines(bool& dsr, bool& cts);
    void GiveUpTimeSlice();
    // Forgets the line faults that came before this moment.
    void ResetLineErrors();
    // The OS code when the device behind the open handle has vanished or
    // now answers to another name; 0 while it is still there.
    int VanishedDeviceCode() const;

    std::unique_ptr<detail::PortState, detail::PortStateDeleter> os_;
};

} // namespace quillar
