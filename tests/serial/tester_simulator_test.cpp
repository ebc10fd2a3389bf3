// quillar-tester end to end: its link is found as an extra port, a TSerialLink
// reads the printout from it byte for byte, and its unplug is seen.
#include "serial/port_discovery_linux.h"
#include "serial/serial_link.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include <unistd.h>

namespace quillar {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::TempDir;
using test::WriteFile;

const std::string kTester = QUILLAR_TESTER_EXE;

// A printout with every byte value and the tester's CR LF line ends.
std::string SamplePrintout() {
    std::string bytes = "BATTERY TEST\r\nVOLTAGE: 12.64V\r\n";
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    bytes += "\r\nEND\r\n";
    return bytes;
}

// Reads from the link until count bytes came or two seconds passed.
std::string ReadUpTo(TSerialLink& link, std::size_t count) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (got.size() < count && std::chrono::steady_clock::now() < until) {
        got += link.ReadAvailable(0);
        if (link.ErrorCode() != 0 && link.ErrorCode() != 9997) {
            ADD_FAILURE() << "read failed: " << link.ErrorText();
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    return got;
}

bool Listed(const std::string& extraPorts, const std::string& path) {
    TempDir noSysfs;
    const auto ports = ScanSerialPorts(noSysfs.Path(), extraPorts, {});
    return std::find(ports.begin(), ports.end(), path) != ports.end();
}

TEST(TesterSimulatorTest, BadArgumentsExitWithTwoAndRuntimeFailuresWithOne) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {kTester},
             {kTester, "--model", "KD999", "--link", "/tmp/x"},
             {kTester, "--model", "KD520", "--file", "/etc/hostname"},
             {kTester, "--file", "/etc/hostname", "--pace", "fast"},
             {kTester, "--file", "/etc/hostname", "--repeat", "0"},
             {kTester, "--file", "/etc/hostname", "--delay", "-1"},
             {kTester, "--file", "/etc/hostname", "--replug-after", "1"},
             {kTester, "--file", "/etc/hostname", "--port", "/dev/null", "--wait-open"},
             {kTester, "--file", "/etc/hostname", "--bogus", "1"},
             {kTester, "--file"},
             {kTester, "--file", "/etc/hostname", "--link", ""},
         }) {
        ChildProcess child(args);
        EXPECT_EQ(child.Wait(10s), 2) << args.back();
        EXPECT_EQ(child.Stderr().rfind("quillar-tester: ", 0), 0u) << child.Stderr();
        EXPECT_EQ(std::count(child.Stderr().begin(), child.Stderr().end(), '\n'), 1)
            << child.Stderr();
    }

    ChildProcess help({kTester, "--help"});
    EXPECT_EQ(help.ReadLine(5s).rfind("usage: quillar-tester", 0), 0u);
    EXPECT_EQ(help.Wait(10s), 0);

    TempDir dir;
    ChildProcess missing({kTester, "--file", dir / "missing.txt", "--link", dir / "l"});
    EXPECT_EQ(missing.Wait(10s), 1);
    EXPECT_EQ(missing.Stderr(), "quillar-tester: cannot read " + (dir / "missing.txt") +
                                    ": No such file or directory\n");

    // A file in the link's place is not the simulator's to replace.
    WriteFile(dir / "taken", "keep me");
    WriteFile(dir / "printout", "x");
    ChildProcess taken({kTester, "--file", dir / "printout", "--link", dir / "taken"});
    EXPECT_EQ(taken.Wait(10s), 1);
    EXPECT_NE(taken.Stderr().find("not a symbolic link"), std::string::npos) << taken.Stderr();
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "taken"));
    EXPECT_EQ(std::filesystem::file_size(dir / "taken"), 7u);

    ChildProcess noPort({kTester, "--file", dir / "printout", "--port", dir / "no-port"});
    EXPECT_EQ(noPort.Wait(10s), 1);
    EXPECT_NE(noPort.Stderr().find("No such file or directory"), std::string::npos);
}

