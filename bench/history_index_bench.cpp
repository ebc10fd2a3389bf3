// The test history's indexing of an archive folder kept before there was an
// index: 10,000 tests (.txt and .pdf in month folders, a row each in
// tests.csv) read and written into a new local index, as on first use.

#include "app/report_archive.h"
#include "history/archive_history.h"
#include "history/history_database.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using namespace quillar;

void MakeArchive(const QString& root, int tests) {
    std::string log = ArchiveCsvHeader();
    for (int i = 0; i < tests; ++i) {
        const ArchiveTime time{2026, 1 + i % 12, 1 + i % 28, i % 24, i % 60};
        const std::string registration = "CAR" + std::to_string(i);
        const std::string base = ArchiveBaseName(time, "KD520", registration);
        const QString month = QDir(root).filePath(QString::fromStdString(MonthFolderName(time)));
        QDir().mkpath(month);
        for (const char* extension : {".txt", ".pdf"}) {
            QFile file(month + QLatin1Char('/') + QString::fromStdString(base) +
                       QLatin1String(extension));
            if (!file.open(QIODevice::WriteOnly))
                std::abort();
            file.write("x");
        }
        log += CsvLine({base,
                        "2026-01-01 00:00",
                        "KD520",
                        "Store",
                        registration,
                        "Acme",
                        "Kim",
                        "",
                        "GOOD BATTERY",
                        "AGM",
                        "520",
                        std::to_string(400 + i % 200),
                        "12.6",
                        "5.1",
                        "80",
                        std::to_string(i % 101),
                        "",
                        "",
                        "",
                        "",
                        ""});
    }
    QFile file(QDir(root).filePath(QStringLiteral("tests.csv")));
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    file.write(QByteArray::fromStdString(log));
}

void IndexExistingArchive(benchmark::State& state) {
    QTemporaryDir dir;
    MakeArchive(dir.path(), int(state.range(0)));
    for (auto _ : state) {
        ArchiveHistory history(dir.path(), QStringLiteral("PC1"), {});
        if (!history.Open().empty())
            state.SkipWithError("the index could not be made");
        state.PauseTiming();
        if (HistoryDatabase::OpenLocal(dir.path())->Count({}) != state.range(0))
            state.SkipWithError("not every test was indexed");
        for (const char* name : {"history.sqlite", "history.sqlite-wal", "history.sqlite-shm"})
            QFile::remove(QDir(dir.path()).filePath(QLatin1String(name)));
        state.ResumeTiming();
    }
    state.counters["tests/s"] =
        benchmark::Counter(double(state.range(0)), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(IndexExistingArchive)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
