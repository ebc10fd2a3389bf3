#pragma once
// From the tester's bytes to the report page: the one sequence that the
// shell, the tools, the benchmarks, the fuzzer and the tests all run.

#include "report/line_list.h"
#include "report/report_pages.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillar {

// The three text resources, read into lines.
struct ReportTables {
    LineList colonTable;    // "colonText": label fixes
    LineList languageTable; // "utf8Text": translations
    LineList templateLines; // "htmKD520": the KD520 template page
};

// What decides how bytes become a page.
struct ReportSetting {
    std::string_view model;
    std::int32_t language = 0;
    const ReportTables* tables = nullptr; // never null
};

// One read from the port: its bytes in the device's characters appended to
// receivedText, then the phrase tables over the whole text, so that a label
// split between two reads is fixed once both halves are in.
void AddRead(std::string& receivedText, std::string_view read, const ReportSetting& setting);

// The page for receivedText. place gives the folders, the date and the file
// test; its model, language, text and tables are taken from the others.
std::string ComposePage(std::string_view receivedText, const ReportSetting& setting,
                        PageInputs place);

// Both: bytes read chunk bytes at a time (0 = in one read), then the page.
std::string ComposeReportPage(std::string_view bytes, std::size_t chunk,
                              const ReportSetting& setting, const PageInputs& place);

} // namespace quillar
