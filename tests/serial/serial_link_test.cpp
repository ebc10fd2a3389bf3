// TSerialLink on pseudo-terminals: open, exclusive use, reads, close, unplug.
#include "serial/line_state_posix.h"
#include "serial/serial_link.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>

#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace quillar {
namespace {

using test::Pty;
using test::TempDir;
using test::WaitForWaitingBytes;

// Opens the link on the pty the way the shell does: open, then SetLine.
void Connect(TSerialLink& link, const std::string& path) {
    link.OpenPort(path);
    ASSERT_EQ(link.ErrorCode(), 0) << link.ErrorText();
    ASSERT_TRUE(link.PortActive());
    link.SetLine(9600, 8, 'N', 0, false, true);
    ASSERT_EQ(link.ErrorCode(), 0) << link.ErrorText();
}

// Sends bytes through the pty and waits until all of them wait at the link.
void Deliver(Pty& pty, const TSerialLink& link, const std::string& bytes) {
    pty.Send(bytes);
    ASSERT_TRUE(WaitForWaitingBytes(link.Handle(), static_cast<int>(bytes.size())));
}

TEST(SerialLinkTest, NewObjectTouchesNoPortAndReadsNothing) {
    TSerialLink link;
    EXPECT_EQ(link.ErrorCode(), 0);
    EXPECT_EQ(link.ErrorText(), "OK");
    EXPECT_FALSE(link.PortActive());
    EXPECT_EQ(link.Handle(), -1);
    EXPECT_EQ(link.PortNumber(), -1);
    EXPECT_EQ(link.DeviceName(), "");
    EXPECT_FALSE(link.DeviceGone());
    EXPECT_FALSE(link.RaiseExcept);
    EXPECT_EQ(link.ReceiveQueueSize, 4096);
    EXPECT_EQ(link.DeadlockTimeout, 30000);

    EXPECT_EQ(link.ReadAvailable(0), "");
    EXPECT_EQ(link.ErrorCode(), 9994);
    EXPECT_EQ(link.ErrorText(), "Instance not yet connected");
}

TEST(SerialLinkTest, OpenOfMissingPathFailsWithNotFoundAndLeavesNothingOpen) {
    TempDir dir;
    TSerialLink link;
    link.OpenPort(dir / "no-such-port");
    EXPECT_EQ(link.ErrorCode(), ENOENT);
    EXPECT_EQ(link.ErrorText(), "No such file or directory");
    EXPECT_FALSE(link.PortActive());
    EXPECT_EQ(link.Handle(), -1);
    EXPECT_EQ(link.DeviceName(), dir / "no-such-port");

    // The shell's retries reuse the object; reading it stays "not connected".
    EXPECT_EQ(link.ReadAvailable(0), "");
    EXPECT_EQ(link.ErrorCode(), 9994);
    link.OpenPort(dir / "no-such-port");
    EXPECT_EQ(link.ErrorCode(), ENOENT);
}

// Reaches ParsePortNumber without opening anything.
class NameParser : public TSerialLink {
public:
    std::string Parse(const std::string& name) {
        deviceName_ = name;
        ParsePortNumber();
        return deviceName_;
    }
};

TEST(SerialLinkTest, ComNamesMapToLegacyPortsAndOtherNamesStayAsTheyAre) {
    struct Case {
        const char* name;
        const char* device;
        int number;
    };
    const Case cases[] = {
        {"COM3", "/dev/ttyS2", 2},
        {"com3", "/dev/ttyS2", 2},
        {"cOm1", "/dev/ttyS0", 0},
        {"COM12", "/dev/ttyS11", 11},
        {"COM0", "COM0", -1},
        {"COM", "COM", -1},
        {"COMx", "COMx", -1},
        {"COM3x", "COM3x", -1},
        {"COM-1", "COM-1", -1},
        {"COM99999999999", "COM99999999999", -1},
        {"/dev/ttyS4", "/dev/ttyS4", 4},
        {"/dev/ttyS10", "/dev/ttyS10", 10},
        {"/dev/ttySx", "/dev/ttySx", -1},
        {"/dev/ttyUSB0", "/dev/ttyUSB0", -1},
        {"/dev/ttys1", "/dev/ttys1", -1},
        {"", "", -1},
    };
    for (const Case& c : cases) {
        NameParser parser;
        EXPECT_EQ(parser.Parse(c.name), c.device) << c.name;
        EXPECT_EQ(parser.PortNumber(), c.number) << c.name;
    }

    // An unchanged COM name is opened as it is and is not found.
    TSerialLink link;
    link.OpenPort("COM0");
    EXPECT_EQ(link.ErrorCode(), ENOENT);
    EXPECT_EQ(link.DeviceName(), "COM0");
}

TEST(SerialLinkTest, IdleReadTimesOutAtOnceAndWaitingBytesComeInOneCall) {
    Pty pty;
    TSerialLink link;
    Connect(link, pty.SlavePath());

    EXPECT_EQ(link.ReadAvailable(0), "");
    EXPECT_EQ(link.ErrorCode(), 9997);
    EXPECT_EQ(link.ErrorText(), "Timeout during operation");
    EXPECT_FALSE(link.DeviceGone());

    std::string printout;
    for (int i = 0; i < 300; ++i) {
        printout += static_cast<char>('A' + i % 26);
    }
    Deliver(pty, link, printout);
    EXPECT_EQ(link.ReadAvailable(0), printout);
    EXPECT_EQ(link.ErrorCode(), 0);
    EXPECT_EQ(link.ErrorText(), "OK");

    EXPECT_EQ(link.ReadAvailable(0), "");
    EXPECT_EQ(link.ErrorCode(), 9997);
}

TEST(SerialLinkTest, EveryByteValuePassesUnchanged) {
    // NUL, CR, DEL, ^C, XON/XOFF and 0x80..0xFF are what a cooked terminal
    // would rewrite or swallow; SetLine's raw mode must pass them all.
    Pty pty;
    TSerialLink link;
    Connect(link, pty.SlavePath());
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all += static_cast<char>(i);
    }
    Deliver(pty, link, all);
    const std::string got = link.ReadAvailable(0);
    EXPECT_EQ(link.ErrorCode(), 0);
    ASSERT_EQ(got.size(), 256u);
    EXPECT_EQ(got, all);
}

