#pragma once
// Receive fault counters as a serial driver keeps them (TIOCGICOUNT), and the
// line-error flags that their increase stands for.

#include <cstdint>

namespace quillar::detail {

struct LineCounters {
    std::uint32_t frame = 0;
    std::uint32_t overrun = 0;
    std::uint32_t bufferOverrun = 0;
    std::uint32_t parity = 0;
};

// LineErrorFlag bits for every counter that changed between the two readings
// (a counter that wrapped around changed too).
std::uint32_t LineErrorFlags(const LineCounters& before, const LineCounters& after);

} // namespace quillar::detail