TEST(TesterSimulatorTest, LinkedPrintoutReachesTheLinkByteForByte) {
    TempDir dir;
    const std::string printout = SamplePrintout();
    WriteFile(dir / "printout.bin", printout);
    const std::string linkPath = dir / "tester";
    // A stale link from an earlier run is replaced.
    ASSERT_EQ(symlink("/dev/pts/no-such-pty", linkPath.c_str()), 0);

    ChildProcess tester({kTester, "--file", dir / "printout.bin", "--link", linkPath, "--wait-open",
                         "--pace", "0", "--delay", "0.2"});
    const std::string linked = tester.ReadLine(10s);
    ASSERT_EQ(linked.rfind("linked " + linkPath + " -> /dev/pts/", 0), 0u) << linked;
    EXPECT_TRUE(Listed(linkPath, linkPath));

    // Nobody opened the device yet: nothing is sent.
    EXPECT_EQ(tester.ReadLine(300ms), "");

    TSerialLink link;
    link.OpenPort(linkPath);
    ASSERT_EQ(link.ErrorCode(), 0) << link.ErrorText();
    link.SetLine(9600, 8, 'N', 0, false, true);
    ASSERT_EQ(link.ErrorCode(), 0) << link.ErrorText();

    EXPECT_EQ(tester.ReadLine(10s), "opened");
    EXPECT_EQ(tester.ReadLine(10s), "sent " + std::to_string(printout.size()) + " bytes");
    EXPECT_EQ(ReadUpTo(link, printout.size()), printout);
    EXPECT_EQ(link.ReadAvailable(0), "");
    EXPECT_EQ(link.ErrorCode(), 9997);

    tester.Signal(SIGTERM);
    EXPECT_EQ(tester.ReadLine(10s), "stopped");
    EXPECT_EQ(tester.Wait(10s), 0) << tester.Stderr();
    EXPECT_FALSE(Listed(linkPath, linkPath)); // the link went with it
    EXPECT_EQ(link.ReadAvailable(0), "");
    EXPECT_TRUE(link.DeviceGone());
}

TEST(TesterSimulatorTest, UnplugIsSeenAndReplugOffersTheRestOfTheSends) {
    TempDir dir;
    const std::string printout = SamplePrintout();
    WriteFile(dir / "printout.bin", printout);
    const std::string linkPath = dir / "tester";

    // Two sends with a long pause: the unplug comes between them, and the
    // second goes out after the replug. Paced, as a tester sends.
    ChildProcess tester({kTester,
                         "--file",
                         dir / "printout.bin",
                         "--link",
                         linkPath,
                         "--wait-open",
                         "--delay",
                         "0.1",
                         "--pace",
                         "4000",
                         "--repeat",
                         "2",
                         "--interval",
                         "600",
                         "--unplug-after",
                         "2",
                         "--replug-after",
                         "0.3",
                         "--hold",
                         "60"});
    ASSERT_EQ(tester.ReadLine(10s).rfind("linked ", 0), 0u);
    TSerialLink first;
    first.OpenPort(linkPath);
    ASSERT_EQ(first.ErrorCode(), 0) << first.ErrorText();
    first.SetLine(9600, 8, 'N', 0, false, true);
    EXPECT_EQ(tester.ReadLineStartingWith("sent ", 10s),
              "sent " + std::to_string(printout.size()) + " bytes");
    EXPECT_EQ(ReadUpTo(first, printout.size()), printout);

    EXPECT_EQ(tester.ReadLine(10s), "unplugged");
    EXPECT_EQ(first.ReadAvailable(0), "");
    EXPECT_EQ(first.ErrorCode(), EIO);
    EXPECT_EQ(first.ErrorText(), "Input/output error");
    EXPECT_TRUE(first.DeviceGone());
    EXPECT_FALSE(Listed(linkPath, linkPath));

    EXPECT_EQ(tester.ReadLine(10s), "replugged");
    ASSERT_EQ(tester.ReadLine(10s).rfind("linked " + linkPath + " -> /dev/pts/", 0), 0u);
    // The old object still reports its own device as gone.
    EXPECT_EQ(first.ReadAvailable(0), "");
    EXPECT_TRUE(first.DeviceGone());

    TSerialLink second;
    second.OpenPort(linkPath);
    ASSERT_EQ(second.ErrorCode(), 0) << second.ErrorText();
    second.SetLine(9600, 8, 'N', 0, false, true);
    EXPECT_EQ(tester.ReadLine(10s), "opened");
    EXPECT_EQ(tester.ReadLine(10s), "sent " + std::to_string(printout.size()) + " bytes");
    EXPECT_EQ(ReadUpTo(second, printout.size()), printout);
    EXPECT_FALSE(second.DeviceGone());

    tester.Signal(SIGINT);
    EXPECT_EQ(tester.ReadLine(10s), "stopped");
    EXPECT_EQ(tester.Wait(10s), 0) << tester.Stderr();
}

