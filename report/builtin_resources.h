#pragma once
// The three text resources built into every program: the shell, the tools, the
// tests and the benchmarks read the same bytes.

#include "report/report_composer.h"

#include <string_view>

namespace quillar {

// The bytes of the resource "colonText", "utf8Text" or "htmKD520", exactly as
// in resources/. Throws std::out_of_range for any other name.
std::string_view BuiltinResource(std::string_view name);

// The three resources read into lines, once.
const ReportTables& BuiltinReportTables();

} // namespace quillar
