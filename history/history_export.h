#pragma once
// History records written out as the archive's log writes its rows, so that
// an export opens in a spreadsheet like tests.csv does.

#include "history/test_record.h"

#include <QString>

#include <string>
#include <vector>

namespace quillar {

// The fields of record's row, in ArchiveCsvHeader's order: file (base name),
// date and time, model, store, registration, company, technician, test date,
// result, battery type, then the measures as plain numbers (empty when none).
std::vector<std::string> ExportFields(const TestRecord& record);

// Writes ArchiveCsvHeader() and one row per record to path, replacing the file
// whole or not at all. Returns the reason when that failed, else "".
QString WriteHistoryCsv(const QString& path, const std::vector<TestRecord>& records);

} // namespace quillar
