// quillar-render: builds the report page for a recorded tester printout, the
// way the shell builds it after each read, without a window or a port.

#include "printout_page.h"
#include "render_options.h"
#include "render_platform.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

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
    const std::string page = render::BuildPrintoutPage(
        options, ReadPrintout(options.input), options.dateText ? *options.dateText : NowText());

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
