#pragma once
// TSerialLink: one serial port, opened exclusively, read without waiting.
//
// Every operation reports its outcome in ErrorCode()/ErrorText() and returns
// normally: 0 is success, 9991..10003 are the class's own codes (GetErrorDesc),
// any other value is an errno. Nothing throws unless RaiseExcept is set.

#include <cstdint>
#include <stdexcept>
#include <string>

#include <sys/types.h>
#include <termios.h>

#include "serial/line_counters.h"

namespace quillar {

class ESerialLinkError : public std::runtime_error {
public:
    ESerialLinkError(std::int32_t code, const std::string& text);
    std::int32_t ErrorCode;
    std::string ErrorText;
};

// Receive faults handed to MapCommErrors, one bit each.
enum LineErrorFlag : std::uint32_t {
    LineErrorRxOver = 0x1,   // the driver's input buffer overflowed
    LineErrorOverrun = 0x2,  // the UART's receive register was overrun
    LineErrorParity = 0x4,   // a character arrived with bad parity
    LineErrorFrame = 0x8,    // a character arrived without its stop bit
    LineErrorTxFull = 0x100, // the output queue was full
};

class TSerialLink {
public:
    TSerialLink();
    virtual ~TSerialLink(); // closes the port
    TSerialLink(const TSerialLink&) = delete;
    TSerialLink& operator=(const TSerialLink&) = delete;

    // Opens the port by name (a device path such as /dev/ttyUSB0, or COMn; see
    // ParsePortNumber). Afterwards ErrorCode() 0 and PortActive() mean open.
    // A port held by any other open (this process or another) fails with EBUSY.
    virtual void OpenPort(const std::string& portName);
    // Raw line settings; stopBits 0 = one, 1 = one and a half, 2 = two.
    // A rate, data bit count or stop-bit code the line cannot take: EINVAL.
    virtual void SetLine(std::int32_t baud, std::int32_t dataBits, char parity,
                         std::int32_t stopBits, bool softwareFlow, bool hardwareFlow);
    // Every waiting byte in one read. With nothing waiting after timeoutMs: the
    // empty string and 9997. When the device has gone: its errno (e.g. 5 EIO).
    virtual std::string ReadAvailable(std::int32_t timeoutMs);
    virtual void ClosePort();
    // True once the device behind the open port has gone (hang-up, I/O error,
    // device node removed); false while closed or healthy.
    virtual bool DeviceGone() const;

    std::int32_t ErrorCode() const { return errorCode_; }
    const std::string& ErrorText() const { return errorText_; }
    bool PortActive() const { return portActive_; }
    const std::string& DeviceName() const { return deviceName_; }
    std::int32_t PortNumber() const { return portNumber_; }
    int Handle() const { return handle_; }
    const termios& LineState() const { return lineState_; }

    // The text for a code: the class's own texts, or the OS's (strerror with
    // trailing blanks and periods removed, plus a hint where one helps).
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
    // Waits up to timeoutMs (negative counts as 0) for all of events (poll
    // bits); a hang-up or error on the port marks the device gone.
    bool WaitForEvent(short events, std::int32_t timeoutMs);

    // Records that the device has gone with the OS code that showed it; the
    // first code stays.
    void MarkDeviceGone(int osCode);

    int handle_ = -1;
    std::string deviceName_;
    std::int32_t errorCode_ = 0;
    std::string errorText_ = "OK";
    bool portActive_ = false;
    std::int32_t portNumber_ = -1;
    termios lineState_{};
    bool deviceGone_ = false;
    int goneCode_ = 0;

private:
    // The platform's side, defined once per OS (serial_link_posix.cpp).
    static const short ReadableEvent; // WaitForEvent's "a byte came in"
    static int LastOsError();
    static std::string OsErrorText(int code);
    static std::string ComDevicePath(std::int32_t portNumber);
    int OsOpen(); // the handle, or -1 with LastOsError() set
    void OsClose();
    void YieldProcessor();
    void SnapshotLineCounters();
    // Line-error flags for receive faults counted since the last snapshot.
    std::uint32_t LineErrorsSinceSnapshot();
    // The OS code when the device node behind the open handle has vanished or
    // now names another device; 0 while it is still there.
    int VanishedNodeCode() const;

    // Receive fault counters at the last snapshot; unknown on a driver that
    // keeps none (a pseudo-terminal).
    bool countersKnown_ = false;
    detail::LineCounters counters_;
    dev_t openDevice_ = 0;
};

} // namespace quillar
