#include "history/history_table_model.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace quillar {

namespace {

// Two decimals at most, as the tester prints them; the export keeps every digit.
QString Number(const std::optional<double>& value) {
    return value ? QLocale().toString(std::round(*value * 100) / 100, 'g', 12) : QString();
}

QString Cca(const TestRecord& record) {
    const auto measured = record.measure(Measure::MeasuredCca);
    const auto rated = record.measure(Measure::RatedCca);
    if (!measured && !rated)
        return {};
    return Number(measured) + QStringLiteral(" / ") + Number(rated);
}

bool IsNumberColumn(int column) {
    return column >= HistoryTableModel::SohColumn && column <= HistoryTableModel::VoltageColumn;
}

} // namespace

HistoryTableModel::HistoryTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void HistoryTableModel::SetDatabase(HistoryDatabase* database) {
    database_ = database;
    SetFilter(filter_);
}

void HistoryTableModel::SetFilter(const HistoryFilter& filter) {
    beginResetModel();
    filter_ = filter;
    pages_.clear();
    count_ = 0;
    if (database_) {
        try {
            ++queries_;
            count_ = std::max(0, database_->Count(filter_));
        } catch (const std::exception& error) {
            emit failed(QString::fromUtf8(error.what()));
        }
    }
    endResetModel();
}

const std::vector<TestRecord>* HistoryTableModel::PageOf(int page) const {
    const auto found = pages_.find(page);
    if (found != pages_.end()) {
        found->second.lastUse = ++uses_;
        return &found->second.records;
    }
    if (!database_)
        return nullptr;
    if (pages_.size() >= kCachedPages) {
        const auto oldest =
            std::min_element(pages_.begin(), pages_.end(), [](const auto& a, const auto& b) {
                return a.second.lastUse < b.second.lastUse;
            });
        pages_.erase(oldest);
    }
    CachedPage& cached = pages_[page];
    cached.lastUse = ++uses_;
    try {
        ++queries_;
        cached.records = database_->Page(filter_, page * kPageSize, kPageSize);
    } catch (const std::exception& error) {
        // Cached empty: a view asks for every row it paints, and one failure
        // is said once, not once per row. The next filter or refresh asks again.
        cached.records.clear();
        emit failed(QString::fromUtf8(error.what()));
    }
    return &cached.records;
}

std::optional<TestRecord> HistoryTableModel::Record(int row) const {
    if (row < 0 || row >= count_)
        return std::nullopt;
    const std::vector<TestRecord>* page = PageOf(row / kPageSize);
    const std::size_t at = std::size_t(row % kPageSize);
    if (!page || at >= page->size())
        return std::nullopt;
    return (*page)[at];
}

int HistoryTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count_;
}

int HistoryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HistoryTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(
            Qt::Alignment(IsNumberColumn(index.column()) ? Qt::AlignRight : Qt::AlignLeft) |
            Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const std::optional<TestRecord> record = Record(index.row());
    if (!record)
        return {};
    if (role == Qt::ToolTipRole)
        return record->pdfFile.isEmpty() ? record->txtFile : record->pdfFile;
    switch (index.column()) {
    case TestedAtColumn:
        return record->testedAt;
    case ModelColumn:
        return record->model;
    case RegistrationColumn:
        return record->registration;
    case CompanyColumn:
        return record->company;
    case TechnicianColumn:
        return record->technician;
    case ResultColumn:
        return record->result;
    case SohColumn:
        return Number(record->measure(Measure::Soh));
    case SocColumn:
        return Number(record->measure(Measure::Soc));
    case CcaColumn:
        return Cca(*record);
    case VoltageColumn:
        return Number(record->measure(Measure::Voltage));
    case PcColumn:
        return record->pcName;
    default:
        return {};
    }
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case TestedAtColumn:
        return QStringLiteral("Date and time");
    case ModelColumn:
        return QStringLiteral("Model");
    case RegistrationColumn:
        return QStringLiteral("Registration");
    case CompanyColumn:
        return QStringLiteral("Company");
    case TechnicianColumn:
        return QStringLiteral("Technician");
    case ResultColumn:
        return QStringLiteral("Result");
    case SohColumn:
        return QStringLiteral("SOH %");
    case SocColumn:
        return QStringLiteral("SOC %");
    case CcaColumn:
        return QStringLiteral("CCA measured / rated");
    case VoltageColumn:
        return QStringLiteral("Voltage (V)");
    case PcColumn:
        return QStringLiteral("PC");
    default:
        return {};
    }
}

} // namespace quillar