TEST(TesterSimulatorTest, UnplugWithoutReplugEndsTheRun) {
    TempDir dir;
    WriteFile(dir / "printout.bin", "short");
    const std::string linkPath = dir / "tester";
    ChildProcess tester(
        {kTester, "--file", dir / "printout.bin", "--link", linkPath, "--unplug-after", "0.5"});
    ASSERT_EQ(tester.ReadLine(10s).rfind("linked ", 0), 0u);
    TSerialLink link;
    link.OpenPort(linkPath);
    ASSERT_EQ(link.ErrorCode(), 0) << link.ErrorText();
    EXPECT_EQ(tester.ReadLineStartingWith("unplugged", 10s), "unplugged");
    EXPECT_EQ(tester.ReadLine(10s), "done");
    EXPECT_EQ(tester.Wait(10s), 0) << tester.Stderr();
    EXPECT_EQ(link.ReadAvailable(0), "");
    EXPECT_EQ(link.ErrorCode(), EIO);
    EXPECT_TRUE(link.DeviceGone());
}

TEST(TesterSimulatorTest, ModelSamplesAreFoundThroughTheSamplesFolder) {
    TempDir dir;
    WriteFile(dir / "qm.txt", "QM SAMPLE\r\n");
    test::ScopedEnv samples("QUILLAR_SAMPLES_DIR", dir.Path());
    // Without --link: the pty's own device is named, and the run ends after a short hold.
    ChildProcess tester({kTester, "--model", "QM", "--pace", "0", "--wait-open", "--hold", "1"});
    const std::string pty = tester.ReadLine(10s);
    ASSERT_EQ(pty.rfind("pty /dev/pts/", 0), 0u) << pty;
    TSerialLink link;
    link.OpenPort(pty.substr(4));
    ASSERT_EQ(link.ErrorCode(), 0) << link.ErrorText();
    link.SetLine(9600, 8, 'N', 0, false, true);
    EXPECT_EQ(tester.ReadLine(10s), "opened");
    EXPECT_EQ(tester.ReadLine(10s), "sent 11 bytes");
    EXPECT_EQ(ReadUpTo(link, 11), "QM SAMPLE\r\n");
    EXPECT_EQ(tester.ReadLine(10s), "done");
    EXPECT_EQ(tester.Wait(10s), 0);
}

TEST(TesterSimulatorTest, PortModeSendsThroughASerialDeviceSetTo9600EightNoneOne) {
    // A pty's slave stands in for the real port; the test listens on the master.
    test::Pty line;
    TempDir dir;
    const std::string printout = SamplePrintout();
    WriteFile(dir / "printout.bin", printout);
    ChildProcess tester(
        {kTester, "--file", dir / "printout.bin", "--port", line.SlavePath(), "--hold", "30"});
    EXPECT_EQ(tester.ReadLine(10s), "port " + line.SlavePath());
    EXPECT_EQ(tester.ReadLine(10s), "sent " + std::to_string(printout.size()) + " bytes");
    EXPECT_EQ(line.Receive(printout.size()), printout);

    // While the simulator holds the port nobody else gets it.
    TSerialLink other;
    other.OpenPort(line.SlavePath());
    EXPECT_EQ(other.ErrorCode(), EBUSY);
    tester.Signal(SIGTERM);
    EXPECT_EQ(tester.Wait(10s), 0) << tester.Stderr();
}

} // namespace
} // namespace quillar
