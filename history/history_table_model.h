#pragma once
// The History window's table: the records a filter gives, newest first, read
// from the database a page at a time as rows come into view, so that a
// history of 100,000 tests scrolls without being read whole.

#include "history/history_database.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace quillar {

class HistoryTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        TestedAtColumn,
        ModelColumn,
        RegistrationColumn,
        CompanyColumn,
        TechnicianColumn,
        ResultColumn,
        SohColumn,
        SocColumn,
        CcaColumn, // measured / rated
        VoltageColumn,
        PcColumn,
        ColumnCount
    };
    static constexpr int kPageSize = 200;
    // Pages kept in memory; the one read longest ago goes first.
    static constexpr std::size_t kCachedPages = 64;

    explicit HistoryTableModel(QObject* parent = nullptr);

    // The database asked (not owned; nullptr shows nothing). Shows its rows
    // for the present filter.
    void SetDatabase(HistoryDatabase* database);
    // Counts the rows filter gives; their pages are read when shown.
    void SetFilter(const HistoryFilter& filter);
    // Asks again with the same filter (tests kept since are shown).
    void Refresh() { SetFilter(filter_); }
    const HistoryFilter& Filter() const { return filter_; }
    HistoryDatabase* Database() const { return database_; }

    // The record shown in row, its page read when needed; nullopt outside
    // the rows or when the database failed (said through failed).
    std::optional<TestRecord> Record(int row) const;
    // How many database queries were made: tests see that pages are cached.
    std::uint64_t QueryCount() const { return queries_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    // A database question failed; the rows concerned show empty.
    void failed(const QString& message) const;

private:
    struct CachedPage {
        std::vector<TestRecord> records;
        std::uint64_t lastUse = 0;
    };
    const std::vector<TestRecord>* PageOf(int page) const;

    HistoryDatabase* database_ = nullptr;
    HistoryFilter filter_;
    int count_ = 0;
    mutable std::map<int, CachedPage> pages_;
    mutable std::uint64_t uses_ = 0;
    mutable std::uint64_t queries_ = 0;
};

} // namespace quillar
