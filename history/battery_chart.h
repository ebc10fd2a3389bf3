#pragma once
// A vehicle's battery over time, drawn with Qt Charts from its tests.

#include "history/test_record.h"

#include <QString>

#include <vector>

QT_BEGIN_NAMESPACE
class QChart;
QT_END_NAMESPACE

namespace quillar {

// The series' names, as the legend shows them.
inline constexpr const char* kSohSeries = "SOH (%)";
inline constexpr const char* kSocSeries = "SOC (%)";
inline constexpr const char* kMeasuredCcaSeries = "Measured CCA (A)";
inline constexpr const char* kRatedCcaSeries = "Rated CCA (A)";
inline constexpr const char* kVoltageSeries = "Voltage (V)";

// A new chart (the caller owns it) of tests in time order, whatever their
// order given: one line series with points per measure above, against a
// date-time axis, on a value axis per unit (%, A, V). A test without a
// readable time, or without a measure, adds no point for it.
QChart* BuildBatteryChart(const QString& registration, std::vector<TestRecord> tests);

} // namespace quillar
