#pragma once
// One kept battery test as the test history holds it: what the archive's log
// row says, where its files are, and which PC kept it.

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace quillar {

// The measurements, in the archive log's order and units.
enum class Measure {
    RatedCca,
    MeasuredCca,
    Voltage,
    InternalResistance,
    Soc,
    Soh,
    CrankingVoltage,
    CrankingTime,
    LoadedVoltage,
    UnloadedVoltage,
    Ripple,
};
inline constexpr std::size_t MeasureCount = 11;

struct MeasureColumn {
    const char* sqlName;   // "rated_cca"
    const char* logHeader; // "Rated CCA (A)", as tests.csv heads it
};
const std::array<MeasureColumn, MeasureCount>& MeasureColumns();

struct TestRecord {
    QString key;      // unique per test: every rewrite of the test has the same
    QString testedAt; // "2026-12-08 09:56", local time of the test's first bytes
    QString model;
    QString store;
    QString registration;
    QString company;
    QString technician;
    QString testDate; // as typed
    QString result;   // the verdict as the page shows it
    QString batteryType;
    std::array<std::optional<double>, MeasureCount> measures;
    QString archiveRoot; // the archive folder as the keeping PC saw it
    QString txtFile;     // relative to archiveRoot: "2026-12/2026-12-08 0956 QM.txt"
    QString pdfFile;     // likewise; empty = no PDF
    QString pcName;
    QString keptAt; // UTC, ISO 8601: when this version was written

    std::optional<double> measure(Measure m) const { return measures[std::size_t(m)]; }
};

// A number as the log writes it ("5.92", "216"); a value with a unit as an
// earlier log wrote it ("5.92mΩ", "12.6V") gives its leading number; nothing
// else gives none.
std::optional<double> ParseLogNumber(const std::string& text);

// A layout of the archive log, as its header names the fields (any layout the
// log has had: fields are found by their names, units in brackets aside).
class LogLayout {
public:
    explicit LogLayout(const std::vector<std::string>& header);
    // The record of one row; fields the header lacks stay empty.
    TestRecord Read(const std::vector<std::string>& row) const;

private:
    // Where each named field is in a row; -1 = absent.
    int time_, model_, store_, registration_, company_, technician_, testDate_, result_,
        batteryType_;
    std::array<int, MeasureCount> measures_;
};

// LogLayout(header).Read(row).
TestRecord RecordFromLogRow(const std::vector<std::string>& header,
                            const std::vector<std::string>& row);

} // namespace quillar
