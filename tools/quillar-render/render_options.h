#pragma once
// Command line of the offline renderer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

namespace quillar::render {

// The highest language index: the language menu's last item (0 English ..
// 11 Italian).
inline constexpr std::int32_t LastLanguage = 11;

struct RenderOptions {
    std::string model;
    std::int32_t language = 0;
    std::size_t chunk = 0; // bytes per simulated read; 0 = all at once
    std::optional<std::string>
        imageDir; // absolute, UTF-8, ends with a separator; default: own directory
    std::optional<std::string> dateText; // default: the local date and time now
    std::optional<std::string> input;    // printout file; default: standard input
    bool help = false;
};

// A command line that cannot be run: the message names the offending argument.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Parses the arguments after the program name. Throws UsageError.
RenderOptions ParseRenderOptions(std::span<const char* const> args);

extern const char* const RenderUsage;

} // namespace quillar::render
