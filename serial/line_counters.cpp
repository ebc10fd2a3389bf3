#include "serial/line_counters.h"

#include "serial/serial_link.h"

namespace quillar::detail {

std::uint32_t LineErrorFlags(const LineCounters& before, const LineCounters& after) {
    std::uint32_t flags = 0;
    if (after.frame != before.frame) {
        flags |= LineErrorFrame;
    }
    if (after.overrun != before.overrun) {
        flags |= LineErrorOverrun;
    }
    if (after.bufferOverrun != before.bufferOverrun) {
        flags |= LineErrorRxOver;
    }
    if (after.parity != before.parity) {
        flags |= LineErrorParity;
    }
    return flags;
}

} // namespace quillar::detail
