#pragma once
// Small pure helpers that fill a DCB for TSerialLink::SetLine on Windows, so
// that the fields can be checked without a port.

#include <cstdint>

#include <windows.h>

namespace quillar::detail {

struct DcbSettings {
    std::int32_t baud = 9600;
    std::int32_t dataBits = 8;
    char parity = 'N';
    std::int32_t stopBits = 0; // the DCB's codes: 0 one, 1 one and a half, 2 two
    bool softwareFlow = false;
    bool hardwareFlow = true;
    std::int32_t receiveQueueSize = 4096; // the flow-control limits are a quarter of it
};

// The DCB's parity code for a letter in either case (N 0, O 1, E 2, M 3,
// S 4); fetched for any other letter.
BYTE ParityCode(char letter, BYTE fetched);

// Fills the record fetched from the port: rate, data bits, stop-bit code and
// parity, XON/XOFF characters and limits, and the whole flag word (binary
// mode; XON/XOFF both ways or RTS/CTS handshake as asked, RTS on otherwise; DTR
// on; parity checking with a parity; every other flag off). The error,
// end-of-file and event characters and the reserved fields keep their values.
void FillDcb(DCB& dcb, const DcbSettings& settings);

// The 32-bit word that holds the DCB's flag bits (fBinary is bit 0).
std::uint32_t DcbFlagWord(const DCB& dcb);

} // namespace quillar::detail
