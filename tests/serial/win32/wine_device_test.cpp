// TSerialLink on Win32 against a device: the Linux quillar-tester on a
// pseudo-terminal, registered with wine as a COM port (tests/windows/wine-run).
// Checks that only real Windows can judge run where a real port is named.
#include "serial/serial_link.h"

#include "wine_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <set>
#include <sstream>
#include <thread>

#include <windows.h>

namespace quillar {
namespace {

using namespace std::chrono_literals;
using test::Env;
using test::ShellQuoted;
using test::TempDir;

// The Linux simulator and the wine COM port that leads to its link.
const std::string kTester = QUILLAR_HOST_TESTER;
const std::string kPort = QUILLAR_WINE_PORT;
const std::string kPortLink = QUILLAR_WINE_PORT_LINK;

// A printout with every byte value and the tester's CR LF line ends.
std::string SamplePrintout() {
    std::string bytes = "BATTERY TEST\r\nVOLTAGE: 12.64V\r\n";
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    return bytes + "\r\nEND\r\n";
}

// Reads as the poll cycle does until count bytes came or ten seconds passed.
std::string ReadUpTo(TSerialLink& link, std::size_t count) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (got.size() < count && std::chrono::steady_clock::now() < until) {
        got += link.ReadAvailable(0);
        if (link.ErrorCode() != 0 && link.ErrorCode() != 9997) {
            ADD_FAILURE() << "read failed: " << link.ErrorCode() << " " << link.ErrorText();
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    return got;
}

// The simulated tester behind the registered COM port, started with the
// printout and the options given; its events land in a file.
class Tester {
public:
    Tester(const TempDir& dir, const std::string& options) : dir_(dir) {
        WriteFileAt("printout.bin", SamplePrintout());
        events_ = dir / "tester-events.txt";
        const std::string command = "exec " + ShellQuoted(kTester) + " --file " +
                                    ShellQuoted(dir.Unix("printout.bin")) + " --link " +
                                    ShellQuoted(kPortLink) + " --wait-open --pace 0 " + options;
        started_ = test::StartLinuxShell(command, dir.Unix("tester-events.txt"), dir);
    }
    ~Tester() {
        // The simulator stops by itself (its --hold); wait for it so that the
        // next test's tester finds the link free.
        WaitFor("done", 30s);
    }
    bool Linked() const { return started_ && !WaitFor("linked", 10s).empty(); }
    std::string WaitFor(const std::string& event, std::chrono::milliseconds timeout) const {
        return test::WaitForLine(events_, event, timeout);
    }
    int Count(const std::string& event) const { return test::CountLines(events_, event); }
    std::string Events() const { return test::ReadFile(events_); }

private:
    void WriteFileAt(const std::string& name, const std::string& bytes) {
        test::WriteFile(dir_ / name, bytes);
    }
    const TempDir& dir_;
    std::string events_;
    bool started_ = false;
};

// The line settings of the tester's pseudo-terminal, as Linux reports them.
std::string LinuxLineSettings(const TempDir& dir) {
    const std::string out = dir.Unix("stty.txt");
    test::StartLinuxShell("stty -a -F " + ShellQuoted(kPortLink) + " && echo stty-done", out, dir);
    test::WaitForLine(dir / "stty.txt", "stty-done", 10s);
    return test::ReadFile(dir / "stty.txt");
}

class WineDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::RunningUnderWine()) {
            GTEST_SKIP() << "the simulated tester runs on Linux: run these under wine";
        }
        if (kTester.empty()) {
            GTEST_SKIP() << "no simulated tester: set QUILLAR_HOST_BIN_DIR in the windows-cross "
                            "build to a native build's bin folder";
        }
        // Here the test cannot go on: the run must have its tester port.
        ASSERT_EQ(Env("QUILLAR_WINE_PORT_EXPECTED"), "listed")
            << "the port is registered by the wine.register_port test (run it through ctest)";
        port_ = kPort;
    }
    std::string port_;
};

// Reaches ReadRaw, to make a read that the driver must leave pending.
class RawReader : public TSerialLink {
public:
    using TSerialLink::ReadRaw;
};

