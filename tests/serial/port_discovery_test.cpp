// Port discovery on fake sysfs trees and the extra ports.
#include "serial/natural_order.h"
#include "serial/port_discovery_linux.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

namespace quillar {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;
using test::WriteFile;
using Ports = std::vector<std::string>;

// A sysfs tree as the kernel lays it out: class/tty/<name> links to the tty's
// folder under devices/, whose device link leads to the parent device, whose
// driver link leads to the driver under bus/.
class FakeSysfs {
public:
    const std::string& Root() const { return dir_.Path(); }

    // A tty with a device; driver empty = a device that no driver has bound.
    void AddTty(const std::string& name, const std::string& driver) {
        const fs::path root = dir_.Path();
        const fs::path device = root / "devices" / ("dev-" + name);
        const fs::path tty = device / "tty" / name;
        fs::create_directories(tty);
        fs::create_directories(root / "class" / "tty");
        fs::create_symlink(fs::path("../../devices") / ("dev-" + name) / "tty" / name,
                           root / "class" / "tty" / name);
        fs::create_symlink("../..", tty / "device");
        if (!driver.empty()) {
            fs::create_directories(root / "bus" / "any" / "drivers" / driver);
            fs::create_symlink(fs::path("../../bus/any/drivers") / driver, device / "driver");
        }
    }