TEST(SerialLinkTest, ReadWithTimeOutTakesAByteThatArrivesDuringTheWait) {
    Pty pty;
    TSerialLink link;
    Connect(link, pty.SlavePath());
    std::thread sender([&pty] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty.Send("X");
    });
    // Generous bound: the result, not the time, is what is checked.
    std::string got = link.ReadAvailable(5000);
    sender.join();
    if (got.empty() && link.ErrorCode() == 9997) {
        got = link.ReadAvailable(5000); // the byte came between the checks
    }
    EXPECT_EQ(got, "X");
    EXPECT_EQ(link.ErrorCode(), 0);
}

TEST(SerialLinkTest, SecondOpenOnActiveObjectFailsAndFirstPortStaysUsable) {
    Pty first;
    Pty second;
    TSerialLink link;
    Connect(link, first.SlavePath());
    const int handle = link.Handle();

    link.OpenPort(second.SlavePath());
    EXPECT_EQ(link.ErrorCode(), 9992);
    EXPECT_EQ(link.ErrorText(), "Instance already in use");
    EXPECT_TRUE(link.PortActive());
    EXPECT_EQ(link.Handle(), handle);
    EXPECT_EQ(link.DeviceName(), first.SlavePath());

    Deliver(first, link, "still here");
    EXPECT_EQ(link.ReadAvailable(0), "still here");
    EXPECT_EQ(link.ErrorCode(), 0);
}