TEST_F(WineDeviceTest, PrintoutArrivesWholeOnTheShellsLineAndNoByteIsLostAfterATimedOutRead) {
    TempDir dir;
    // Two copies of the printout, the second well after the first.
    Tester tester(dir, "--repeat 2 --interval 4 --hold 0.5");
    ASSERT_TRUE(tester.Linked()) << tester.Events();

    RawReader link;
    link.OpenPort(port_);
    ASSERT_EQ(link.ErrorCode(), 0) << link.ErrorText();
    ASSERT_TRUE(link.PortActive());
    EXPECT_EQ(link.DeviceName(), "\\\\.\\" + port_);
    link.SetLine(9600, 8, 'N', 0, false, true);
    ASSERT_EQ(link.ErrorCode(), 0) << link.ErrorText();

    // 9600 8N1 with RTS/CTS, raw, as the Linux side of the line sees it.
    const std::string settings = LinuxLineSettings(dir);
    EXPECT_NE(settings.find("speed 9600 baud;"), std::string::npos) << settings;
    std::istringstream words(settings);
    const std::set<std::string> flags{std::istream_iterator<std::string>(words),
                                      std::istream_iterator<std::string>()};
    for (const char* expected : {"cs8", "-parenb", "-cstopb", "crtscts", "-ixon", "-ixoff"}) {
        EXPECT_TRUE(flags.count(expected)) << expected << " in\n" << settings;
    }

    // A second open on the active object changes nothing.
    const NativeHandle handle = link.Handle();
    link.OpenPort(port_);
    EXPECT_EQ(link.ErrorCode(), 9992);
    EXPECT_EQ(link.Handle(), handle);

    const std::string printout = SamplePrintout();
    EXPECT_EQ(ReadUpTo(link, printout.size()), printout);

    // Nothing waiting: at once the empty string and 9997.
    EXPECT_EQ(link.ReadAvailable(0), "");
    EXPECT_EQ(link.ErrorCode(), 9997);
    EXPECT_EQ(link.ErrorText(), "Timeout during operation");

    // A read for bytes that do not come is left pending by the driver and
    // given up after DeadlockTimeout.
    link.DeadlockTimeout = 200;
    char buffer[16];
    EXPECT_EQ(link.ReadRaw(buffer, sizeof buffer), 0);
    EXPECT_EQ(link.ErrorCode(), 9997);
    ASSERT_EQ(tester.Count("sent"), 1)
        << "the second copy came during the read: " << tester.Events();

    // The given-up read must not take any of the bytes that come later.
    EXPECT_EQ(ReadUpTo(link, printout.size()), printout);
    EXPECT_EQ(tester.Count("sent"), 2) << tester.Events();
}

TEST_F(WineDeviceTest, UnpluggedTesterIsReportedWithTheOsCodeInsteadOfLookingIdle) {
    TempDir dir;
    Tester tester(dir, "--hold 0.3");
    ASSERT_TRUE(tester.Linked()) << tester.Events();
    TSerialLink link;
    link.OpenPort(port_);
    ASSERT_EQ(link.ErrorCode(), 0) << link.ErrorText();
    link.SetLine(9600, 8, 'N', 0, false, true);
    const std::string printout = SamplePrintout();
    EXPECT_EQ(ReadUpTo(link, printout.size()), printout);

    // The simulator ends after its hold and closes its pseudo-terminal, as
    // pulling the cable does.
    ASSERT_FALSE(tester.WaitFor("done", 10s).empty()) << tester.Events();
    for (int call = 0; call < 2; ++call) {
        EXPECT_EQ(link.ReadAvailable(0), "");
        EXPECT_NE(link.ErrorCode(), 0) << "call " << call;
        EXPECT_NE(link.ErrorCode(), 9997) << "call " << call;
        EXPECT_LT(link.ErrorCode(), 9991) << "call " << call; // an OS code
        EXPECT_EQ(link.ErrorText(), TSerialLink::GetErrorDesc(link.ErrorCode()));
        EXPECT_FALSE(link.ErrorText().empty());
        EXPECT_TRUE(link.DeviceGone());
        EXPECT_TRUE(link.PortActive()); // read errors never close the port
    }
    // A waiting read on a gone device does not wait for bytes that never come.
    EXPECT_EQ(link.ReadAvailable(60000), "");
    EXPECT_TRUE(link.DeviceGone());

    link.ClosePort();
    EXPECT_EQ(link.ErrorCode(), 0);
    EXPECT_FALSE(link.DeviceGone());
}

// Real Windows only: wine lets a second exclusive open through and ends a
// timed event wait on a pseudo-terminal early without data. Name a port with
// a device that sends now and then, e.g. QUILLAR_TEST_SERIAL_PORT=COM3.
class Win32RealPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (test::RunningUnderWine()) {
            GTEST_SKIP() << "wine does not enforce exclusive opens nor wait for line events "
                            "on a pseudo-terminal; this needs real Windows";
        }
        port_ = Env("QUILLAR_TEST_SERIAL_PORT");
        if (port_.empty()) {
            GTEST_SKIP() << "set QUILLAR_TEST_SERIAL_PORT to a COM port to run this";
        }
    }
    std::string port_;
};

TEST_F(Win32RealPortTest, HeldPortIsDeniedToASecondOpenAndAWaitingReadTakesWhatComes) {
    TSerialLink holder;
    holder.OpenPort(port_);
    ASSERT_EQ(holder.ErrorCode(), 0) << holder.ErrorText();
    holder.SetLine(9600, 8, 'N', 0, false, true);
    ASSERT_EQ(holder.ErrorCode(), 0) << holder.ErrorText();

    TSerialLink other;
    other.OpenPort(port_);
    EXPECT_EQ(other.ErrorCode(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(other.PortActive());
    EXPECT_EQ(other.Handle(), InvalidHandle);

    const std::string got = holder.ReadAvailable(10000);
    EXPECT_TRUE((holder.ErrorCode() == 0 && !got.empty()) ||
                (holder.ErrorCode() == 9997 && got.empty()))
        << holder.ErrorCode() << " " << holder.ErrorText();
}

} // namespace
} // namespace quillar
