#pragma once
// Command line of the offline renderer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

namespace quillar::render {

struct RenderOptions {
    std::string model = "KD520";
    std::int32_t language = 0;
    std::size_t chunk = 0;               // bytes per simulated read; 0 = all at once
    std::optional<std::string> imageDir; // absolute, ends with '/'; default: own directory
    std::optional<std::string> dateText; // default: the local date and time now
    std::string resourceDir;             // colonText, utf8Text, htmKD520
    std::string input;                   // printout file, "-" for standard input
    std::optional<std::string> output;   // default: standard output
    bool help = false;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Parses the arguments after the program name. Throws UsageError with a
// message naming the offending argument.
RenderOptions ParseRenderOptions(std::span<const char* const> args, std::string defaultResourceDir);

extern const char* const RenderUsage;

} // namespace quillar::render
