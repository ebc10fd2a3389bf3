#include "render_options.h"

#include <charconv>
#include <filesystem>
#include <string>
#include <string_view>

namespace quillar::render {

const char* const RenderUsage =
    "usage: quillar-render --model MODEL [--language N] [--date TEXT] [--image-dir DIR]\n"
    "                      [--chunk N] [FILE]\n"
    "Builds the report page for a tester printout (raw bytes as sent on the serial\n"
    "line, read from FILE or standard input) and writes it to standard output.\n"
    "  --model MODEL    tester model: KD318, KD520 or QM; any other gives an empty page\n"
    "  --language N     language index as in the language menu (default 0): 0 English,\n"
    "                   1 Chinese, 2 Japanese, 3 Korean, 4 Danish, 5 Norwegian,\n"
    "                   6 Polish, 7 Romanian, 8 German, 9 Spanish, 10 French, 11 Italian\n"
    "  --date TEXT      date and time on the KD520 page (default: now)\n"
    "  --image-dir DIR  directory of logo.bmp and the state images (default: the\n"
    "                   directory of this program, or share/quillar beside its\n"
    "                   folder when the program is installed)\n"
    "  --chunk N        feed the printout N bytes per read, as the poll cycle does\n"
    "                   (default: all at once)\n";

namespace {

template <typename Int> Int ParseNumber(std::string_view option, std::string_view text) {
    Int value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        throw UsageError(std::string(option) + " needs an integer, not \"" + std::string(text) +
                         "\"");
    }
    return value;
}

} // namespace

RenderOptions ParseRenderOptions(std::span<const char* const> args) {
    RenderOptions options;
    bool haveModel = false;
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
            haveModel = true;
        } else if (arg == "--language") {
            options.language = ParseNumber<std::int32_t>(arg, value());
            // Quillar puts any other index back to English: a page for it is
            // one the program never shows.
            if (options.language < 0 || options.language > LastLanguage) {
                throw UsageError("--language needs an index from 0 to " +
                                 std::to_string(LastLanguage) + ", not " +
                                 std::to_string(options.language));
            }
        } else if (arg == "--chunk") {
            options.chunk = ParseNumber<std::size_t>(arg, value());
            if (options.chunk == 0) {
                throw UsageError("--chunk needs at least 1 byte per read");
            }
        } else if (arg == "--image-dir") {
            // The page names the images by file:// URL, which needs an
            // absolute path, in UTF-8, and joins directory and file name
            // directly.
            const std::u8string utf8 =
                std::filesystem::absolute(value()).lexically_normal().u8string();
            std::string dir(utf8.begin(), utf8.end());
            if (!dir.ends_with('/') && !dir.ends_with('\\')) {
                dir += std::filesystem::path::preferred_separator == '/' ? '/' : '\\';
            }
            options.imageDir = std::move(dir);
        } else if (arg == "--date") {
            options.dateText = value();
        } else if (arg.size() > 1 && arg.starts_with('-')) {
            throw UsageError("unknown option " + std::string(arg));
        } else if (options.input) {
            throw UsageError("more than one printout file: " + std::string(arg));
        } else {
            options.input = std::string(arg);
        }
    }
    if (!haveModel && !options.help) {
        throw UsageError("--model is required");
    }
    return options;
}

} // namespace quillar::render
