// quillar-render: builds the report page for a recorded tester printout, the
// way the shell builds it after each read, without a window or a port.

#include "render_options.h"
#include "render_paths.h"
#include "render_platform.h"
#include "report/builtin_resources.h"
#include "report/device_chars.h"
#include "report/line_list.h"
#include "report/phrase_tables.h"
#include "report/report_pages.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

// Beside the program in a build tree or portable copy; an installed program
// keeps its state images in share/quillar beside its bin folder.
std::string DefaultImageDirectory() {
    std::filesystem::path own = quillar::render::OwnDirectory();
    if (!own.has_filename())
        own = own.parent_path(); // "/usr/bin/" is the folder /usr/bin
    const std::filesystem::path installed = own.parent_path() / "share" / "quillar";
    std::error_code error;
    if (!std::filesystem::exists(own / "0.png", error) &&
        std::filesystem::exists(installed / "0.png", error))
        return installed.string();
    return own.string();
}

using namespace quillar;

std::string ReadPrintout(const std::optional<std::string>& path) {
    std::ostringstream bytes;
    if (!path || *path == "-") {
        bytes << std::cin.rdbuf();
        if (std::cin.bad()) {
            throw render::UsageError("cannot read standard input");
        }
        return bytes.str();
    }
    std::ifstream file(*path, std::ios::binary);
    if (!file) {
        throw render::UsageError("cannot open " + *path + ": " + std::strerror(errno));
    }
    bytes << file.rdbuf();
    if (file.bad() || std::filesystem::is_directory(*path)) {
        throw render::UsageError("cannot read " + *path);
    }
    return bytes.str();
}

// "7 December 2026 09:05": day without leading zero, full English month name
// (the program stays in the C locale), 24-hour time.
std::string NowText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!render::LocalTime(now, local)) {
        throw std::runtime_error("cannot read the local time");
    }
    char rest[64];
    if (std::strftime(rest, sizeof rest, " %B %Y %H:%M", &local) == 0) {
        throw std::runtime_error("cannot format the date");
    }
    return std::to_string(local.tm_mday) + rest;
}

void Run(const render::RenderOptions& options) {
    const std::string printout = ReadPrintout(options.input);
    const LineList colonTable = LoadLineList(BuiltinResource("colonText"));
    const LineList languageTable = LoadLineList(BuiltinResource("utf8Text"));
    const LineList templateLines = LoadLineList(BuiltinResource("htmKD520"));

    // Every read extends the text and the phrase tables run over all of it, so
    // a label split between two reads is handled as in the shell.
    std::string receivedText;
    const std::size_t step = options.chunk == 0 ? printout.size() : options.chunk;
    for (std::size_t at = 0; at < printout.size(); at += step) {
        const std::string_view chunk = std::string_view(printout).substr(at, step);
        receivedText += TranslateDeviceBytes(chunk, options.model, options.language);
        ApplyPhraseTables(receivedText, colonTable, languageTable, options.language);
    }

    PageInputs in;
    in.deviceModel = options.model;
    in.currentLanguage = options.language;
    in.receivedText = receivedText;
    in.templateLines = &templateLines;
    // The page refers to the state images and the logo beside the program, as
    // the shell does beside its executable, by file:// URLs; the logo's
    // existence is asked of the file the URL names.
    in.executableDir =
        render::UrlFolder(options.imageDir ? *options.imageDir : DefaultImageDirectory());
    in.fileExists = [](const std::string& path) {
        std::error_code error;
        return std::filesystem::exists(render::FilePathOfUrlPath(path), error);
    };
    in.dateText = options.dateText ? *options.dateText : NowText();
    const std::string page = BuildReportPage(in);

    std::cout.write(page.data(), static_cast<std::streamsize>(page.size()));
    if (!std::cout.flush()) {
        throw std::runtime_error("cannot write standard output");
    }
}

} // namespace

int main(int argc, char** argv) {
    render::UseBinaryStdio();
    try {
        const auto options = render::ParseRenderOptions(
            std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1)));
        if (options.help) {
            std::cout << render::RenderUsage;
            return 0;
        }
        Run(options);
        return 0;
    } catch (const render::UsageError& e) {
        std::cerr << "quillar-render: " << e.what() << " (see --help)\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "quillar-render: " << e.what() << "\n";
        return 1;
    }
}
