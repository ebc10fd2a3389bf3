#pragma once
// Helpers shared by the report tests: printouts as the tester sends them and
// the shipped text resources.

#include "report/builtin_resources.h"
#include "report/line_list.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace quillar::test {

// The tester's lines, each ended with CR LF as on the wire.
inline std::string Printout(std::initializer_list<std::string_view> lines) {
    std::string bytes;
    for (std::string_view line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    return bytes;
}

inline std::string ReadResource(const std::string& name) {
    return std::string(BuiltinResource(name));
}

inline LineList LoadResource(const std::string& name) {
    return LoadLineList(BuiltinResource(name));
}

inline std::string Repeat(std::string_view text, int count) {
    std::string result;
    for (int i = 0; i < count; ++i) {
        result += text;
    }
    return result;
}

inline constexpr std::string_view Ellipsis = "\xE2\x80\xA6"; // U+2026 in UTF-8

} // namespace quillar::test
