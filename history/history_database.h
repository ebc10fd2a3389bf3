#pragma once
// The test history's database through Qt SQL: the local index (SQLite, one
// file in the archive folder, WAL) or the workshop's server (PostgreSQL). One
// object is one connection and belongs to the thread that made it.

#include "history/test_record.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

class QSqlDatabase;

namespace quillar {

// A database operation failed; what() says which and why.
class HistoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The local index's file in an archive folder.
QString LocalIndexPath(const QString& archiveRoot);

// What the History window asks for. Empty parts do not filter.
struct HistoryFilter {
    QString text;         // matched in registration, company, technician and model, any case
    QString from;         // "2026-12-01": tests on or after that day
    QString to;           // "2026-12-31": tests on or before that day
    QString result;       // the verdict exactly as stored
    QString registration; // exactly (a vehicle's tests)
};

class HistoryDatabase {
public:
    enum class Kind { Local, Server };

    // The local index at LocalIndexPath(archiveRoot), made when missing.
    static std::unique_ptr<HistoryDatabase> OpenLocal(const QString& archiveRoot);
    // The server that address names (a libpq connection string or a
    // postgresql:// URI); connectSeconds bounds the wait for it.
    static std::unique_ptr<HistoryDatabase> OpenServer(const QString& address,
                                                       int connectSeconds = 5);
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase&) = delete;
    HistoryDatabase& operator=(const HistoryDatabase&) = delete;

    Kind kind() const { return kind_; }

    // Writes record: a new key adds it, a known key replaces it. On the local
    // index the record then waits for the server (see PendingUploads).
    void Upsert(const TestRecord& record);
    // Several in one transaction (the indexing of an existing folder).
    void UpsertAll(const std::vector<TestRecord>& records);
    // Removes the record of key, if any.
    void Remove(const QString& key);

    // The local index only: the records changed since they last went to the
    // server, oldest change first, at most limit; and noting one went up.
    struct Pending {
        TestRecord record;
        qint64 revision = 0;
    };
    std::vector<Pending> PendingUploads(int limit);
    void MarkUploaded(const std::vector<Pending>& sent);
    int PendingCount();

    // A value of the local index's own (e.g. whether the folder was indexed).
    std::optional<QString> Setting(const QString& name);
    void SetSetting(const QString& name, const QString& value);

    // The History window's questions: records newest first.
    int Count(const HistoryFilter& filter);
    std::vector<TestRecord> Page(const HistoryFilter& filter, int offset, int limit);
    // Every verdict that occurs, sorted.
    QStringList Results();
    // One record, nullopt when none has key.
    std::optional<TestRecord> Find(const QString& key);

private:
    HistoryDatabase(Kind kind, QString connection);
    void CreateSchema();
    bool HasTable(); // the server only
    QSqlDatabase Db() const;

    Kind kind_;
    QString connection_; // Qt SQL's connection name, unique per object
};

} // namespace quillar
