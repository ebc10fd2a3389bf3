// Serial port discovery on Linux: the tty class in sysfs, plus the extra ports
// named in QUILLAR_EXTRA_PORTS.
#include "serial/port_discovery_linux.h"

#include "serial/natural_order.h"
#include "serial/os_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillar {

namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// The last part of a symbolic link's target: the driver's name.
std::string LinkTargetName(const std::string& link) {
    char target[4096];
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) {
        return "";
    }
    const std::string path(target, static_cast<std::size_t>(n));
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The 8250 driver registers every legacy port it might have (ttyS0..ttyS31)
// whether a UART is there or not; only opening the port tells. Newer kernels
// put a serial-core "port" device between the tty and the 8250 driver.
bool IsLegacyUartDriver(const std::string& driver) {
    return driver == "serial8250" || driver == "port";
}

// sysfs writes a '/' in a device name as '!' (e.g. a node in a /dev subfolder).
std::string DevicePath(std::string name) {
    std::replace(name.begin(), name.end(), '!', '/');
    return "/dev/" + name;
}

std::vector<std::string> SplitColons(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(':', start), text.size());
        if (end > start) {
            parts.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

} // namespace

bool UartPresent(const std::string& sysfsEntry, const std::string& devicePath) {
    // Reading the type from sysfs opens nothing, so DTR does not blink on every
    // scan and a port held exclusively elsewhere is still seen.
    if (std::ifstream typeFile(sysfsEntry + "/type"); typeFile) {
        int type = PORT_UNKNOWN;
        if (typeFile >> type) {
            return type != PORT_UNKNOWN;
        }
    }
    const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == EBUSY;
    }
    serial_struct info{};
    const bool present = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    close(fd);
    return present;
}

std::vector<std::string> ScanSerialPorts(const std::string& sysfsRoot,
                                         const std::string& extraPorts) {
    return ScanSerialPorts(sysfsRoot, extraPorts, UartPresent);
}

std::vector<std::string> ScanSerialPorts(const std::string& sysfsRoot,
                                         const std::string& extraPorts,
                                         const UartProbe& uartPresent) {
    const std::string classDir = sysfsRoot + "/class/tty";
    std::unique_ptr<DIR, DirCloser> dir(opendir(classDir.c_str()));
    std::vector<std::string> names;
    if (!dir) {
        // No tty class at all: a machine (or container) without terminals.
        if (errno != ENOENT) {
            const int code = errno;
            throw PortDiscoveryError("Cannot read the serial device table " + classDir + ": " +
                                     OsErrorDescription(code));
        }
    } else {
        for (;;) {
            // readdir tells its end from an error only through errno.
            errno = 0;
            const dirent* entry = readdir(dir.get());
            if (entry == nullptr) {
                break;
            }
            const std::string name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            // Virtual consoles, ptmx and the like have no device behind them.
            const std::string driverLink = classDir + "/" + name + "/device/driver";
            if (!Exists(driverLink)) {
                continue;
            }
            if (IsLegacyUartDriver(LinkTargetName(driverLink)) &&
                !uartPresent(classDir + "/" + name, DevicePath(name))) {
                continue;
            }
            names.push_back(name);
        }
        if (errno != 0) {
            const int code = errno;
            throw PortDiscoveryError("Cannot read the serial device table " + classDir + ": " +
                                     OsErrorDescription(code));
        }
    }
    // readdir's order follows the kernel's hashing: sort for a list that reads
    // well and stays the same from call to call.
    std::sort(names.begin(), names.end(), detail::NaturalLess);
    std::vector<std::string> ports;
    for (const std::string& name : names) {
        ports.push_back(DevicePath(name));
    }
    for (const std::string& path : SplitColons(extraPorts)) {
        if (Exists(path) && std::find(ports.begin(), ports.end(), path) == ports.end()) {
            ports.push_back(path);
        }
    }
    return ports;
}

std::string ListSerialPorts() {
    const char* extra = std::getenv("QUILLAR_EXTRA_PORTS");
    return JoinCommaText(ScanSerialPorts("/sys", extra != nullptr ? extra : ""));
}

} // namespace quillar
