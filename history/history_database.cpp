#include "history/history_database.h"

#include "history/database_address.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <QVariant>

#include <algorithm>

namespace quillar {

namespace {

// The columns every record has, in one order for every statement.
QStringList RecordColumns() {
    QStringList columns{QStringLiteral("record_key"),   QStringLiteral("tested_at"),
                        QStringLiteral("model"),        QStringLiteral("store"),
                        QStringLiteral("registration"), QStringLiteral("company"),
                        QStringLiteral("technician"),   QStringLiteral("test_date"),
                        QStringLiteral("result"),       QStringLiteral("battery_type")};
    for (const MeasureColumn& measure : MeasureColumns())
        columns << QString::fromLatin1(measure.sqlName);
    columns << QStringLiteral("archive_root") << QStringLiteral("txt_file")
            << QStringLiteral("pdf_file") << QStringLiteral("pc_name") << QStringLiteral("kept_at");
    return columns;
}

// What the search box finds a record by, folded to lower case here so that
// both engines compare every alphabet alike, and one column is scanned.
QString SearchText(const TestRecord& r) {
    return QStringList{r.registration, r.company, r.technician, r.model}
        .join(QLatin1Char('\n'))
        .toLower();
}

// The columns written: the record's and its search text.
QStringList WrittenColumns() {
    return RecordColumns() << QStringLiteral("search_text");
}

QVariant Text(const QString& value) {
    return value.isNull() ? QString(QLatin1String("")) : value;
}

QVariant Number(const std::optional<double>& value) {
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<double>());
}

QVariantList RecordValues(const TestRecord& r) {
    QVariantList values{
        Text(r.key),     Text(r.testedAt),   Text(r.model),    Text(r.store),  Text(r.registration),
        Text(r.company), Text(r.technician), Text(r.testDate), Text(r.result), Text(r.batteryType)};
    for (const std::optional<double>& measure : r.measures)
        values << Number(measure);
    values << Text(r.archiveRoot) << Text(r.txtFile) << Text(r.pdfFile) << Text(r.pcName)
           << Text(r.keptAt) << SearchText(r);
    return values;
}

TestRecord RecordOf(const QSqlQuery& query) {
    TestRecord r;
    int i = 0;
    auto next = [&] { return query.value(i++); };
    r.key = next().toString();
    r.testedAt = next().toString();
    r.model = next().toString();
    r.store = next().toString();
    r.registration = next().toString();
    r.company = next().toString();
    r.technician = next().toString();
    r.testDate = next().toString();
    r.result = next().toString();
    r.batteryType = next().toString();
    for (std::optional<double>& measure : r.measures) {
        const QVariant value = next();
        if (!value.isNull())
            measure = value.toDouble();
    }
    r.archiveRoot = next().toString();
    r.txtFile = next().toString();
    r.pdfFile = next().toString();
    r.pcName = next().toString();
    r.keptAt = next().toString();
    return r;
}

[[noreturn]] void Fail(const QString& what, const QSqlError& error) {
    throw HistoryError((what + QStringLiteral(": ") + error.text()).toStdString());
}

void Exec(QSqlQuery& query, const QString& what) {
    if (!query.exec())
        Fail(what, query.lastError());
}

void Exec(const QSqlDatabase& db, const QString& statement, const QString& what) {
    QSqlQuery query(db);
    if (!query.exec(statement))
        Fail(what, query.lastError());
}

} // namespace

QString LocalIndexPath(const QString& archiveRoot) {
    return QDir(archiveRoot).filePath(QStringLiteral("history.sqlite"));
}

HistoryDatabase::HistoryDatabase(Kind kind, QString connection)
    : kind_(kind), connection_(std::move(connection)) {}

