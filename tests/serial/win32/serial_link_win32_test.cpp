// TSerialLink's Win32 side without a device: port names, OS codes and texts,
// and the DCB that SetLine writes.
#include "serial/dcb_flags.h"
#include "serial/os_error.h"
#include "serial/serial_link.h"

#include "wine_support.h"

#include <gtest/gtest.h>

#include <cstring>

#include <windows.h>

namespace quillar {
namespace {

// Reaches ParsePortNumber and the error recording without opening anything.
class Probe : public TSerialLink {
public:
    using TSerialLink::SetErrorFromOs;
    std::string Parse(const std::string& name) {
        deviceName_ = name;
        ParsePortNumber();
        return deviceName_;
    }
};

TEST(SerialLinkWin32Test, ComNamesAndLegacyPathsBecomeDevicePaths) {
    struct Case {
        const char* name;
        const char* device;
        int number;
    };
    const Case cases[] = {
        {"COM3", "\\\\.\\COM3", 2},
        {"com3", "\\\\.\\COM3", 2},
        {"COM12", "\\\\.\\COM12", 11},
        {"COM0", "COM0", -1},
        {"COM", "COM", -1},
        {"COMx", "COMx", -1},
        {"COM3x", "COM3x", -1},
        {"/dev/ttyS0", "\\\\.\\COM1", 0},
        {"/DEV/TTYS4", "\\\\.\\COM5", 4},
        {"/dev/ttySx", "/dev/ttySx", -1}, // no number: opened as it is, not as COM0
        {"\\\\.\\COM7", "\\\\.\\COM7", -1},
        {"", "", -1},
    };
    for (const Case& c : cases) {
        Probe probe;
        EXPECT_EQ(probe.Parse(c.name), c.device) << c.name;
        EXPECT_EQ(probe.PortNumber(), c.number) << c.name;
    }
}

TEST(SerialLinkWin32Test, MissingPortsFailWithFileNotFoundAndLeaveNothingOpen) {
    // COM0 is opened under its own name; COM250 through its device path.
    for (const char* name : {"COM0", "COM250", "nonsense-port"}) {
        TSerialLink link;
        link.OpenPort(name);
        EXPECT_EQ(link.ErrorCode(), ERROR_FILE_NOT_FOUND) << name;
        EXPECT_EQ(link.ErrorText(), OsErrorDescription(ERROR_FILE_NOT_FOUND)) << name;
        EXPECT_FALSE(link.PortActive()) << name;
        EXPECT_EQ(link.Handle(), InvalidHandle) << name;
        // The shell's retries reuse the object; reading stays "not connected".
        EXPECT_EQ(link.ReadAvailable(0), "");
        EXPECT_EQ(link.ErrorCode(), 9994);
    }
}

TEST(SerialLinkWin32Test, OsCodesGetTheSystemsTextsAndUnknownCodesNone) {
    for (const int code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_NOT_READY}) {
        const std::string text = TSerialLink::GetErrorDesc(code);
        ASSERT_FALSE(text.empty()) << code;
        // FormatMessage ends its texts with a period and CR LF.
        EXPECT_NE(text.back(), '.') << text;
        EXPECT_GT(static_cast<unsigned char>(text.back()), 32) << code;
    }
    // (Codes from 10004 up are Winsock's and have texts.)
    for (const int unknown : {9990, 9997 + 0x10000, -1, 0x7FFF1234}) {
        EXPECT_EQ(TSerialLink::GetErrorDesc(unknown), "") << unknown;
    }

    // The outcome of a failed call is the thread's last error; a stale last
    // error after a good call means nothing.
    Probe probe;
    SetLastError(ERROR_ACCESS_DENIED);
    probe.SetErrorFromOs(-1);
    EXPECT_EQ(probe.ErrorCode(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(probe.ErrorText(), TSerialLink::GetErrorDesc(ERROR_ACCESS_DENIED));
    probe.SetErrorFromOs(0);
    EXPECT_EQ(probe.ErrorCode(), 0);
    EXPECT_EQ(probe.ErrorText(), "OK");
}

// A record as a driver might hand it over: every byte set.
DCB FetchedDcb() {
    DCB dcb;
    std::memset(&dcb, 0xFF, sizeof dcb);
    dcb.Parity = EVENPARITY;
    dcb.ErrorChar = '?';
    dcb.EofChar = 26;
    dcb.EvtChar = '\n';
    return dcb;
}

TEST(DcbFlagsTest, ShellSettingsGiveTheHandshakeFlagWordAndKeepTheOtherCharacters) {
    DCB dcb = FetchedDcb();
    detail::FillDcb(dcb, {9600, 8, 'N', 0, false, true, 4096});
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    // Binary, CTS output flow, DTR on, RTS handshake; every other bit off,
    // the reserved ones too.
    EXPECT_EQ(detail::DcbFlagWord(dcb), 0x2015u);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    EXPECT_EQ(dcb.XonLim, 1024);
    EXPECT_EQ(dcb.XoffLim, 1024);
    EXPECT_EQ(dcb.ErrorChar, '?');
    EXPECT_EQ(dcb.EofChar, 26);
    EXPECT_EQ(dcb.EvtChar, '\n');

    // XON/XOFF instead of RTS/CTS, with even parity, two stop bits and a
    // smaller queue.
    dcb = FetchedDcb();
    detail::FillDcb(dcb, {19200, 7, 'e', 2, true, false, 1000});
    EXPECT_EQ(dcb.Parity, EVENPARITY);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(detail::DcbFlagWord(dcb), 0x1313u); // + parity check, XON/XOFF both ways, RTS on
    EXPECT_EQ(dcb.XonLim, 250);
}

TEST(DcbFlagsTest, ParityLettersInEitherCaseAndUnknownOnesKeepTheFetchedParity) {
    EXPECT_EQ(detail::ParityCode('m', NOPARITY), MARKPARITY);
    EXPECT_EQ(detail::ParityCode('S', NOPARITY), SPACEPARITY);
    EXPECT_EQ(detail::ParityCode('o', NOPARITY), ODDPARITY);
    for (const char unknown : {'X', '\0', static_cast<char>(0xC5)}) {
        DCB dcb = FetchedDcb();
        dcb.Parity = ODDPARITY;
        detail::FillDcb(dcb, {9600, 8, unknown, 0, false, true, 4096});
        EXPECT_EQ(dcb.Parity, ODDPARITY) << int(unknown);
        EXPECT_EQ(dcb.fParity, 1u) << int(unknown); // a kept parity is still checked
    }
}

} // namespace
} // namespace quillar
