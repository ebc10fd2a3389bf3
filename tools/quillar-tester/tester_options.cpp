#include "tester_options.h"

#include "report/models.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <string_view>

namespace quillar::tester {

namespace {

bool ParseSeconds(const std::string& text, double& out) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value < 0 || value > 1e6) {
        return false;
    }
    out = value;
    return true;
}

bool ParseCount(const std::string& text, std::int64_t minimum, std::int64_t& out) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 12) {
        return false;
    }
    const std::int64_t value = std::strtoll(text.c_str(), nullptr, 10);
    if (value < minimum) {
        return false;
    }
    out = value;
    return true;
}

} // namespace

const char* TesterUsage() {
    return "usage: quillar-tester (--model KD318|KD520|QM | --file PATH)\n"
           "                      (--link PATH [--wait-open] [--unplug-after S [--replug-after "
           "S]]\n"
           "                       | --port DEVICE)\n"
           "                      [--pace BYTES_PER_S] [--delay S] [--repeat N] [--interval S]\n"
           "                      [--hold S]\n"
           "Simulates a battery tester sending its printout over a serial line.\n"
           "  --model M         send the sample printout of model M\n"
           "  --file PATH       send the bytes of PATH as they are\n"
           "  --link PATH       make a pseudo-terminal and a symbolic link PATH to it\n"
           "                    (name PATH in QUILLAR_EXTRA_PORTS); without --link and\n"
           "                    --port the pseudo-terminal's own device is printed\n"
           "  --port DEVICE     send through a real serial port at 9600 8N1, RTS/CTS\n"
           "  --wait-open       wait until the device is opened before sending\n"
           "  --pace N          bytes per second (default 960, 9600 baud; 0 = all at once)\n"
           "  --delay S         seconds before the first send, counted from the open\n"
           "                    with --wait-open, else from the start (default 0)\n"
           "  --repeat N        send the printout N times in all (default 1)\n"
           "  --interval S      seconds between two sends (default 1)\n"
           "  --unplug-after S  S seconds after the start remove the link and close the\n"
           "                    pseudo-terminal, as pulling the cable would; a send under\n"
           "                    way is cut off\n"
           "  --replug-after S  S seconds after the unplug make a new pseudo-terminal and\n"
           "                    put the link back; then, as at the start, wait for the open\n"
           "                    (with --wait-open) and the delay, and send the sends not\n"
           "                    finished before the unplug (a cut-off one from its start)\n"
           "  --hold S          stay S seconds after the last send, then exit (default:\n"
           "                    until SIGINT or SIGTERM)\n"
           "Prints one line per event: pty, linked, opened, sent, unplugged, replugged,\n"
           "done, stopped. Exit status: 0 done, 1 runtime failure, 2 bad arguments.\n";
}

ParsedOptions ParseTesterOptions(int argc, const char* const* argv) {
    ParsedOptions parsed;
    TesterOptions& o = parsed.options;
    auto fail = [&parsed](const std::string& why) {
        parsed.error = why;
        return parsed;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            return parsed;
        }
        if (arg == "--wait-open") {
            o.waitOpen = true;
            continue;
        }
        if (!arg.starts_with("--")) {
            return fail("unexpected argument '" + std::string(arg) + "'");
        }
        static constexpr std::string_view valued[] = {
            "--model",    "--file",         "--link",         "--port",   "--pace", "--delay",
            "--interval", "--unplug-after", "--replug-after", "--repeat", "--hold"};
        if (std::find(std::begin(valued), std::end(valued), arg) == std::end(valued)) {
            return fail("unknown option '" + std::string(arg) + "'");
        }
        if (i + 1 >= argc) {
            return fail(std::string(arg) + " needs a value");
        }
        const std::string value = argv[++i];
        // An empty path would read as the option left out (a bare
        // pseudo-terminal instead of the link asked for).
        if (value.empty()) {
            return fail(std::string(arg) + " needs a value, not an empty one");
        }
        double seconds = 0;
        if (arg == "--model") {
            if (!HasReportPage(value)) {
                return fail("unknown model '" + value + "' (KD318, KD520 or QM)");
            }
            o.model = value;
        } else if (arg == "--file") {
            o.file = value;
        } else if (arg == "--link") {
            o.link = value;
        } else if (arg == "--port") {
            o.port = value;
        } else if (arg == "--pace") {
            if (!ParseCount(value, 0, o.pace)) {
                return fail("--pace needs a count of bytes per second, not '" + value + "'");
            }
        } else if (arg == "--repeat") {
            if (!ParseCount(value, 1, o.repeat)) {
                return fail("--repeat needs a count of 1 or more, not '" + value + "'");
            }
        } else if (arg == "--delay" || arg == "--interval" || arg == "--unplug-after" ||
                   arg == "--replug-after" || arg == "--hold") {
            if (!ParseSeconds(value, seconds)) {
                return fail(std::string(arg) + " needs seconds (0 or more), not '" + value + "'");
            }
            if (arg == "--delay") {
                o.delay = seconds;
            } else if (arg == "--interval") {
                o.interval = seconds;
            } else if (arg == "--unplug-after") {
                o.unplugAfter = seconds;
            } else if (arg == "--replug-after") {
                o.replugAfter = seconds;
            } else {
                o.hold = seconds;
            }
        }
    }
    if (o.model.empty() == o.file.empty()) {
        return fail("give either --model or --file");
    }
    if (!o.port.empty()) {
        if (!o.link.empty()) {
            return fail("--link and --port exclude each other");
        }
        if (o.waitOpen || o.unplugAfter || o.replugAfter) {
            return fail("--wait-open, --unplug-after and --replug-after need a pseudo-terminal, "
                        "not --port");
        }
    }
    if (o.replugAfter && !o.unplugAfter) {
        return fail("--replug-after needs --unplug-after");
    }
    return parsed;
}

} // namespace quillar::tester
