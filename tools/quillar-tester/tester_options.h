#pragma once
// Command line of quillar-tester.

#include <cstdint>
#include <optional>
#include <string>

namespace quillar::tester {

struct TesterOptions {
    std::string model;                 // KD318, KD520 or QM: send that model's sample
    std::string file;                  // or send this file's bytes
    std::string link;                  // symbolic link to the pseudo-terminal's device
    std::string port;                  // or send through this real serial port
    bool waitOpen = false;             // before sending, wait until the device is opened
    std::int64_t pace = 960;           // bytes per second; 0 = all at once
    double delay = 0;                  // seconds before the first send (after the open)
    std::int64_t repeat = 1;           // sends in all
    double interval = 1;               // seconds between sends
    std::optional<double> unplugAfter; // seconds from start
    std::optional<double> replugAfter; // seconds after the unplug
    std::optional<double> hold;        // seconds to stay after the last send; unset = until stopped
    bool help = false;
};

// The options, or a one-line reason why the command line is wrong.
struct ParsedOptions {
    TesterOptions options;
    std::string error;
};

ParsedOptions ParseTesterOptions(int argc, const char* const* argv);

const char* TesterUsage();

} // namespace quillar::tester
