#pragma once
// The machine's serial ports, read afresh at every call.

#include "serial/comma_text.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace quillar {

class PortDiscoveryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The machine's serial ports as one comma text (JoinCommaText), in an order
// that stays the same while the ports do; the empty string when there are none.
// On Linux: ScanSerialPorts("/sys", $QUILLAR_EXTRA_PORTS) (port_discovery_linux.h).
// On Windows: the registry's SERIALCOMM values in the registry's order
// (port_discovery_win32.h). Throws PortDiscoveryError when the OS's table of
// serial devices cannot be read.
std::string ListSerialPorts();

} // namespace quillar
