#pragma once
// The simulated tester's end of the line: a pseudo-terminal whose other end
// (the slave device) the program under test opens like a serial port.

#include <string>

namespace quillar::tester {

class PtyDevice {
public:
    PtyDevice() = default;
    ~PtyDevice() { Close(); }
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    // Makes a new pseudo-terminal in raw mode; false with the reason in error.
    bool Open(std::string& error);
    // Closing the master hangs the slave up, as pulling a cable does.
    void Close();

    // True while some program has the slave device open.
    bool SlaveOpen() const;

    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

private:
    int master_ = -1;
    std::string slavePath_;
};

// A symbolic link that names the device; replaces a stale link, never any
// other kind of file, and on removal takes away only a link to its own target.
class DeviceLink {
public:
    DeviceLink() = default;
    ~DeviceLink() { Remove(); }
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    bool Put(const std::string& linkPath, const std::string& target, std::string& error);
    void Remove();

private:
    std::string linkPath_;
    std::string target_;
};

} // namespace quillar::tester