HistoryDatabase::~HistoryDatabase() {
    {
        QSqlDatabase db = Db();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

QSqlDatabase HistoryDatabase::Db() const {
    return QSqlDatabase::database(connection_, false);
}

std::unique_ptr<HistoryDatabase> HistoryDatabase::OpenLocal(const QString& archiveRoot) {
    const QString name = QStringLiteral("quillar-history-") + QUuid::createUuid().toString();
    std::unique_ptr<HistoryDatabase> history(new HistoryDatabase(Kind::Local, name));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    if (!db.isValid())
        throw HistoryError("Qt's SQLite driver is missing (Debian: libqt6sql6-sqlite)");
    const QString path = LocalIndexPath(archiveRoot);
    db.setDatabaseName(path);
    // Another Quillar writing at the same moment holds the lock briefly.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open())
        Fail(QStringLiteral("The test history %1 could not be opened").arg(path), db.lastError());
    // WAL: readers never wait for the writer, and a second program on this PC
    // writes through the engine's own locks.
    QSqlQuery mode(db);
    if (!mode.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !mode.next() ||
        mode.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        throw HistoryError(QStringLiteral("The test history %1 cannot use write-ahead logging "
                                          "(is it on a network folder?)")
                               .arg(path)
                               .toStdString());
    Exec(db, QStringLiteral("PRAGMA synchronous=NORMAL"), QStringLiteral("The test history"));
    history->CreateSchema();
    return history;
}

std::unique_ptr<HistoryDatabase> HistoryDatabase::OpenServer(const QString& address,
                                                             int connectSeconds) {
    const QString name = QStringLiteral("quillar-history-") + QUuid::createUuid().toString();
    std::unique_ptr<HistoryDatabase> history(new HistoryDatabase(Kind::Server, name));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    if (!db.isValid())
        throw HistoryError("Qt's PostgreSQL driver is missing (Debian: libqt6sql6-psql)");
    const ServerAddress server = ParseServerAddress(address, connectSeconds);
    db.setHostName(server.host);
    if (server.port > 0)
        db.setPort(server.port);
    db.setDatabaseName(server.database);
    db.setUserName(server.user);
    db.setPassword(server.password);
    db.setConnectOptions(server.options);
    if (!db.open())
        Fail(QStringLiteral("The history server could not be reached"), db.lastError());
    // The server's notices ("relation already exists") are no news here.
    Exec(db, QStringLiteral("SET client_min_messages TO warning"),
         QStringLiteral("The history server"));
    // Two PCs meeting a new database at once may both make the table; the
    // one that loses finds it made.
    try {
        if (!history->HasTable())
            history->CreateSchema();
    } catch (const HistoryError&) {
        if (!history->HasTable())
            throw;
    }
    return history;
}

bool HistoryDatabase::HasTable() {
    QSqlQuery query(Db());
    if (!query.exec(QStringLiteral("SELECT to_regclass('tests') IS NOT NULL")) || !query.next())
        Fail(QStringLiteral("The history server could not be read"), query.lastError());
    return query.value(0).toBool();
}

void HistoryDatabase::CreateSchema() {
    const QSqlDatabase db = Db();
    const bool local = kind_ == Kind::Local;
    const QString real = local ? QStringLiteral("REAL") : QStringLiteral("DOUBLE PRECISION");
    // Made from the one list of columns: the key, the measurements as
    // numbers (NULL when the page shows none), every other one text.
    QStringList definitions;
    const QStringList written = WrittenColumns();
    for (const QString& column : written) {
        const bool measure =
            std::any_of(MeasureColumns().begin(), MeasureColumns().end(),
                        [&](const MeasureColumn& m) { return column == QLatin1String(m.sqlName); });
        definitions << column + QLatin1Char(' ') +
                           (column == written.front() ? QStringLiteral("TEXT PRIMARY KEY")
                            : measure                 ? real
                                                      : QStringLiteral("TEXT NOT NULL"));
    }
    QString columns = definitions.join(QStringLiteral(", "));
    // The local index is also the queue for the server: a record's revision
    // grows with every change, and the one the server has is noted.
    if (local)
        columns += QStringLiteral(", revision INTEGER NOT NULL DEFAULT 1, "
                                  "uploaded_revision INTEGER NOT NULL DEFAULT 0, "
                                  "change_order INTEGER NOT NULL DEFAULT 0");
    const QString what = QStringLiteral("The test history's tables could not be made");
    Exec(db, QStringLiteral("CREATE TABLE IF NOT EXISTS tests (%1)").arg(columns), what);
    Exec(
        db,
        QStringLiteral("CREATE INDEX IF NOT EXISTS tests_by_time ON tests (tested_at, record_key)"),
        what);
    Exec(db,
         QStringLiteral("CREATE INDEX IF NOT EXISTS tests_by_registration ON tests (registration)"),
         what);
    Exec(db,
         QStringLiteral("CREATE INDEX IF NOT EXISTS tests_by_result ON tests (result, tested_at)"),
         what);
    if (local) {
        Exec(db,
             QStringLiteral("CREATE INDEX IF NOT EXISTS tests_by_change ON tests (change_order)"),
             what);
        Exec(db,
             QStringLiteral(
                 "CREATE TABLE IF NOT EXISTS settings (name TEXT PRIMARY KEY, value TEXT)"),
             what);
    }
}

void HistoryDatabase::Upsert(const TestRecord& record) {
    UpsertAll({record});
}

void HistoryDatabase::UpsertAll(const std::vector<TestRecord>& records) {
    QSqlDatabase db = Db();
    const QStringList columns = WrittenColumns();
    QStringList updates;
    for (const QString& column : columns.mid(1))
        updates << QStringLiteral("%1 = excluded.%1").arg(column);
    QString statement = QStringLiteral("INSERT INTO tests (%1%2) VALUES (%3%4) "
                                       "ON CONFLICT (record_key) DO UPDATE SET %5")
                            .arg(columns.join(QLatin1Char(',')));
    const QString marks = QStringList(columns.size(), QStringLiteral("?")).join(QLatin1Char(','));
    if (kind_ == Kind::Local) {
        // A changed record goes to the server again, after those changed before it.
        statement = statement.arg(QStringLiteral(",change_order"), marks,
                                  QStringLiteral(",(SELECT coalesce(max(change_order), 0) + 1 "
                                                 "FROM tests)"),
                                  updates.join(QLatin1Char(',')) +
                                      QStringLiteral(", revision = tests.revision + 1, "
                                                     "change_order = excluded.change_order"));
    } else {
        statement = statement.arg(QString(), marks, QString(), updates.join(QLatin1Char(',')));
    }
    if (!db.transaction())
        Fail(QStringLiteral("The test history could not be written"), db.lastError());
    try {
        QSqlQuery query(db);
        if (!query.prepare(statement))
            Fail(QStringLiteral("The test history could not be written"), query.lastError());
        for (const TestRecord& record : records) {
            const QVariantList values = RecordValues(record);
            for (int i = 0; i < values.size(); ++i)
                query.bindValue(i, values[i]);
            Exec(query, QStringLiteral("The test %1 could not be written to the test history")
                            .arg(record.txtFile.isEmpty() ? record.key : record.txtFile));
        }
        if (!db.commit())
            Fail(QStringLiteral("The test history could not be written"), db.lastError());
    } catch (...) {
        db.rollback();
        throw;
    }
}

void HistoryDatabase::Remove(const QString& key) {
    QSqlQuery query(Db());
    query.prepare(QStringLiteral("DELETE FROM tests WHERE record_key = ?"));
    query.addBindValue(key);
    Exec(query, QStringLiteral("The test history could not be written"));
}

std::vector<HistoryDatabase::Pending> HistoryDatabase::PendingUploads(int limit) {
    QSqlQuery query(Db());
    query.prepare(QStringLiteral("SELECT %1, revision FROM tests WHERE revision > "
                                 "uploaded_revision ORDER BY change_order LIMIT ?")
                      .arg(RecordColumns().join(QLatin1Char(','))));
    query.addBindValue(limit);
    Exec(query, QStringLiteral("The tests waiting for the history server could not be read"));
    std::vector<Pending> pending;
    while (query.next())
        pending.push_back({RecordOf(query), query.value(RecordColumns().size()).toLongLong()});
    return pending;
}

void HistoryDatabase::MarkUploaded(const std::vector<Pending>& sent) {
    QSqlDatabase db = Db();
    const QString what = QStringLiteral("The test history could not be written");
    if (!db.transaction())
        Fail(what, db.lastError());
    try {
        QSqlQuery query(db);
        // A change made meanwhile has a higher revision and still waits.
        query.prepare(QStringLiteral("UPDATE tests SET uploaded_revision = ? WHERE record_key = "
                                     "? AND uploaded_revision < ?"));
        for (const Pending& item : sent) {
            query.bindValue(0, item.revision);
            query.bindValue(1, item.record.key);
            query.bindValue(2, item.revision);
            Exec(query, what);
        }
        if (!db.commit())
            Fail(what, db.lastError());
    } catch (...) {
        db.rollback();
        throw;
    }
}

int HistoryDatabase::PendingCount() {
    QSqlQuery query(Db());
    if (!query.exec(
            QStringLiteral("SELECT count(*) FROM tests WHERE revision > uploaded_revision")))
        Fail(QStringLiteral("The test history could not be read"), query.lastError());
    return query.next() ? query.value(0).toInt() : 0;
}

std::optional<QString> HistoryDatabase::Setting(const QString& name) {
    QSqlQuery query(Db());
    query.prepare(QStringLiteral("SELECT value FROM settings WHERE name = ?"));
    query.addBindValue(name);
    Exec(query, QStringLiteral("The test history could not be read"));
    if (!query.next())
        return std::nullopt;
    return query.value(0).toString();
}

void HistoryDatabase::SetSetting(const QString& name, const QString& value) {
    QSqlQuery query(Db());
    query.prepare(QStringLiteral("INSERT INTO settings (name, value) VALUES (?, ?) "
                                 "ON CONFLICT (name) DO UPDATE SET value = excluded.value"));
    query.addBindValue(name);
    query.addBindValue(value);
    Exec(query, QStringLiteral("The test history could not be written"));
}

namespace {

struct Where {
    QString clause;
    QVariantList values;
};

Where WhereOf(const HistoryFilter& filter, bool server) {
    QStringList parts;
    QVariantList values;
    const QString text = filter.text.trimmed().toLower();
    if (!text.isEmpty()) {
        // A plain substring test: no pattern characters to escape, and far
        // cheaper than LIKE over four columns.
        parts << (server ? QStringLiteral("strpos(search_text, ?) > 0")
                         : QStringLiteral("instr(search_text, ?) > 0"));
        values << text;
    }
    if (!filter.from.isEmpty()) {
        parts << QStringLiteral("tested_at >= ?");
        values << filter.from;
    }
    if (!filter.to.isEmpty()) {
        // "2026-12-31 23:59" sorts before "2026-12-31~".
        parts << QStringLiteral("tested_at < ?");
        values << filter.to + QLatin1Char('~');
    }
    if (!filter.result.isEmpty()) {
        parts << QStringLiteral("result = ?");
        values << filter.result;
    }
    if (!filter.registration.isEmpty()) {
        parts << QStringLiteral("registration = ?");
        values << filter.registration;
    }
    if (parts.isEmpty())
        return {};
    return {QStringLiteral(" WHERE ") + parts.join(QStringLiteral(" AND ")), values};
}

} // namespace

int HistoryDatabase::Count(const HistoryFilter& filter) {
    const Where where = WhereOf(filter, kind_ == Kind::Server);
    QSqlQuery query(Db());
    query.prepare(QStringLiteral("SELECT count(*) FROM tests") + where.clause);
    for (const QVariant& value : where.values)
        query.addBindValue(value);
    Exec(query, QStringLiteral("The test history could not be searched"));
    return query.next() ? query.value(0).toInt() : 0;
}

std::vector<TestRecord> HistoryDatabase::Page(const HistoryFilter& filter, int offset, int limit) {
    const Where where = WhereOf(filter, kind_ == Kind::Server);
    QSqlQuery query(Db());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM tests%2 ORDER BY tested_at DESC, record_key "
                                 "DESC LIMIT ? OFFSET ?")
                      .arg(RecordColumns().join(QLatin1Char(',')), where.clause));
    for (const QVariant& value : where.values)
        query.addBindValue(value);
    query.addBindValue(limit);
    query.addBindValue(offset);
    Exec(query, QStringLiteral("The test history could not be searched"));
    std::vector<TestRecord> records;
    while (query.next())
        records.push_back(RecordOf(query));
    return records;
}

QStringList HistoryDatabase::Results() {
    QSqlQuery query(Db());
    if (!query.exec(QStringLiteral("SELECT DISTINCT result FROM tests WHERE result <> '' "
                                   "ORDER BY result")))
        Fail(QStringLiteral("The test history could not be read"), query.lastError());
    QStringList results;
    while (query.next())
        results << query.value(0).toString();
    return results;
}

std::optional<TestRecord> HistoryDatabase::Find(const QString& key) {
    QSqlQuery query(Db());
    query.prepare(QStringLiteral("SELECT %1 FROM tests WHERE record_key = ?")
                      .arg(RecordColumns().join(QLatin1Char(','))));
    query.addBindValue(key);
    Exec(query, QStringLiteral("The test history could not be read"));
    if (!query.next())
        return std::nullopt;
    return RecordOf(query);
}

} // namespace quillar
