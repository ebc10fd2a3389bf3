#include "printout_page.h"

#include "render_paths.h"
#include "render_platform.h"
#include "report/builtin_resources.h"
#include "report/device_chars.h"
#include "report/line_list.h"
#include "report/phrase_tables.h"
#include "report/report_pages.h"

#include <filesystem>
#include <string_view>
#include <system_error>

namespace quillar::render {

std::string DefaultImageDirectory() {
    std::filesystem::path own = OwnDirectory();
    if (!own.has_filename())
        own = own.parent_path(); // "/usr/bin/" is the folder /usr/bin
    const std::filesystem::path installed = own.parent_path() / "share" / "quillar";
    std::error_code error;
    if (!std::filesystem::exists(own / "0.png", error) &&
        std::filesystem::exists(installed / "0.png", error))
        return installed.string();
    return own.string();
}

std::string BuildPrintoutPage(const RenderOptions& options, const std::string& printout,
                              const std::string& dateText) {
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
    in.languageTable = &languageTable;
    // The page refers to the state images and the logo beside the program, as
    // the shell does beside its executable, by file:// URLs; the logo's
    // existence is asked of the file the URL names.
    in.executableDir = UrlFolder(options.imageDir ? *options.imageDir : DefaultImageDirectory());
    in.fileExists = [](const std::string& path) {
        std::error_code error;
        return std::filesystem::exists(FilePathOfUrlPath(path), error);
    };
    in.dateText = dateText;
    return BuildReportPage(in);
}

} // namespace quillar::render
