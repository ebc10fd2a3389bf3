#pragma once
// Report pages built from the accumulated text for the configured model.

#include "line_list.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quillar {

inline constexpr std::string_view PageHead =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
    "<style type='text/css'>body{font-family: 'Courier New', Courier, monospace; "
    "line-height:1.2;}</style></head><body>";
inline constexpr std::string_view PageFoot = "</body></html>";

// What a page build reads. The platform's parts (the executable's directory,
// the formatted date, the file-existence test) come from the caller.
struct PageInputs {
    std::string_view deviceModel;
    std::int32_t currentLanguage = 0;
    std::string_view receivedText;
    const LineList* templateLines = nullptr; // the "htmKD520" template; none = empty template
    // The "utf8Text" table that translated receivedText: with languages 1 to 3
    // the template looks for the labels it translated in their translated form.
    const LineList* languageTable = nullptr;
    std::string executableDir; // UTF-8, ends with its separator ("/opt/quillar/")
    // Where the workshop's logo.bmp and the state images 0.png .. 10.png are,
    // each ending with its separator; empty = executableDir (a portable copy).
    std::string logoDir;
    std::string stateImageDir;
    std::string dateText; // local date and time, UTF-8 ("7 December 2026 09:05")
    std::function<bool(const std::string& path)> fileExists; // empty = std::filesystem::exists
};

// "KD520" -> template page, "KD318" -> form page, "QM" -> plain page, any other
// model -> the empty text. None of the builders can fail.
std::string BuildReportPage(const PageInputs& in);
std::string BuildPlainPage(const PageInputs& in);
std::string BuildFormPage(const PageInputs& in);
std::string BuildTemplatePage(const PageInputs& in);

} // namespace quillar
