#pragma once
// Small pure helpers that fill a termios record for TSerialLink::SetLine, so
// that the flag bits can be checked without a device.

#include <cstdint>
#include <optional>

#include <termios.h>

namespace quillar::detail {

struct LineSettings {
    std::int32_t baud = 9600;
    std::int32_t dataBits = 8;
    char parity = 'N';
    std::int32_t stopBits = 0; // 0 one, 1 one and a half, 2 two
    bool softwareFlow = false;
    bool hardwareFlow = true;
};

// Raw mode as cfmakeraw gives it, except the character size and parity, which
// SetDataBits and SetParity own.
void MakeRaw(termios& t);

// The Bxxx constant of a rate in bits per second; none for a rate the
// terminal interface has no constant for.
std::optional<speed_t> BaudConstant(std::int32_t baud);

// CS5..CS8; false (record unchanged) for any other count.
bool SetDataBits(termios& t, std::int32_t dataBits);

// N, O, E, M, S in either case (mark and space through CMSPAR); any other
// letter leaves the parity bits as they are.
void SetParity(termios& t, char letter);

// 0 one stop bit; 1 (one and a half, which a UART on Linux cannot send) and 2
// set CSTOPB; false (record unchanged) for any other code.
bool SetStopBits(termios& t, std::int32_t stopBits);

// XON/XOFF both ways with DC1/DC3, or RTS/CTS, or neither; the line is always
// local (no modem control) and the receiver on.
void SetFlowControl(termios& t, bool softwareFlow, bool hardwareFlow);

// All of the above plus VMIN = VTIME = 0, starting from the record fetched from
// the port. Returns 0, or EINVAL when a value cannot be set; the record may then
// be partly filled.
int FillLineState(termios& t, const LineSettings& settings);

} // namespace quillar::detail
