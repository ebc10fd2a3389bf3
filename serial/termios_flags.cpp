#include "serial/termios_flags.h"

#include <cerrno>

namespace quillar::detail {

void MakeRaw(termios& t) {
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
}

std::optional<speed_t> BaudConstant(std::int32_t baud) {
    struct Rate {
        std::int32_t bps;
        speed_t constant;
    };
    static constexpr Rate rates[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const Rate& r : rates) {
        if (r.bps == baud) {
            return r.constant;
        }
    }
    return std::nullopt;
}

bool SetDataBits(termios& t, std::int32_t dataBits) {
    tcflag_t size = 0;
    switch (dataBits) {
    case 5:
        size = CS5;
        break;
    case 6:
        size = CS6;
        break;
    case 7:
        size = CS7;
        break;
    case 8:
        size = CS8;
        break;
    default:
        return false;
    }
    t.c_cflag = (t.c_cflag & ~CSIZE) | size;
    return true;
}

void SetParity(termios& t, char letter) {
    tcflag_t bits = 0;
    switch (letter) {
    case 'N':
    case 'n':
        break;
    case 'O':
    case 'o':
        bits = PARENB | PARODD;
        break;
    case 'E':
    case 'e':
        bits = PARENB;
        break;
    case 'M':
    case 'm':
        bits = PARENB | CMSPAR | PARODD;
        break;
    case 'S':
    case 's':
        bits = PARENB | CMSPAR;
        break;
    default:
        return;
    }
    t.c_cflag = (t.c_cflag & ~(PARENB | PARODD | CMSPAR)) | bits;
    // Check parity on input only when there is parity; a bad character then
    // reads as NUL and shows in the driver's parity counter.
    t.c_iflag &= ~(INPCK | IGNPAR | PARMRK);
    if (bits != 0) {
        t.c_iflag |= INPCK;
    }
}

bool SetStopBits(termios& t, std::int32_t stopBits) {
    switch (stopBits) {
    case 0:
        t.c_cflag &= ~CSTOPB;
        return true;
    case 1:
    case 2:
        t.c_cflag |= CSTOPB;
        return true;
    default:
        return false;
    }
}

void SetFlowControl(termios& t, bool softwareFlow, bool hardwareFlow) {
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (softwareFlow) {
        t.c_iflag |= IXON | IXOFF;
    }
    t.c_cc[VSTART] = 17;
    t.c_cc[VSTOP] = 19;
    t.c_cflag &= ~CRTSCTS;
    if (hardwareFlow) {
        t.c_cflag |= CRTSCTS;
    }
    t.c_cflag |= CLOCAL | CREAD;
}

int FillLineState(termios& t, const LineSettings& settings) {
    MakeRaw(t);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    SetParity(t, settings.parity);
    SetFlowControl(t, settings.softwareFlow, settings.hardwareFlow);
    const std::optional<speed_t> speed = BaudConstant(settings.baud);
    if (!speed || cfsetispeed(&t, *speed) != 0 || cfsetospeed(&t, *speed) != 0) {
        return EINVAL;
    }
    if (!SetDataBits(t, settings.dataBits) || !SetStopBits(t, settings.stopBits)) {
        return EINVAL;
    }
    return 0;
}

} // namespace quillar::detail