TEST(SerialLinkTest, HeldPortIsBusyForAnotherObjectAndAnotherProcess) {
    Pty pty;
    TempDir dir;
    const std::string alias = dir / "tester";
    ASSERT_EQ(symlink(pty.SlavePath().c_str(), alias.c_str()), 0);

    TSerialLink holder;
    Connect(holder, pty.SlavePath());

    // Through another name of the same device, too.
    for (const std::string& path : {pty.SlavePath(), alias}) {
        TSerialLink other;
        other.OpenPort(path);
        EXPECT_EQ(other.ErrorCode(), EBUSY) << path;
        EXPECT_EQ(other.ErrorText(), "Device or resource busy (another program holds the port)");
        EXPECT_FALSE(other.PortActive());
        EXPECT_EQ(other.Handle(), -1);
    }

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TSerialLink other;
        other.OpenPort(pty.SlavePath());
        _exit(other.ErrorCode() == EBUSY && !other.PortActive() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // The failed opens took nothing from the holder.
    Deliver(pty, holder, "ok");
    EXPECT_EQ(holder.ReadAvailable(0), "ok");
}

TEST(SerialLinkTest, ClosedOrDestroyedLinkFreesThePortForTheNextOpen) {
    Pty pty;
    {
        TSerialLink link;
        Connect(link, pty.SlavePath());
        link.ClosePort();
        EXPECT_FALSE(link.PortActive());
        EXPECT_EQ(link.Handle(), -1);
        EXPECT_EQ(link.PortNumber(), -1);
        EXPECT_EQ(link.ErrorCode(), 0);
        EXPECT_EQ(link.DeviceName(), pty.SlavePath()); // survives the close
        EXPECT_EQ(link.ReadAvailable(0), "");
        EXPECT_EQ(link.ErrorCode(), 9994);

        // The same object opens again.
        Connect(link, pty.SlavePath());
        Deliver(pty, link, "again");
        EXPECT_EQ(link.ReadAvailable(0), "again");
    } // destruction closes
    TSerialLink next;
    next.OpenPort(pty.SlavePath());
    EXPECT_EQ(next.ErrorCode(), 0) << next.ErrorText();
    EXPECT_TRUE(next.PortActive());
}

TEST(SerialLinkTest, OpenPurgesBytesThatArrivedBeforeIt) {
    Pty pty;
    TSerialLink link;
    Connect(link, pty.SlavePath());
    link.ClosePort();
    pty.Send("stale");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Connect(link, pty.SlavePath());
    EXPECT_EQ(link.ReadAvailable(0), "");
    EXPECT_EQ(link.ErrorCode(), 9997);
}

TEST(SerialLinkTest, ReadinessTestOnLinesThatAPtyLacksFailsTheOpen) {
    // A pty has no modem lines: asking for CTS means no device answers.
    Pty pty;
    TSerialLink link;
    link.TestCTS = true;
    link.OpenPort(pty.SlavePath());
    EXPECT_EQ(link.ErrorCode(), 9995);
    EXPECT_EQ(link.ErrorText(), "No device answer detected");
    EXPECT_FALSE(link.PortActive());
    EXPECT_EQ(link.Handle(), -1);
    EXPECT_EQ(link.PortNumber(), -1);

    // The handle was closed again: another object can have the port.
    TSerialLink next;
    next.OpenPort(pty.SlavePath());
    EXPECT_EQ(next.ErrorCode(), 0) << next.ErrorText();
}

TEST(SerialLinkTest, ShellLineSettingsReachTheDevice) {
    Pty pty;
    TSerialLink link;
    Connect(link, pty.SlavePath());
    termios t{};
    ASSERT_EQ(tcgetattr(link.Handle(), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), B9600);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetispeed(&link.LineState()), B9600);

    // Two stop bits and another rate, as the line records them.
    link.SetLine(19200, 8, 'n', 2, true, false);
    EXPECT_EQ(link.ErrorCode(), 0);
    ASSERT_EQ(tcgetattr(link.Handle(), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), B19200);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
}

TEST(SerialLinkTest, SetLineRejectsWhatTheLineCannotTake) {
    Pty pty;
    TSerialLink link;
    Connect(link, pty.SlavePath());
    link.SetLine(12345, 8, 'N', 0, false, true);
    EXPECT_EQ(link.ErrorCode(), EINVAL);
    EXPECT_EQ(link.ErrorText(), "Invalid argument");
    link.SetLine(9600, 9, 'N', 0, false, true);
    EXPECT_EQ(link.ErrorCode(), EINVAL);
    link.SetLine(9600, 8, 'N', 3, false, true);
    EXPECT_EQ(link.ErrorCode(), EINVAL);
    // The port keeps working at its earlier settings.
    link.SetLine(9600, 8, 'N', 0, false, true);
    EXPECT_EQ(link.ErrorCode(), 0);

    TSerialLink closed;
    closed.SetLine(9600, 8, 'N', 0, false, true);
    EXPECT_EQ(closed.ErrorCode(), EBADF);
}

TEST(SerialLinkTest, UnpluggedDeviceIsReportedInsteadOfLookingIdle) {
    Pty pty;
    TSerialLink link;
    Connect(link, pty.SlavePath());
    Deliver(pty, link, "last words");
    EXPECT_EQ(link.ReadAvailable(0), "last words");

    pty.CloseMaster();
    for (int call = 0; call < 2; ++call) {
        EXPECT_EQ(link.ReadAvailable(0), "");
        EXPECT_EQ(link.ErrorCode(), EIO) << "call " << call;
        EXPECT_EQ(link.ErrorText(), "Input/output error");
        EXPECT_TRUE(link.DeviceGone());
        EXPECT_TRUE(link.PortActive()); // read errors never close the port
    }
    // A waiting read on a gone device does not wait for bytes that never come.
    EXPECT_EQ(link.ReadAvailable(60000), "");
    EXPECT_EQ(link.ErrorCode(), EIO);

    link.ClosePort();
    EXPECT_EQ(link.ErrorCode(), 0);
    EXPECT_FALSE(link.DeviceGone());
}

