#pragma once
// The three text resources built into the programs that run without Qt (the
// renderer, the tests, the benchmarks): the same bytes as the shell's .qrc.

#include <string_view>

namespace quillar {

// The bytes of the resource "colonText", "utf8Text" or "htmKD520", exactly as
// in resources/. Throws std::out_of_range for any other name.
std::string_view BuiltinResource(std::string_view name);

} // namespace quillar
