#pragma once
// Where a history record's files are on this PC. A record may come from
// another PC (through the server), whose archive folder this PC may reach
// under another path, or not at all.

#include "history/test_record.h"

#include <QString>

#include <optional>

namespace quillar {

// The file relativePath (a record's txtFile or pdfFile) in localArchive, this
// PC's archive folder, else in the record's own archiveRoot: the first that
// is an existing file. nullopt when neither is, when relativePath is empty,
// or when it is absolute or climbs out of the folder ("..").
std::optional<QString> FindRecordFile(const QString& localArchive, const TestRecord& record,
                                      const QString& relativePath);

// The record's base name, as the archive named its files: txtFile's file name
// without ".txt" ("2026-12-08 0956 QM WX12345").
QString RecordBaseName(const TestRecord& record);

} // namespace quillar
