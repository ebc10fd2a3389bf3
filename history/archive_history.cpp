#include "history/archive_history.h"

#include "history/history_database.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <map>

namespace quillar {

namespace {

QString NowUtc() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

QString MonthOf(const QString& testedAt) {
    return testedAt.left(7); // "2026-12"
}

// "2026-12-08 0956 KD520 WX12345 (2)": the time, the model and the
// registration that the name was made of.
bool FillFromName(TestRecord& record, const QString& baseName) {
    static const QRegularExpression name(QStringLiteral(
        "^(\\d{4}-\\d{2}-\\d{2}) (\\d{2})(\\d{2}) (\\S+)(?: (.*?))?(?: \\(\\d+\\))?$"));
    const QRegularExpressionMatch match = name.match(baseName);
    if (!match.hasMatch())
        return false;
    if (record.testedAt.isEmpty())
        record.testedAt = match.captured(1) + QLatin1Char(' ') + match.captured(2) +
                          QLatin1Char(':') + match.captured(3);
    if (record.model.isEmpty())
        record.model = match.captured(4);
    if (record.registration.isEmpty())
        record.registration = match.captured(5);
    return true;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TestRecord RecordOfJob(const ArchiveJob& job, const ArchiveResult& result, const QString& pcName) {
    // The job's row is the current log's, after its first field.
    static const LogLayout current(ReadCsvRecords(ArchiveCsvHeader()).front());
    std::vector<std::string> row{result.baseName};
    row.insert(row.end(), job.csv.begin(), job.csv.end());
    TestRecord record = current.Read(row);
    record.key = QString::fromStdString(job.recordKey);
    const QString month = QString::fromStdString(MonthFolderName(job.time));
    const QString base = QString::fromStdString(result.baseName);
    record.archiveRoot = QString::fromStdString(job.root);
    record.txtFile = month + QLatin1Char('/') + base + QStringLiteral(".txt");
    if (QFileInfo::exists(QDir(record.archiveRoot)
                              .filePath(month + QLatin1Char('/') + base + QStringLiteral(".pdf"))))
        record.pdfFile = month + QLatin1Char('/') + base + QStringLiteral(".pdf");
    record.pcName = pcName;
    record.keptAt = NowUtc();
    return record;
}

std::vector<TestRecord> RecordsOfArchiveFolder(const QString& root, const QString& pcName) {
    const QDir archive(root);
    // The rows of every log, the current one first: a name's first row wins.
    QStringList logs{QStringLiteral("tests.csv")};
    QStringList earlier =
        archive.entryList({QStringLiteral("tests (earlier layout)*.csv")}, QDir::Files, QDir::Name);
    logs += earlier;
    std::map<QString, TestRecord> byName;
    std::vector<QString> order;
    for (const QString& log : logs) {
        const QByteArray text = ReadAll(archive.filePath(log));
        const std::vector<std::vector<std::string>> rows =
            ReadCsvRecords(std::string_view(text.constData(), std::size_t(text.size())));
        if (rows.empty())
            continue;
        const LogLayout layout(rows[0]);
        for (std::size_t i = 1; i < rows.size(); ++i) {
            if (rows[i].empty() || rows[i][0].empty())
                continue;
            const QString name = QString::fromStdString(rows[i][0]);
            if (byName.count(name))
                continue;
            byName[name] = layout.Read(rows[i]);
            order.push_back(name);
        }
    }
    static const QRegularExpression monthName(QStringLiteral("^\\d{4}-\\d{2}$"));
    std::map<QString, QString> txtOf; // base name -> "2026-12/<name>.txt"
    for (const QString& month : archive.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!monthName.match(month).hasMatch())
            continue;
        const QDir folder(archive.filePath(month));
        for (const QString& file :
             folder.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
            const QString base = file.chopped(4);
            TestRecord named;
            // A file of the user's own, neither logged nor named as tests are, is none.
            if (!byName.count(base) && !FillFromName(named, base))
                continue;
            txtOf.emplace(base, month + QLatin1Char('/') + file);
            if (!byName.count(base)) {
                byName[base] = named;
                order.push_back(base);
            }
        }
    }
    std::vector<TestRecord> records;
    records.reserve(order.size());
    const QString now = NowUtc();
    for (const QString& base : order) {
        TestRecord record = byName[base];
        FillFromName(record, base);
        const auto txt = txtOf.find(base);
        record.txtFile = txt != txtOf.end() ? txt->second
                                            : MonthOf(record.testedAt) + QLatin1Char('/') + base +
                                                  QStringLiteral(".txt");
        const QString pdf = record.txtFile.chopped(4) + QStringLiteral(".pdf");
        if (QFileInfo::exists(archive.filePath(pdf)))
            record.pdfFile = pdf;
        record.key = QStringLiteral("file:") + record.txtFile;
        record.archiveRoot = root;
        record.pcName = pcName;
        record.keptAt = now;
        records.push_back(std::move(record));
    }
    return records;
}

ArchiveHistory::ArchiveHistory(QString root, QString pcName, std::function<void()> kept)
    : root_(std::move(root)), pcName_(std::move(pcName)), kept_(std::move(kept)) {}

ArchiveHistory::~ArchiveHistory() = default;

std::string ArchiveHistory::Open() {
    try {
        if (!QDir(root_).exists())
            return {}; // made with the first test; its index then
        if (!db_)
            db_ = HistoryDatabase::OpenLocal(root_);
        // The tests kept before there was an index, once per folder.
        if (!db_->Setting(QStringLiteral("folder indexed"))) {
            db_->UpsertAll(RecordsOfArchiveFolder(root_, pcName_));
            db_->SetSetting(QStringLiteral("folder indexed"), NowUtc());
        }
        if (kept_)
            kept_();
        return {};
    } catch (const HistoryError& error) {
        db_.reset();
        return error.what();
    }
}

std::string ArchiveHistory::Record(const ArchiveJob& job, const ArchiveResult& result) {
    try {
        if (!db_) {
            if (std::string problem = Open(); !problem.empty())
                return problem;
        }
        TestRecord record = RecordOfJob(job, result, pcName_);
        db_->Upsert(record);
        // The folder's indexing may have met this test's files first.
        db_->Remove(QStringLiteral("file:") + record.txtFile);
        if (kept_)
            kept_();
        return {};
    } catch (const HistoryError& error) {
        return error.what();
    }
}

} // namespace quillar