    // A tty without any device behind it (virtual console, ptmx).
    void AddVirtualTty(const std::string& name) {
        fs::create_directories(fs::path(dir_.Path()) / "devices" / "virtual" / "tty" / name);
        fs::create_directories(fs::path(dir_.Path()) / "class" / "tty");
        fs::create_symlink(fs::path("../../devices/virtual/tty") / name,
                           fs::path(dir_.Path()) / "class" / "tty" / name);
    }

private:
    TempDir dir_;
};

const UartProbe kNoUart = [](const std::string&, const std::string&) { return false; };
const UartProbe kEveryUart = [](const std::string&, const std::string&) { return true; };

TEST(PortDiscoveryTest, NoTtyClassOrOnlyVirtualTerminalsGiveNoPorts) {
    TempDir empty;
    EXPECT_EQ(ScanSerialPorts(empty.Path(), "", kEveryUart), Ports{});

    FakeSysfs sys;
    sys.AddVirtualTty("tty0");
    sys.AddVirtualTty("console");
    sys.AddVirtualTty("ptmx");
    sys.AddTty("ttyUSB3", ""); // being set up, no driver bound yet
    EXPECT_EQ(ScanSerialPorts(sys.Root(), "", kEveryUart), Ports{});
    EXPECT_EQ(JoinCommaText(ScanSerialPorts(sys.Root(), "", kEveryUart)), "");
}

TEST(PortDiscoveryTest, PortsComeAsDevicePathsInNaturalOrderAndStayTheSame) {
    FakeSysfs sys;
    sys.AddTty("ttyUSB10", "ftdi_sio");
    sys.AddTty("ttyUSB2", "ftdi_sio");
    sys.AddTty("ttyACM0", "cdc_acm");
    sys.AddVirtualTty("tty1");
    const Ports expected{"/dev/ttyACM0", "/dev/ttyUSB2", "/dev/ttyUSB10"};
    for (int call = 0; call < 3; ++call) {
        EXPECT_EQ(ScanSerialPorts(sys.Root(), "", kNoUart), expected) << call;
    }
}

TEST(PortDiscoveryTest, LegacyPortsAreListedOnlyWithAUartBehindThem) {
    FakeSysfs sys;
    sys.AddTty("ttyS0", "serial8250");
    sys.AddTty("ttyS1", "serial8250");
    sys.AddTty("ttyS10", "port"); // newer kernels: serial-core port device
    sys.AddTty("ttyUSB0", "pl2303");
    Ports probed;
    const UartProbe onlyS1AndS10 = [&](const std::string& entry, const std::string& path) {
        EXPECT_EQ(entry, sys.Root() + "/class/tty/" + path.substr(5));
        probed.push_back(path);
        return path == "/dev/ttyS1" || path == "/dev/ttyS10";
    };
    EXPECT_EQ(ScanSerialPorts(sys.Root(), "", onlyS1AndS10),
              (Ports{"/dev/ttyS1", "/dev/ttyS10", "/dev/ttyUSB0"}));
    // USB adapters are never opened to be probed.
    std::sort(probed.begin(), probed.end());
    EXPECT_EQ(probed, (Ports{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS10"}));

    EXPECT_EQ(ScanSerialPorts(sys.Root(), "", kNoUart), Ports{"/dev/ttyUSB0"});
}

TEST(PortDiscoveryTest, RealProbeReadsTheUartTypeFromSysfsBeforeOpeningAnything) {
    // Names no machine has, so that the fallback open finds no real device.
    FakeSysfs sys;
    sys.AddTty("ttyQX0", "serial8250");
    sys.AddTty("ttyQX1", "serial8250");
    sys.AddTty("ttyQX2", "serial8250");
    const std::string entries = sys.Root() + "/class/tty/";
    WriteFile(entries + "ttyQX0/type", "4\n"); // a 16550A
    WriteFile(entries + "ttyQX1/type", "0\n"); // PORT_UNKNOWN: nothing there
    // ttyQX2 has no type attribute: the driver is asked through the device,
    // which here does not exist.
    TempDir dir;
    EXPECT_TRUE(UartPresent(entries + "ttyQX0", dir / "no-device"));
    EXPECT_FALSE(UartPresent(entries + "ttyQX1", dir / "no-device"));
    EXPECT_FALSE(UartPresent(entries + "ttyQX2", dir / "no-device"));
    // A device that is no serial port has no UART type to give.
    EXPECT_FALSE(UartPresent(entries + "ttyQX2", "/dev/null"));
    EXPECT_EQ(ScanSerialPorts(sys.Root(), ""), Ports{"/dev/ttyQX0"});
}

TEST(PortDiscoveryTest, NamesOfDevicesInSubfoldersBecomePaths) {
    FakeSysfs sys;
    sys.AddTty("serial!tester0", "cp210x");
    EXPECT_EQ(ScanSerialPorts(sys.Root(), "", kNoUart), Ports{"/dev/serial/tester0"});
}

TEST(PortDiscoveryTest, UnreadableDeviceTableIsAnErrorWithItsReason) {
    TempDir dir;
    fs::create_directories(dir / "class");
    WriteFile(dir / "class/tty", "not a folder");
    try {
        ScanSerialPorts(dir.Path(), "", kNoUart);
        FAIL() << "no error";
    } catch (const PortDiscoveryError& e) {
        EXPECT_STREQ(e.what(), ("Cannot read the serial device table " + dir.Path() +
                                "/class/tty: Not a directory")
                                   .c_str());
    }
}

TEST(PortDiscoveryTest, ExtraPortsFollowWhileTheyExist) {
    FakeSysfs sys;
    sys.AddTty("ttyUSB0", "ftdi_sio");
    sys.AddTty("null", "mem"); // lists /dev/null, a path that exists here
    TempDir dir;
    const std::string a = dir / "tester-a";
    const std::string b = dir / "tester-b";
    const std::string extra = b + "::" + a + ":" + dir / "missing" + ":/dev/null:" + a + ":";

    EXPECT_EQ(ScanSerialPorts(sys.Root(), extra, kNoUart), (Ports{"/dev/null", "/dev/ttyUSB0"}));

    WriteFile(a, "");
    EXPECT_EQ(ScanSerialPorts(sys.Root(), extra, kNoUart), (Ports{"/dev/null", "/dev/ttyUSB0", a}));
    WriteFile(b, "");
    // In the order named, each once, after the devices, no sysfs port twice.
    EXPECT_EQ(ScanSerialPorts(sys.Root(), extra, kNoUart),
              (Ports{"/dev/null", "/dev/ttyUSB0", b, a}));

    fs::remove(b);
    EXPECT_EQ(ScanSerialPorts(sys.Root(), extra, kNoUart), (Ports{"/dev/null", "/dev/ttyUSB0", a}));

    // A link whose device went away counts as gone too.
    fs::create_symlink(dir / "no-device", b);
    EXPECT_EQ(ScanSerialPorts(sys.Root(), extra, kNoUart), (Ports{"/dev/null", "/dev/ttyUSB0", a}));
}

TEST(PortDiscoveryTest, ListSerialPortsReadsTheEnvironmentAndQuotesWhereNeeded) {
    TempDir dir;
    const std::string spaced = dir / "tester port";
    const std::string odd = dir / "bay 2, \"left\"";
    WriteFile(spaced, "");
    WriteFile(odd, "");
    const std::string expectedTail =
        "\"" + spaced + "\",\"" + dir.Path() + "/bay 2, \"\"left\"\"\"";
    {
        ScopedEnv env("QUILLAR_EXTRA_PORTS", spaced + ":" + odd);
        const std::string list = ListSerialPorts();
        // Whatever ports this machine has come first.
        ASSERT_GE(list.size(), expectedTail.size());
        EXPECT_EQ(list.substr(list.size() - expectedTail.size()), expectedTail);
        EXPECT_TRUE(list == expectedTail || list[list.size() - expectedTail.size() - 1] == ',');
        // Read back by the same rule, each name is the path, whole.
        const std::vector<std::string> names = SplitCommaText(list);
        ASSERT_GE(names.size(), 2u);
        EXPECT_EQ(names[names.size() - 2], spaced);
        EXPECT_EQ(names.back(), odd);
    }
    ScopedEnv none("QUILLAR_EXTRA_PORTS", "");
    EXPECT_EQ(ListSerialPorts().find(spaced), std::string::npos);
}

TEST(NaturalOrderTest, DigitRunsCompareByValue) {
    using detail::NaturalLess;
    EXPECT_TRUE(NaturalLess("ttyS2", "ttyS10"));
    EXPECT_FALSE(NaturalLess("ttyS10", "ttyS2"));
    EXPECT_FALSE(NaturalLess("ttyS2", "ttyS2"));
    EXPECT_TRUE(NaturalLess("ttyACM0", "ttyS0"));
    EXPECT_TRUE(NaturalLess("ttyS", "ttyS0"));
    EXPECT_TRUE(NaturalLess("ttyS9", "ttyS99999999999999999999999"));
    // Same value, other spelling: ordered, never equal.
    EXPECT_NE(NaturalLess("ttyS01", "ttyS1"), NaturalLess("ttyS1", "ttyS01"));

    std::vector<std::string> names{"ttyUSB1", "ttyS10", "ttyS2",  "ttyACM0", "ttyS1",
                                   "ttyUSB0", "ttyS0",  "ttyS11", "ttyAMA0"};
    const std::vector<std::string> sorted{"ttyACM0", "ttyAMA0", "ttyS0",   "ttyS1",  "ttyS2",
                                          "ttyS10",  "ttyS11",  "ttyUSB0", "ttyUSB1"};
    std::mt19937 shuffle(7);
    for (int round = 0; round < 5; ++round) {
        std::shuffle(names.begin(), names.end(), shuffle);
        std::sort(names.begin(), names.end(), NaturalLess);
        EXPECT_EQ(names, sorted);
    }
}

} // namespace
} // namespace quillar
