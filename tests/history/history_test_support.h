#pragma once
// What the test history's tests share: tests as the shell hands them to the
// archive writer, and a writer with its index as one Quillar runs it.

#include "app/report_archive.h"
#include "history/history_database.h"
#include "history/history_upload.h"

#include <QString>

#include <cstdint>

namespace quillar {

inline constexpr ArchiveTime kMorning{2026, 12, 8, 9, 56};

// The filters of the History window's boxes.
HistoryFilter Matching(const QString& text);
HistoryFilter Between(const QString& from, const QString& to);
HistoryFilter WithResult(const QString& result);
HistoryFilter OfVehicle(const QString& registration);

// A short text of its own per call: names that no earlier run used.
QString Unique();

// A KD520 test as the shell hands it to the writer.
ArchiveJob MakeJob(const QString& root, std::uint64_t id, const QString& key,
                   const QString& registration, int soh, ArchiveTime time = kMorning);

// Writes count tests into root as one Quillar named writer does, its index
// included: keys writer0, writer1 …, registrations writer-CAR0 … writer-CAR7.
void WriteTests(const QString& root, const QString& writer, int count,
                HistoryUploader* uploader = nullptr);

} // namespace quillar
