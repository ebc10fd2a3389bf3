#include "render_options.h"

#include <charconv>
#include <filesystem>
#include <string_view>

namespace quillar::render {

const char* const RenderUsage =
    "usage: quillar-render [options] PRINTOUT\n"
    "Builds the report page for a tester printout (raw bytes as sent on the serial\n"
    "line; \"-\" reads standard input) and writes it to standard output.\n"
    "  --model M        tester model: KD318, KD520 or QM (default KD520)\n"
    "  --language N     language index 0 to 11 as in the language menu (default 0)\n"
    "  --chunk N        feed the printout N bytes per read, as the poll cycle does\n"
    "  --image-dir DIR  directory of logo.bmp and the state images (default: this\n"
    "                   program's directory); --dir is the same\n"
    "  --date TEXT      date and time shown on the KD520 page (default: now)\n"
    "  --resources DIR  directory of colonText, utf8Text and htmKD520\n"
    "  -o FILE          write the page to FILE\n";

namespace {

template <typename Int> Int ParseNumber(std::string_view option, std::string_view text) {
    Int value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        throw UsageError(std::string(option) + ": not a number: \"" + std::string(text) + "\"");
    }
    return value;
}

} // namespace

RenderOptions ParseRenderOptions(std::span<const char* const> args,
                                 std::string defaultResourceDir) {
    RenderOptions options;
    options.resourceDir = std::move(defaultResourceDir);
    bool haveInput = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) {
                throw UsageError(std::string(arg) + " needs a value");
            }
            return args[++i];
        };
        if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--model") {
            options.model = value();
        } else if (arg == "--language") {
            options.language = ParseNumber<std::int32_t>(arg, value());
        } else if (arg == "--chunk") {
            options.chunk = ParseNumber<std::size_t>(arg, value());
        } else if (arg == "--image-dir" || arg == "--dir") {
            // The page names the images by file:// URL, which needs an
            // absolute path, and joins directory and file name directly.
            std::string dir = std::filesystem::absolute(value()).lexically_normal().string();
            if (!dir.ends_with('/')) {
                dir += '/';
            }
            options.imageDir = std::move(dir);
        } else if (arg == "--date") {
            options.dateText = value();
        } else if (arg == "--resources") {
            options.resourceDir = value();
        } else if (arg == "-o") {
            options.output = value();
        } else if (arg.size() > 1 && arg.starts_with('-')) {
            throw UsageError("unknown option " + std::string(arg));
        } else if (haveInput) {
            throw UsageError("more than one printout given: " + std::string(arg));
        } else {
            options.input = arg;
            haveInput = true;
        }
    }
    if (!haveInput && !options.help) {
        throw UsageError("no printout given");
    }
    return options;
}

} // namespace quillar::render
