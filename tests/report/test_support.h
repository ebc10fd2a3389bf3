#pragma once
// Helpers shared by the report tests: printouts as the tester sends them and
// the shipped text resources.

#include "report/line_list.h"

#include <fstream>
#include <initializer_list>
#include <sstream>
#include <stdexcept>
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
    const std::string path = std::string(QUILLAR_RESOURCE_DIR) + "/" + name;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot open resource " + path);
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

inline LineList LoadResource(const std::string& name) {
    return LoadLineList(ReadResource(name));
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
