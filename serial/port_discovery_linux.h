#pragma once
// Serial port discovery on Linux: the tty class in sysfs, plus extra ports.

#include "serial/port_discovery.h"

#include <functional>
#include <string>
#include <vector>

namespace quillar {

// Whether a UART is there behind a legacy port, given its sysfs entry
// (<root>/class/tty/ttyS3) and its device path (/dev/ttyS3).
using UartProbe = std::function<bool(const std::string& sysfsEntry, const std::string& devicePath)>;

// The real probe: the UART type from the entry's "type" attribute, or where
// there is none from the driver (TIOCGSERIAL on the device opened without
// waiting); false for an unknown type or a device that cannot be asked. A port
// that another program holds (EBUSY) is present.
bool UartPresent(const std::string& sysfsEntry, const std::string& devicePath);

// Serial device paths under sysfsRoot/class/tty that have a driver (legacy 8250
// ports only with a UART present), in natural order, then each existing path of
// extraPorts (colon-separated). Throws PortDiscoveryError when the device table
// cannot be read.
std::vector<std::string> ScanSerialPorts(const std::string& sysfsRoot,
                                         const std::string& extraPorts);
// The same with the UART probe given, so that tests need no hardware.
std::vector<std::string> ScanSerialPorts(const std::string& sysfsRoot,
                                         const std::string& extraPorts,
                                         const UartProbe& uartPresent);

} // namespace quillar
