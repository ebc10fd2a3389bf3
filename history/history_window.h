#pragma once
// The History window: the tests kept on this PC (or, through the server, in
// the workshop), found by text, date and verdict; a test's PDF opened or
// printed again, a vehicle's battery charted, rows exported to CSV.

#include "history/history_source.h"
#include "history/test_record.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;
class QTableView;
class QTimer;
class QUrl;
QT_END_NAMESPACE

namespace quillar {

class HistoryTableModel;

class HistoryWindow : public QDialog {
    Q_OBJECT
public:
    // Shows source's database (the window owns it); its notice is the line
    // above the table. localArchive: this PC's archive folder, where a
    // record's files are looked for first.
    HistoryWindow(HistorySource source, QString localArchive, QWidget* parent = nullptr);
    ~HistoryWindow() override;

    // What the window asks of the user and the desktop. Tests answer instead;
    // an empty function keeps the window's own (a box, a dialog).
    struct Prompts {
        std::function<void(const QString& text)> message;            // a warning
        std::function<QString(const QString& suggested)> exportPath; // "" = cancelled
        std::function<bool(QPrinter& printer)> choosePrinter;        // false = cancelled
        std::function<bool(const QUrl& file)> openUrl;               // the desktop's viewer
    };
    void SetPrompts(Prompts prompts);

    // How long typing rests before the search runs.
    static constexpr int kSearchDelayMs = 150;

    HistoryTableModel* Model() const { return model_; }
    HistoryDatabase* Database() const { return database_.get(); }
    // The chart last shown, nullptr before the first.
    QChart* Chart() const;

    // The buttons' work, on the current row.
    void OpenPdf();
    void Reprint();
    void ShowChart();
    // The selected rows, or every row the filters give when none is selected.
    void Export();
    // Asks the database again: tests and verdicts added since.
    void Refresh();

signals:
    // lp, started by Reprint, has ended: an empty failure for success, else
    // what was said.
    void reprintFinished(const QString& failure);

private:
    HistoryFilter CurrentFilter() const;
    void ApplyFilter();
    void LoadResults();
    void UpdateButtons();
    void ShowProblem(const QString& text);
    std::optional<TestRecord> CurrentRecord() const;
    // The record's PDF on this PC; says why not and gives nullopt otherwise.
    std::optional<QString> PdfOf(const TestRecord& record);
    // The selected test's PDF; none (said) when there is no selection or no file.
    std::optional<QString> CurrentPdf();
    void Say(const QString& text);

    std::unique_ptr<HistoryDatabase> database_;
    QString localArchive_;
    QString notice_; // the source's notice, shown while nothing else goes wrong
    Prompts prompts_;

    HistoryTableModel* model_;
    QLineEdit* searchBox_;
    QTimer* searchDelay_;
    QCheckBox* dateRange_;
    QDateEdit* fromDate_;
    QDateEdit* toDate_;
    QComboBox* resultFilter_;
    QTableView* table_;
    QLabel* statusLine_;
    QLabel* countLabel_;
    QPushButton* openButton_;
    QPushButton* reprintButton_;
    QPushButton* chartButton_;
    QPushButton* exportButton_;
    QDialog* chartWindow_ = nullptr;
    QChartView* chartView_ = nullptr;
    bool failedNow_ = false; // a database question failed since the last filter
};

} // namespace quillar
