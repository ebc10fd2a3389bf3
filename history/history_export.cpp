#include "history/history_export.h"

#include "app/report_archive.h"
#include "history/record_files.h"

#include <QSaveFile>

namespace quillar {

namespace {

// As the log writes a number: no exponent for any value a tester gives, no
// trailing zeros, and the C locale's point whatever the user's locale.
std::string PlainNumber(const std::optional<double>& value) {
    if (!value)
        return {};
    return QString::number(*value, 'g', 15).toStdString();
}

} // namespace

std::vector<std::string> ExportFields(const TestRecord& record) {
    std::vector<std::string> fields{
        RecordBaseName(record).toStdString(), record.testedAt.toStdString(),
        record.model.toStdString(),           record.store.toStdString(),
        record.registration.toStdString(),    record.company.toStdString(),
        record.technician.toStdString(),      record.testDate.toStdString(),
        record.result.toStdString(),          record.batteryType.toStdString()};
    for (const std::optional<double>& measure : record.measures)
        fields.push_back(PlainNumber(measure));
    return fields;
}

QString WriteHistoryCsv(const QString& path, const std::vector<TestRecord>& records) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    std::string text = ArchiveCsvHeader();
    for (const TestRecord& record : records)
        text += CsvLine(ExportFields(record));
    if (file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.commit())
        return file.errorString();
    return {};
}

} // namespace quillar
