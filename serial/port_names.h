#pragma once
// Small pure helpers for reading port names.

#include <cstdint>
#include <string_view>

namespace quillar::detail {

// Whether name begins with prefix (upper-case ASCII) when name is upper-cased.
bool StartsWithUpperCased(std::string_view name, std::string_view prefix);

// A port number: decimal digits only, nothing else, small enough for any
// machine's ports; -1 otherwise.
std::int32_t ParseDecimal(std::string_view digits);

} // namespace quillar::detail
