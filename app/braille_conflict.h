#pragma once
// Some distributions ship the braille display daemon (brltty) with a rule that
// claims every CH340/CH341 USB-serial adapter, the chip of many testers'
// cables, as a braille display: the adapter's port appears and is gone again
// within a second. No Qt here, so tests run on a fake file system.

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace quillar {

struct BrailleProbeRoots {
    std::string sys = "/sys";   // sysfs
    std::string proc = "/proc"; // the process list
    std::string root = "/";     // where brltty would be installed
};

// True when a CH340/CH341 adapter is plugged in (its USB device is listed)
// and brltty is running or installed: a port that vanished right after it
// appeared was most likely taken by it.
bool BrailleDaemonLikelyTookPort(const BrailleProbeRoots& roots = {});

// The message that says so and how to stop it.
const char* BrailleConflictMessage();

// Watches the port list from tick to tick for a port that is gone again
// within about a second of appearing.
class PortFlickerWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kWindow{1500};

    // The ports listed now; true when one that appeared within kWindow is gone.
    bool Update(const std::vector<std::string>& ports, Clock::time_point now);

private:
    std::map<std::string, Clock::time_point> appeared_;
};

} // namespace quillar
