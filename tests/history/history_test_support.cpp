#include "history_test_support.h"

#include "history/archive_history.h"

#include <QUuid>

#include <memory>

namespace quillar {

HistoryFilter Matching(const QString& text) {
    HistoryFilter filter;
    filter.text = text;
    return filter;
}

HistoryFilter Between(const QString& from, const QString& to) {
    HistoryFilter filter;
    filter.from = from;
    filter.to = to;
    return filter;
}

HistoryFilter WithResult(const QString& result) {
    HistoryFilter filter;
    filter.result = result;
    return filter;
}

HistoryFilter OfVehicle(const QString& registration) {
    HistoryFilter filter;
    filter.registration = registration;
    return filter;
}

QString Unique() {
    return QUuid::createUuid().toString(QUuid::Id128).left(8).toUpper();
}

ArchiveJob MakeJob(const QString& root, std::uint64_t id, const QString& key,
                   const QString& registration, int soh, ArchiveTime time) {
    ArchiveJob job;
    job.recordId = id;
    job.recordKey = key.toStdString();
    job.root = root.toStdString();
    job.time = time;
    job.baseName = ArchiveBaseName(time, "KD520", registration.toStdString());
    job.rawBytes = "printout " + std::to_string(id);
    job.csv = {"2026-12-08 09:56",
               "KD520",
               "Main St",
               registration.toStdString(),
               "Acme Motors",
               "Kim",
               "08/12/2026",
               "GOOD BATTERY",
               "FLOODED",
               "520",
               "480",
               "12.62",
               "5.92",
               "80",
               std::to_string(soh),
               "",
               "",
               "",
               "",
               ""};
    return job;
}

void WriteTests(const QString& root, const QString& writer, int count, HistoryUploader* uploader) {
    ArchiveWriter archive(nullptr, root.toStdString(), [&]() -> std::unique_ptr<ArchiveIndex> {
        return std::make_unique<ArchiveHistory>(root, writer, [uploader] {
            if (uploader)
                uploader->Wake();
        });
    });
    for (int i = 0; i < count; ++i)
        archive.Submit(MakeJob(root, std::uint64_t(i + 1), writer + QString::number(i),
                               writer + QStringLiteral("-CAR%1").arg(i % 8), i % 100));
}

} // namespace quillar
