// The History window's questions to a local index of 100,000 tests: what one
// keystroke in the search box costs once the delay has run (the count and the
// first page), a verdict chosen, and a page deep down the list (scrolling).
// The table asks exactly these: Count(filter), then Page(filter, offset, 200).

#include "history/history_database.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace quillar {
namespace {

constexpr int kTests = 100'000;
constexpr int kBatch = 5'000;
constexpr int kPage = 200; // HistoryTableModel::kPageSize

// A workshop's years: 4,000 vehicles of 300 companies, 40 technicians, three
// models and verdicts, a test every few minutes of working time.
TestRecord MakeTest(int i, std::mt19937& random) {
    static const QStringList models = {"KD520", "QM", "KD318"};
    static const QStringList results = {"Good battery", "Replace battery", "Good - recharge"};
    static const QDateTime start(QDate(2021, 1, 4), QTime(7, 30));
    TestRecord t;
    t.key = QStringLiteral("bench-%1").arg(i);
    const int vehicle = int(random() % 4000);
    t.testedAt = start.addSecs(qint64(i) * 1500).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    t.model = models[int(random() % 3)];
    t.store = QStringLiteral("Store %1").arg(vehicle % 12);
    t.registration = QStringLiteral("%1%2 %3")
                         .arg(QChar('A' + vehicle % 26))
                         .arg(QChar('A' + (vehicle / 26) % 26))
                         .arg(10000 + vehicle * 7);
    t.company = QStringLiteral("Company %1 Transport").arg(vehicle % 300);
    t.technician = QStringLiteral("Technician %1").arg(int(random() % 40));
    t.testDate = t.testedAt.left(10);
    t.result = results[int(random() % 3)];
    t.batteryType = QStringLiteral("AGM");
    for (std::size_t m = 0; m < MeasureCount; ++m)
        if (random() % 10 != 0)
            t.measures[m] = double(random() % 100000) / 100.0;
    t.archiveRoot = QStringLiteral("/srv/archive");
    t.txtFile = t.testedAt.left(7) + QLatin1Char('/') + t.key + QStringLiteral(".txt");
    t.pdfFile = t.testedAt.left(7) + QLatin1Char('/') + t.key + QStringLiteral(".pdf");
    t.pcName = QStringLiteral("PC-%1").arg(vehicle % 4);
    t.keptAt = t.testedAt;
    return t;
}

// Filled once for every benchmark.
HistoryDatabase& Index() {
    static QTemporaryDir folder;
    static std::unique_ptr<HistoryDatabase> db = [] {
        auto opened = HistoryDatabase::OpenLocal(folder.path());
        std::mt19937 random(20261208);
        const auto began = std::chrono::steady_clock::now();
        std::vector<TestRecord> batch;
        for (int i = 0; i < kTests; ++i) {
            batch.push_back(MakeTest(i, random));
            if (batch.size() == std::size_t(kBatch)) {
                opened->UpsertAll(batch);
                batch.clear();
            }
        }
        opened->UpsertAll(batch);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        std::fprintf(stderr, "Filled %d tests in batches of %d in %.1f s\n", kTests, kBatch,
                     seconds);
        return opened;
    }();
    return *db;
}

// What the table does for a new filter: the count, then the first page.
void CountAndFirstPage(benchmark::State& state, const HistoryFilter& filter) {
    HistoryDatabase& db = Index();
    int rows = 0;
    for (auto _ : state) {
        rows = db.Count(filter);
        benchmark::DoNotOptimize(db.Page(filter, 0, kPage));
    }
    state.counters["rows"] = rows;
}

void BM_TypedSearch(benchmark::State& state) {
    HistoryFilter filter;
    // A registration's start, a company, a technician: typical typed texts.
    static const char* texts[] = {"ab 1", "company 17 ", "technician 3", "zz"};
    filter.text = QString::fromLatin1(texts[state.range(0)]);
    state.SetLabel(texts[state.range(0)]);
    CountAndFirstPage(state, filter);
}
BENCHMARK(BM_TypedSearch)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_NoFilter(benchmark::State& state) {
    CountAndFirstPage(state, {});
}
BENCHMARK(BM_NoFilter)->Unit(benchmark::kMillisecond);

void BM_VerdictFilter(benchmark::State& state) {
    HistoryFilter filter;
    filter.result = QStringLiteral("Replace battery");
    CountAndFirstPage(state, filter);
}
BENCHMARK(BM_VerdictFilter)->Unit(benchmark::kMillisecond);

void BM_MonthAndVerdict(benchmark::State& state) {
    HistoryFilter filter;
    filter.from = QStringLiteral("2022-03-01");
    filter.to = QStringLiteral("2022-03-31");
    filter.result = QStringLiteral("Replace battery");
    CountAndFirstPage(state, filter);
}
BENCHMARK(BM_MonthAndVerdict)->Unit(benchmark::kMillisecond);

// Scrolling: one page at an offset, as the table reads rows coming into view.
void BM_PageAtOffset(benchmark::State& state) {
    HistoryDatabase& db = Index();
    const int offset = int(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(db.Page({}, offset, kPage));
}
BENCHMARK(BM_PageAtOffset)->Arg(0)->Arg(50'000)->Arg(99'800)->Unit(benchmark::kMillisecond);

void BM_SearchPageAtOffset(benchmark::State& state) {
    HistoryDatabase& db = Index();
    HistoryFilter filter;
    filter.text = QStringLiteral("company 1");
    const int count = db.Count(filter);
    for (auto _ : state)
        benchmark::DoNotOptimize(db.Page(filter, count - kPage, kPage));
    state.counters["rows"] = count;
}
BENCHMARK(BM_SearchPageAtOffset)->Unit(benchmark::kMillisecond);

// A vehicle's tests, as the chart asks for them.
void BM_VehicleTests(benchmark::State& state) {
    HistoryDatabase& db = Index();
    HistoryFilter filter;
    filter.registration = db.Page({}, 12'345, 1).front().registration;
    int rows = 0;
    for (auto _ : state) {
        rows = db.Count(filter);
        benchmark::DoNotOptimize(db.Page(filter, 0, rows));
    }
    state.counters["rows"] = rows;
}
BENCHMARK(BM_VehicleTests)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quillar

int main(int argc, char** argv) {
    // Qt SQL finds its drivers through the application object.
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