TEST(SerialLinkTest, RemovedOrReplacedDeviceNodeCountsAsGone) {
    TempDir dir;
    const std::string linkPath = dir / "tester";
    Pty first;
    ASSERT_EQ(symlink(first.SlavePath().c_str(), linkPath.c_str()), 0);
    {
        TSerialLink link;
        Connect(link, linkPath);
        ASSERT_EQ(unlink(linkPath.c_str()), 0);
        EXPECT_EQ(link.ReadAvailable(0), "");
        EXPECT_EQ(link.ErrorCode(), ENOENT);
        EXPECT_TRUE(link.DeviceGone());
    }
    Pty second;
    ASSERT_EQ(symlink(first.SlavePath().c_str(), linkPath.c_str()), 0);
    TSerialLink link;
    Connect(link, linkPath);
    ASSERT_EQ(unlink(linkPath.c_str()), 0);
    ASSERT_EQ(symlink(second.SlavePath().c_str(), linkPath.c_str()), 0);
    // The name leads elsewhere now, but bytes that wait are still read.
    Deliver(first, link, "tail");
    EXPECT_EQ(link.ReadAvailable(0), "tail");
    EXPECT_EQ(link.ErrorCode(), 0);
    // Nothing left and the name leads elsewhere: this device was unplugged.
    EXPECT_EQ(link.ReadAvailable(0), "");
    EXPECT_EQ(link.ErrorCode(), ENODEV);
    EXPECT_TRUE(link.DeviceGone());
}

TEST(SerialLinkTest, RaiseExceptThrowsWithCodeAndTextAndKeepsTheState) {
    TempDir dir;
    TSerialLink link;
    link.RaiseExcept = true;
    try {
        link.OpenPort(dir / "missing");
        FAIL() << "no exception";
    } catch (const ESerialLinkError& e) {
        EXPECT_STREQ(e.what(), "Communication error 2: No such file or directory");
        EXPECT_EQ(e.ErrorCode, ENOENT);
        EXPECT_EQ(e.ErrorText, "No such file or directory");
    }
    EXPECT_EQ(link.ErrorCode(), ENOENT);
    EXPECT_FALSE(link.PortActive());

    try {
        link.ReadAvailable(0);
        FAIL() << "no exception";
    } catch (const ESerialLinkError& e) {
        EXPECT_STREQ(e.what(), "Communication error 9994: Instance not yet connected");
    }

    Pty pty;
    link.OpenPort(pty.SlavePath());
    ASSERT_TRUE(link.PortActive());
    EXPECT_THROW(link.ReadAvailable(0), ESerialLinkError); // 9997 raises too
    EXPECT_EQ(link.ErrorCode(), 9997);
}

TEST(SerialLinkTest, DestroyingARaisingLinkOnAGoneDeviceDoesNotThrow) {
    Pty pty;
    auto link = std::make_unique<TSerialLink>();
    link->OpenPort(pty.SlavePath());
    ASSERT_TRUE(link->PortActive());
    link->RaiseExcept = true;
    pty.CloseMaster();
    EXPECT_THROW(link->ReadAvailable(0), ESerialLinkError);
    EXPECT_NO_THROW(link.reset()); // the purge on close fails with EIO
}

// The real-port checks run only where a port is named, e.g.
// QUILLAR_TEST_SERIAL_PORT=/dev/ttyUSB0; a pty cannot show line settings'
// effect, modem lines or line errors.
TEST(SerialLinkRealPortTest, OpensSetsTheLineAndReadsWithoutWaiting) {
    const char* port = std::getenv("QUILLAR_TEST_SERIAL_PORT");
    if (port == nullptr || *port == '\0') {
        GTEST_SKIP() << "set QUILLAR_TEST_SERIAL_PORT to a serial device to run this";
    }
    TSerialLink link;
    Connect(link, port);
    termios t{};
    ASSERT_EQ(tcgetattr(link.Handle(), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);

    link.ReadAvailable(0);
    EXPECT_TRUE(link.ErrorCode() == 0 || link.ErrorCode() == 9997) << link.ErrorText();
    EXPECT_FALSE(link.DeviceGone());

    TSerialLink other;
    other.OpenPort(port);
    EXPECT_EQ(other.ErrorCode(), EBUSY);
}

} // namespace
} // namespace quillar
