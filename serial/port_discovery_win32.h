#pragma once
// Serial port discovery on Windows: the registry's table of serial devices.

#include "serial/port_discovery.h"

#include <string>

#include <windows.h>

namespace quillar {

// The key that Windows keeps one value per present serial port in: the value's
// name is the driver's device name, its data the port's name (COM3).
inline constexpr const char* SerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The data of every string value of root\subKey, in the registry's order (not
// sorted; duplicates kept), joined by JoinCommaText. A missing key, or one
// without values, gives the empty string. A value whose data cannot be read, or
// is no string (REG_SZ, REG_EXPAND_SZ taken as stored), throws
// PortDiscoveryError naming the value. ListSerialPorts() is this for
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM.
std::string ListSerialPortsUnder(HKEY root, const std::string& subKey);

} // namespace quillar
