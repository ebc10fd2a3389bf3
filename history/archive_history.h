#pragma once
// The test history's side of the archive writer: each record kept goes into
// the local index (SQLite in the archive folder) on the writer's thread, and
// an archive folder is indexed once, on first use, from the files already
// there. The files are only read.

#include "app/report_archive.h"
#include "history/test_record.h"

#include <QString>

#include <functional>
#include <memory>

namespace quillar {

class HistoryDatabase;

// The local index's record of a job written whole.
TestRecord RecordOfJob(const ArchiveJob& job, const ArchiveResult& result, const QString& pcName);

// Every test of an archive folder as its files and logs tell: each .txt in a
// month folder ("2026-12/…"), with the fields of its row in tests.csv or in an
// earlier layout's log beside it ("tests (earlier layout)*.csv"); a row
// whose .txt is gone still counts; without a row, the time, model and
// registration come from the file's name. Keys are "file:<txt path>".
std::vector<TestRecord> RecordsOfArchiveFolder(const QString& root, const QString& pcName);

class ArchiveHistory : public ArchiveIndex {
public:
    // root: the archive folder; kept: called after each record goes in (the
    // server's upload wakes up).
    ArchiveHistory(QString root, QString pcName, std::function<void()> kept);
    ~ArchiveHistory() override;

    std::string Open() override;
    std::string Record(const ArchiveJob& job, const ArchiveResult& result) override;

private:
    QString root_;
    QString pcName_;
    std::function<void()> kept_;
    std::unique_ptr<HistoryDatabase> db_;
};

} // namespace quillar
