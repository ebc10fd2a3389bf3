// Serial port discovery on Windows: the values of the SERIALCOMM key, which
// the serial drivers keep up to date as devices come and go.
#include "serial/port_discovery_win32.h"

#include <algorithm>
#include <vector>

namespace quillar {

namespace {

class OpenKey {
public:
    OpenKey(HKEY root, const std::string& subKey) {
        // A missing key is a machine without serial ports: no key, no values.
        if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~OpenKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::vector<std::string> ValueNames(HKEY key) {
    std::vector<std::string> names;
    DWORD count = 0;
    DWORD longestName = 0;
    if (key == nullptr ||
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longestName, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return names;
    }
    std::vector<char> name(longestName + 1);
    for (DWORD i = 0; i < count; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        // A device unplugged since the count was taken has taken its value
        // with it: the index is past the end now, and there is no name.
        if (RegEnumValueA(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            continue;
        }
        names.emplace_back(name.data(), length);
    }
    return names;
}

// The value's text, up to its first NUL; empty for a value without data;
// nothing for a value that went away since it was listed.
bool ReadPortName(HKEY key, const std::string& valueName, std::string& text) {
    DWORD type = 0;
    DWORD size = 0;
    const LONG sized = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size);
    if (sized == ERROR_FILE_NOT_FOUND) {
        return false;
    }
    text.clear();
    if (sized != ERROR_SUCCESS || size == 0) {
        return true;
    }
    std::vector<char> data(size);
    if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
        throw PortDiscoveryError("Failed to get data for '" + valueName + "'");
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        throw PortDiscoveryError("Invalid data type for '" + valueName + "'");
    }
    const std::size_t read = std::min<std::size_t>(size, data.size());
    std::size_t end = 0;
    while (end < read && data[end] != '\0') {
        ++end;
    }
    text.assign(data.data(), end);
    return true;
}

} // namespace

std::string ListSerialPortsUnder(HKEY root, const std::string& subKey) {
    const OpenKey key(root, subKey);
    std::vector<std::string> ports;
    for (const std::string& name : ValueNames(key.Get())) {
        std::string port;
        if (ReadPortName(key.Get(), name, port)) {
            ports.push_back(std::move(port));
        }
    }
    return JoinCommaText(ports);
}

std::string ListSerialPorts() {
    return ListSerialPortsUnder(HKEY_LOCAL_MACHINE, SerialCommKey);
}

} // namespace quillar
