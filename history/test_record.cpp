#include "history/test_record.h"

#include <QRegularExpression>

#include <cctype>
#include <cstdlib>
#include <string_view>

namespace quillar {

const std::array<MeasureColumn, MeasureCount>& MeasureColumns() {
    static const std::array<MeasureColumn, MeasureCount> columns{{
        {"rated_cca", "Rated CCA (A)"},
        {"measured_cca", "Measured CCA (A)"},
        {"voltage", "Voltage (V)"},
        {"internal_resistance", "Internal resistance (m\xCE\xA9)"},
        {"soc", "SOC (%)"},
        {"soh", "SOH (%)"},
        {"cranking_voltage", "Cranking voltage (V)"},
        {"cranking_time", "Cranking time (ms)"},
        {"loaded_voltage", "Loaded voltage (V)"},
        {"unloaded_voltage", "Unloaded voltage (V)"},
        {"ripple", "Ripple (mV)"},
    }};
    return columns;
}

std::optional<double> ParseLogNumber(const std::string& text) {
    std::size_t begin = 0;
    while (begin < text.size() && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    std::size_t end = begin;
    bool digits = false;
    bool point = false;
    for (; end < text.size(); ++end) {
        const char c = text[end];
        if (c >= '0' && c <= '9')
            digits = true;
        else if (c == '.' && !point)
            point = true;
        else
            break;
    }
    if (!digits)
        return std::nullopt;
    // Plain decimal digits only: strtod would also read hex, inf and exponents.
    return std::strtod(text.substr(begin, end - begin).c_str(), nullptr);
}

namespace {

// "Rated CCA (A)" and "Rated CCA" name one column: earlier logs had no units.
QString ColumnName(const std::string& header) {
    QString name = QString::fromStdString(header);
    if (name.startsWith(QChar(0xFEFF)))
        name.remove(0, 1);
    static const QRegularExpression unit(QStringLiteral("\\s*\\([^)]*\\)\\s*$"));
    name.remove(unit);
    return name.trimmed().toLower();
}

} // namespace

LogLayout::LogLayout(const std::vector<std::string>& header) {
    auto find = [&](const QString& wanted) {
        for (std::size_t i = 0; i < header.size(); ++i)
            if (ColumnName(header[i]) == wanted.toLower())
                return int(i);
        return -1;
    };
    time_ = find(QStringLiteral("Date and time"));
    model_ = find(QStringLiteral("Model"));
    store_ = find(QStringLiteral("Store name"));
    registration_ = find(QStringLiteral("Vehicle registration"));
    company_ = find(QStringLiteral("Company"));
    technician_ = find(QStringLiteral("Technician"));
    testDate_ = find(QStringLiteral("Test date"));
    result_ = find(QStringLiteral("Result"));
    batteryType_ = find(QStringLiteral("Battery type"));
    for (std::size_t i = 0; i < MeasureCount; ++i)
        measures_[i] = find(ColumnName(MeasureColumns()[i].logHeader));
}

TestRecord LogLayout::Read(const std::vector<std::string>& row) const {
    auto field = [&](int at) -> std::string {
        return at >= 0 && std::size_t(at) < row.size() ? row[std::size_t(at)] : std::string();
    };
    auto text = [&](int at) {
        std::string value = field(at);
        // The log writes a typed value that a spreadsheet would take for a
        // formula after a '; the record holds what was typed.
        if (value.size() > 1 && value[0] == '\'' &&
            std::string_view("=+-@\t\r").find(value[1]) != std::string_view::npos)
            value.erase(0, 1);
        return QString::fromStdString(value);
    };
    TestRecord record;
    record.testedAt = text(time_);
    record.model = text(model_);
    record.store = text(store_);
    record.registration = text(registration_);
    record.company = text(company_);
    record.technician = text(technician_);
    record.testDate = text(testDate_);
    record.result = text(result_);
    record.batteryType = text(batteryType_);
    for (std::size_t i = 0; i < MeasureCount; ++i)
        record.measures[i] = ParseLogNumber(field(measures_[i]));
    return record;
}

TestRecord RecordFromLogRow(const std::vector<std::string>& header,
                            const std::vector<std::string>& row) {
    return LogLayout(header).Read(row);
}

} // namespace quillar
