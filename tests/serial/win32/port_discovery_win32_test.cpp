// Port discovery on Windows: the registry reader on a scratch key of the
// current user, and the ports that wine registered for the tests.
#include "serial/port_discovery_win32.h"

#include "wine_support.h"

#include <gtest/gtest.h>

#include <string>

namespace quillar {
namespace {

// A key under HKEY_CURRENT_USER that stands in for SERIALCOMM; removed at the end.
class ScratchKey {
public:
    ScratchKey()
        : path_("Software\\Quillar tests\\SERIALCOMM-" + std::to_string(GetCurrentProcessId())) {
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        if (RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key_, nullptr) != ERROR_SUCCESS) {
            throw std::runtime_error("cannot create the scratch key");
        }
    }
    ~ScratchKey() {
        RegCloseKey(key_);
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    }
    const std::string& Path() const { return path_; }

    void Put(const std::string& name, const std::string& data, DWORD type = REG_SZ) {
        ASSERT_EQ(RegSetValueExA(key_, name.c_str(), 0, type,
                                 reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }
    void PutString(const std::string& name, const std::string& text) {
        Put(name, std::string(text.data(), text.size() + 1)); // with its NUL, as drivers write
    }
    void Remove(const std::string& name) {
        ASSERT_EQ(RegDeleteValueA(key_, name.c_str()), ERROR_SUCCESS);
    }
    std::string List() const { return ListSerialPortsUnder(HKEY_CURRENT_USER, path_); }

private:
    std::string path_;
    HKEY key_ = nullptr;
};

TEST(PortDiscoveryWin32Test, MissingOrEmptyKeyGivesNoPorts) {
    EXPECT_EQ(ListSerialPortsUnder(HKEY_CURRENT_USER, "Software\\Quillar tests\\no such key"), "");
    ScratchKey key;
    EXPECT_EQ(key.List(), "");
}

TEST(PortDiscoveryWin32Test, PortsComeInTheRegistrysOrderUntilTheirValueGoes) {
    ScratchKey key;
    // Windows enumerates values in the order they were written, wine by name:
    // these agree, and neither sorts the ports.
    key.PutString("\\Device\\Serial0", "COM10");
    key.PutString("\\Device\\Serial1", "COM2");
    key.PutString("\\Device\\VCP0", "COM2");
    // Not sorted, duplicates kept; the same answer while nothing changes.
    EXPECT_EQ(key.List(), "COM10,COM2,COM2");
    EXPECT_EQ(key.List(), "COM10,COM2,COM2");
    // An unplugged device's value goes: the next call no longer lists it.
    key.Remove("\\Device\\Serial0");
    EXPECT_EQ(key.List(), "COM2,COM2");
}

TEST(PortDiscoveryWin32Test, DataIsTextUpToItsFirstNulQuotedByTheCommaTextRule) {
    ScratchKey key;
    key.Put("a", std::string("COM1\0junk", 9));
    key.Put("b", "COM4"); // no NUL stored at all
    key.Put("c", "%SystemRoot%COM5", REG_EXPAND_SZ);
    key.PutString("d", "my port");
    key.PutString("e", "say \"hi\"");
    key.Put("f", "");
    EXPECT_EQ(key.List(), "COM1,COM4,%SystemRoot%COM5,\"my port\",\"say \"\"hi\"\"\",");

    ScratchKey single;
    single.Put("only", "");
    EXPECT_EQ(single.List(), "\"\"");
}

TEST(PortDiscoveryWin32Test, ValueThatIsNoStringFailsTheWholeCall) {
    ScratchKey key;
    key.PutString("\\Device\\Serial0", "COM1");
    key.Put("\\Device\\Weird", std::string("\x07\0\0\0", 4), REG_DWORD);
    try {
        key.List();
        FAIL() << "no error";
    } catch (const PortDiscoveryError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for '\\Device\\Weird'");
    }
}

// wine-run registers the tester's link as a COM port for the whole test run and
// removes it at the end, then runs this once more expecting it gone.
TEST(PortDiscoveryWin32Test, PortRegisteredWithWineIsListedAndGoneAfterItsRemoval) {
    const std::string port = QUILLAR_WINE_PORT;
    const std::string expected = test::Env("QUILLAR_WINE_PORT_EXPECTED");
    if (port.empty() || expected.empty()) {
        GTEST_SKIP() << "no port registered for this run (tests/windows/wine-run does that)";
    }
    // Whole items only: COM7 is not COM71.
    std::string list = ",";
    list += ListSerialPorts();
    list += ',';
    std::string item = ",";
    item += port;
    item += ',';
    const bool listed = list.find(item) != std::string::npos;
    EXPECT_EQ(listed, expected == "listed") << "ports: " << ListSerialPorts();
}

} // namespace
} // namespace quillar
