// quillar-render: builds the report page for a recorded tester printout, the
// way the shell builds it after each read, without a window or a port.

#include "render_options.h"
#include "report/device_chars.h"
#include "report/line_list.h"
#include "report/phrase_tables.h"
#include "report/report_pages.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace {

using namespace quillar;

std::string ReadAll(std::istream& in, const std::string& name) {
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) {
        throw std::runtime_error("cannot read " + name);
    }
    return bytes.str();
}

std::string ReadFile(const std::string& path) {
    if (path == "-") {
        return ReadAll(std::cin, "standard input");
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    }
    return ReadAll(file, path);
}

// The page refers to the state images and the logo beside the program, as the
// shell does beside its executable.
std::string OwnDirectory() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        throw std::runtime_error("cannot find the renderer's directory: " + error.message());
    }
    return exe.parent_path().string() + "/";
}

// "7 December 2026 09:05": day without leading zero, full month name of the
// environment's locale (UTF-8 on the workshop PCs and in CI), 24-hour time.
std::string NowText() {
    std::setlocale(LC_TIME, "");
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) {
        throw std::runtime_error("cannot read the local time");
    }
    char month[64];
    if (std::strftime(month, sizeof month, "%B", &local) == 0) {
        throw std::runtime_error("cannot format the month name");
    }
    char time[16];
    std::strftime(time, sizeof time, "%H:%M", &local);
    return std::to_string(local.tm_mday) + " " + month + " " +
           std::to_string(local.tm_year + 1900) + " " + time;
}

int Run(const render::RenderOptions& options) {
    const std::string base = options.resourceDir + "/";
    const LineList colonTable = LoadLineList(ReadFile(base + "colonText"));
    const LineList languageTable = LoadLineList(ReadFile(base + "utf8Text"));
    const LineList templateLines = LoadLineList(ReadFile(base + "htmKD520"));
    const std::string printout = ReadFile(options.input);

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
    in.executableDir = options.imageDir ? *options.imageDir : OwnDirectory();
    in.dateText = options.dateText ? *options.dateText : NowText();
    const std::string page = BuildReportPage(in);

    if (options.output) {
        std::ofstream file(*options.output, std::ios::binary | std::ios::trunc);
        file << page;
        if (!file.flush()) {
            throw std::runtime_error("cannot write " + *options.output);
        }
    } else {
        std::cout << page;
        if (!std::cout.flush()) {
            throw std::runtime_error("cannot write standard output");
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        const auto options = render::ParseRenderOptions(
            std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1)),
            QUILLAR_RESOURCE_DIR);
        if (options.help) {
            std::cout << render::RenderUsage;
            return 0;
        }
        return Run(options);
    } catch (const render::UsageError& e) {
        std::cerr << "quillar-render: " << e.what() << "\n" << render::RenderUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "quillar-render: " << e.what() << "\n";
        return 1;
    }
}
