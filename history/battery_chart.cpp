#include "history/battery_chart.h"

#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace quillar {

namespace {

// testedAt as the archive writes it, local time; earlier records may carry seconds.
QDateTime TestTime(const TestRecord& record) {
    for (const char* format : {"yyyy-MM-dd HH:mm", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd"}) {
        const QDateTime time = QDateTime::fromString(record.testedAt, QLatin1String(format));
        if (time.isValid())
            return time;
    }
    return {};
}

struct Plotted {
    const char* name;
    Measure measure;
    int axis; // 0 %, 1 A, 2 V
};
constexpr Plotted kPlotted[] = {
    {kSohSeries, Measure::Soh, 0},
    {kSocSeries, Measure::Soc, 0},
    {kMeasuredCcaSeries, Measure::MeasuredCca, 1},
    {kRatedCcaSeries, Measure::RatedCca, 1},
    {kVoltageSeries, Measure::Voltage, 2},
};

// The axis spans its values with some room, and never collapses to a point.
void FitAxis(QValueAxis* axis, double low, double high, bool fromZero) {
    if (low > high) { // no values at all
        low = 0;
        high = 1;
    }
    if (fromZero)
        low = std::min(0.0, low);
    const double room = high > low ? (high - low) * 0.1 : std::max(1.0, std::abs(high) * 0.1);
    axis->setRange(fromZero && low >= 0 ? low : low - room, high + room);
    axis->applyNiceNumbers();
}

} // namespace

QChart* BuildBatteryChart(const QString& registration, std::vector<TestRecord> tests) {
    std::vector<std::pair<QDateTime, const TestRecord*>> timed;
    for (const TestRecord& test : tests)
        if (const QDateTime time = TestTime(test); time.isValid())
            timed.emplace_back(time, &test);
    // Stable: tests of one minute keep the order they came in.
    std::stable_sort(timed.begin(), timed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });

    auto* chart = new QChart;
    chart->setTitle(registration.isEmpty() ? QStringLiteral("Battery")
                                           : QStringLiteral("Battery of %1").arg(registration));
    chart->legend()->setAlignment(Qt::AlignBottom);

    auto* timeAxis = new QDateTimeAxis;
    timeAxis->setFormat(QStringLiteral("yyyy-MM-dd"));
    timeAxis->setTitleText(QStringLiteral("Test date"));
    chart->addAxis(timeAxis, Qt::AlignBottom);
    QValueAxis* valueAxes[3] = {new QValueAxis, new QValueAxis, new QValueAxis};
    valueAxes[0]->setTitleText(QStringLiteral("%"));
    valueAxes[1]->setTitleText(QStringLiteral("A"));
    valueAxes[2]->setTitleText(QStringLiteral("V"));
    chart->addAxis(valueAxes[0], Qt::AlignLeft);
    chart->addAxis(valueAxes[1], Qt::AlignRight);
    chart->addAxis(valueAxes[2], Qt::AlignRight);
    double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
    double high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};

    for (const Plotted& plotted : kPlotted) {
        auto* series = new QLineSeries;
        series->setName(QString::fromLatin1(plotted.name));
        series->setPointsVisible(true);
        for (const auto& [time, test] : timed) {
            const std::optional<double> value = test->measure(plotted.measure);
            if (!value || !std::isfinite(*value))
                continue;
            series->append(double(time.toMSecsSinceEpoch()), *value);
            low[plotted.axis] = std::min(low[plotted.axis], *value);
            high[plotted.axis] = std::max(high[plotted.axis], *value);
        }
        chart->addSeries(series);
        series->attachAxis(timeAxis);
        series->attachAxis(valueAxes[plotted.axis]);
    }
    // Percentages read best on their whole scale.
    valueAxes[0]->setRange(0, std::max(100.0, high[0]));
    valueAxes[0]->setTickCount(6);
    valueAxes[0]->setLabelFormat(QStringLiteral("%.0f"));
    FitAxis(valueAxes[1], low[1], high[1], true);
    valueAxes[1]->setLabelFormat(QStringLiteral("%.0f"));
    FitAxis(valueAxes[2], low[2], high[2], false);

    // One test, or none, still spans a day either side, so its point shows.
    QDateTime first = timed.empty() ? QDateTime::currentDateTime() : timed.front().first;
    QDateTime last = timed.empty() ? first : timed.back().first;
    if (first.secsTo(last) < 24 * 3600) {
        first = first.addDays(-1);
        last = last.addDays(1);
    }
    timeAxis->setRange(first, last);
    timeAxis->setTickCount(std::clamp(int(timed.size()), 2, 7));
    return chart;
}

} // namespace quillar
