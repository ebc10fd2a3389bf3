#include "printout_page.h"

#include "render_paths.h"
#include "render_platform.h"
#include "report/builtin_resources.h"
#include "report/data_folder.h"
#include "report/report_composer.h"

#include <filesystem>
#include <string_view>
#include <system_error>

namespace quillar::render {

std::string DefaultImageDirectory() {
    std::filesystem::path own = OwnDirectory();
    if (!own.has_filename())
        own = own.parent_path(); // "/usr/bin/" is the folder /usr/bin
    std::string data = InstalledDataFolder(own.string() + "/");
    data.pop_back(); // a folder's name, as own is given
    const std::filesystem::path installed = data;
    std::error_code error;
    if (!std::filesystem::exists(own / "0.png", error) &&
        std::filesystem::exists(installed / "0.png", error))
        return installed.string();
    return own.string();
}

std::string BuildPrintoutPage(const RenderOptions& options, const std::string& printout,
                              const std::string& dateText) {
    // The page refers to the state images and the logo beside the program, as
    // the shell does beside its executable, by file:// URLs; the logo's
    // existence is asked of the file the URL names.
    PageInputs place;
    place.executableDir = UrlFolder(options.imageDir ? *options.imageDir : DefaultImageDirectory());
    place.fileExists = [](const std::string& path) {
        std::error_code error;
        return std::filesystem::exists(FilePathOfUrlPath(path), error);
    };
    place.dateText = dateText;
    // Read by read, as the shell reads the port: the phrase tables run over
    // the whole text after each.
    return ComposeReportPage(printout, options.chunk,
                             {options.model, options.language, &BuiltinReportTables()}, place);
}

} // namespace quillar::render
