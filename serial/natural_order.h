#pragma once
// Ordering of device names the way people count: ttyS2 before ttyS10.

#include <string_view>

namespace quillar::detail {

// Compares runs of digits by their value and everything else byte by byte;
// a strict weak order (names equal in value but not in spelling, such as
// ttyS01 and ttyS1, are told apart by their bytes).
bool NaturalLess(std::string_view a, std::string_view b);

} // namespace quillar::detail
