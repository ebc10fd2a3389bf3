#include "serial/dcb_flags.h"

#include <cstddef>
#include <cstring>

namespace quillar::detail {

BYTE ParityCode(char letter, BYTE fetched) {
    switch (letter) {
    case 'N':
    case 'n':
        return NOPARITY;
    case 'O':
    case 'o':
        return ODDPARITY;
    case 'E':
    case 'e':
        return EVENPARITY;
    case 'M':
    case 'm':
        return MARKPARITY;
    case 'S':
    case 's':
        return SPACEPARITY;
    default:
        return fetched;
    }
}

void FillDcb(DCB& dcb, const DcbSettings& settings) {
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = static_cast<DWORD>(settings.baud);
    dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
    dcb.StopBits = static_cast<BYTE>(settings.stopBits);
    dcb.Parity = ParityCode(settings.parity, dcb.Parity);
    dcb.XonChar = 17;  // DC1
    dcb.XoffChar = 19; // DC3
    dcb.XonLim = static_cast<WORD>(settings.receiveQueueSize / 4);
    dcb.XoffLim = static_cast<WORD>(settings.receiveQueueSize / 4);

    // The flag word is replaced as a whole.
    dcb.fBinary = TRUE;
    dcb.fParity = dcb.Parity != NOPARITY;
    dcb.fOutxCtsFlow = settings.hardwareFlow;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = FALSE;
    dcb.fOutX = settings.softwareFlow;
    dcb.fInX = settings.softwareFlow;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = settings.hardwareFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    dcb.fDummy2 = 0;
}

std::uint32_t DcbFlagWord(const DCB& dcb) {
    // The bit fields share the DWORD that follows BaudRate.
    std::uint32_t word = 0;
    std::memcpy(&word,
                reinterpret_cast<const unsigned char*>(&dcb) + offsetof(DCB, BaudRate) +
                    sizeof dcb.BaudRate,
                sizeof word);
    return word;
}

} // namespace quillar::detail
