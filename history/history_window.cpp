#include "history/history_window.h"

#include "history/battery_chart.h"
#include "history/history_export.h"
#include "history/history_table_model.h"
#include "history/record_files.h"
#include "view/pdf_printing.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace quillar {

namespace {

constexpr const char* kDateFormat = "yyyy-MM-dd";
// A vehicle's chart shows at most its latest tests of this many.
constexpr int kChartedTests = 10'000;
// Export reads the rows in pieces of this many.
constexpr int kExportChunk = 1'000;

QDateEdit* NewDateEdit(const QString& name, const QDate& date, QWidget* parent) {
    auto* edit = new QDateEdit(date, parent);
    edit->setObjectName(name);
    edit->setDisplayFormat(QLatin1String(kDateFormat));
    edit->setCalendarPopup(true);
    return edit;
}

QPushButton* NewButton(const QString& name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false); // Enter in the search box must not open a PDF
    return button;
}

} // namespace

HistoryWindow::HistoryWindow(HistorySource source, QString localArchive, QWidget* parent)
    : QDialog(parent), database_(std::move(source.database)),
      localArchive_(std::move(localArchive)), notice_(std::move(source.notice)),
      model_(new HistoryTableModel(this)), searchDelay_(new QTimer(this)) {
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(QStringLiteral("History"));
    setSizeGripEnabled(true);

    searchBox_ = new QLineEdit(this);
    searchBox_->setObjectName(QStringLiteral("searchBox"));
    searchBox_->setPlaceholderText(
        QStringLiteral("Search registration, company, technician, model"));
    searchBox_->setClearButtonEnabled(true);
    dateRange_ = new QCheckBox(QStringLiteral("Date range"), this);
    dateRange_->setObjectName(QStringLiteral("dateRange"));
    const QDate today = QDate::currentDate();
    fromDate_ = NewDateEdit(QStringLiteral("fromDate"), today.addMonths(-1), this);
    toDate_ = NewDateEdit(QStringLiteral("toDate"), today, this);
    fromDate_->setEnabled(false);
    toDate_->setEnabled(false);
    resultFilter_ = new QComboBox(this);
    resultFilter_->setObjectName(QStringLiteral("resultFilter"));
    resultFilter_->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    auto* filters = new QHBoxLayout;
    filters->addWidget(searchBox_, 1);
    filters->addWidget(dateRange_);
    filters->addWidget(fromDate_);
    filters->addWidget(new QLabel(QStringLiteral("to"), this));
    filters->addWidget(toDate_);
    filters->addWidget(resultFilter_);

    statusLine_ = new QLabel(this);
    statusLine_->setObjectName(QStringLiteral("statusLine"));
    statusLine_->setWordWrap(true);
    statusLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusLine_->setStyleSheet(QStringLiteral("color: #a33;"));

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("historyTable"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    // Rows of one height: the view then never measures rows it does not
    // show, which would read every page.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setHighlightSections(false);
    const int columnWidths[HistoryTableModel::ColumnCount] = {120, 64, 104, 160, 110, 130,
                                                              56,  56, 140, 80,  100};
    for (int column = 0; column < HistoryTableModel::ColumnCount; ++column)
        table_->setColumnWidth(column, columnWidths[column]);

    countLabel_ = new QLabel(this);
    countLabel_->setObjectName(QStringLiteral("countLabel"));
    openButton_ = NewButton(QStringLiteral("openButton"), QStringLiteral("Open PDF"), this);
    reprintButton_ = NewButton(QStringLiteral("reprintButton"), QStringLiteral("Reprint"), this);
    chartButton_ = NewButton(QStringLiteral("chartButton"), QStringLiteral("Chart"), this);
    exportButton_ = NewButton(QStringLiteral("exportButton"), QStringLiteral("Export\u2026"), this);
    auto* closeButton = NewButton(QStringLiteral("closeButton"), QStringLiteral("Close"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(countLabel_, 1);
    for (QPushButton* button : {openButton_, reprintButton_, chartButton_, exportButton_})
        buttons->addWidget(button);
    buttons->addSpacing(12);
    buttons->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(statusLine_);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);
    resize(1200, 640);

    searchDelay_->setSingleShot(true);
    searchDelay_->setInterval(kSearchDelayMs);
    connect(searchBox_, &QLineEdit::textChanged, searchDelay_, qOverload<>(&QTimer::start));
    connect(searchDelay_, &QTimer::timeout, this, &HistoryWindow::ApplyFilter);
    connect(dateRange_, &QCheckBox::toggled, this, [this](bool on) {
        fromDate_->setEnabled(on);
        toDate_->setEnabled(on);
        ApplyFilter();
    });
    for (QDateEdit* edit : {fromDate_, toDate_})
        connect(edit, &QDateEdit::dateChanged, this, [this] {
            if (dateRange_->isChecked())
                ApplyFilter();
        });
    connect(resultFilter_, &QComboBox::currentIndexChanged, this, &HistoryWindow::ApplyFilter);
    connect(model_, &HistoryTableModel::failed, this, &HistoryWindow::ShowProblem);
    connect(model_, &QAbstractItemModel::modelReset, this, &HistoryWindow::UpdateButtons);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &HistoryWindow::UpdateButtons);
    connect(table_, &QTableView::doubleClicked, this, &HistoryWindow::OpenPdf);
    connect(openButton_, &QPushButton::clicked, this, &HistoryWindow::OpenPdf);
    connect(reprintButton_, &QPushButton::clicked, this, &HistoryWindow::Reprint);
    connect(chartButton_, &QPushButton::clicked, this, &HistoryWindow::ShowChart);
    connect(exportButton_, &QPushButton::clicked, this, &HistoryWindow::Export);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);

    if (!database_)
        for (QWidget* widget :
             std::initializer_list<QWidget*>{searchBox_, dateRange_, resultFilter_, exportButton_})
            widget->setEnabled(false);
    LoadResults();
    model_->SetDatabase(database_.get());
    ApplyFilter();
    searchBox_->setFocus();
}

HistoryWindow::~HistoryWindow() {
    // The model goes after the database (it is a child): it must not ask it.
    model_->SetDatabase(nullptr);
}

void HistoryWindow::SetPrompts(Prompts prompts) {
    prompts_ = std::move(prompts);
}

QChart* HistoryWindow::Chart() const {
    return chartView_ ? chartView_->chart() : nullptr;
}

HistoryFilter HistoryWindow::CurrentFilter() const {
    HistoryFilter filter;
    filter.text = searchBox_->text().trimmed();
    if (dateRange_->isChecked()) {
        filter.from = fromDate_->date().toString(QLatin1String(kDateFormat));
        filter.to = toDate_->date().toString(QLatin1String(kDateFormat));
    }
    if (resultFilter_->currentIndex() > 0)
        filter.result = resultFilter_->currentText();
    return filter;
}

void HistoryWindow::ApplyFilter() {
    searchDelay_->stop();
    failedNow_ = false;
    model_->SetFilter(CurrentFilter());
    if (!failedNow_) {
        statusLine_->setText(notice_);
        statusLine_->setVisible(!notice_.isEmpty());
    }
    const int count = model_->rowCount();
    countLabel_->setText(count == 1 ? QStringLiteral("1 test")
                                    : QStringLiteral("%1 tests").arg(QLocale().toString(count)));
}

void HistoryWindow::LoadResults() {
    QStringList results;
    if (database_) {
        try {
            results = database_->Results();
        } catch (const std::exception& error) {
            ShowProblem(QString::fromUtf8(error.what()));
        }
    }
    const QString chosen = resultFilter_->currentIndex() > 0 ? resultFilter_->currentText() : "";
    const QSignalBlocker quiet(resultFilter_); // the filter is applied once, by the caller
    resultFilter_->clear();
    resultFilter_->addItem(QStringLiteral("All results"));
    for (const QString& result : results)
        if (!result.isEmpty())
            resultFilter_->addItem(result);
    // A chosen verdict stays chosen, even when no test has it any more.
    if (!chosen.isEmpty()) {
        if (resultFilter_->findText(chosen, Qt::MatchExactly) < 0)
            resultFilter_->addItem(chosen);
        resultFilter_->setCurrentIndex(resultFilter_->findText(chosen, Qt::MatchExactly));
    }
}

void HistoryWindow::Refresh() {
    LoadResults();
    ApplyFilter();
}

void HistoryWindow::ShowProblem(const QString& text) {
    failedNow_ = true;
    statusLine_->setText(text);
    statusLine_->setVisible(!text.isEmpty());
}

std::optional<TestRecord> HistoryWindow::CurrentRecord() const {
    const QModelIndex current = table_->currentIndex();
    if (!current.isValid())
        return std::nullopt;
    return model_->Record(current.row());
}

void HistoryWindow::UpdateButtons() {
    const std::optional<TestRecord> record = CurrentRecord();
    openButton_->setEnabled(record.has_value());
    reprintButton_->setEnabled(record.has_value());
    chartButton_->setEnabled(record && !record->registration.trimmed().isEmpty());
    exportButton_->setEnabled(database_ && model_->rowCount() > 0);
}

void HistoryWindow::Say(const QString& text) {
    if (prompts_.message)
        prompts_.message(text);
    else
        QMessageBox::warning(this, windowTitle(), text);
}

std::optional<QString> HistoryWindow::PdfOf(const TestRecord& record) {
    if (record.pdfFile.isEmpty()) {
        Say(QStringLiteral("The test %1 was kept without a PDF.").arg(RecordBaseName(record)));
        return std::nullopt;
    }
    if (std::optional<QString> path = FindRecordFile(localArchive_, record, record.pdfFile))
        return path;
    QStringList places;
    for (const QString& root : {localArchive_, record.archiveRoot})
        if (!root.isEmpty() && !places.contains(root))
            places << QDir::toNativeSeparators(root);
    Say(QStringLiteral("The PDF \"%1\" was not found in %2.")
            .arg(QDir::toNativeSeparators(record.pdfFile),
                 places.isEmpty() ? QStringLiteral("any archive folder")
                                  : places.join(QStringLiteral(" nor in "))));
    return std::nullopt;
}

std::optional<QString> HistoryWindow::CurrentPdf() {
    const std::optional<TestRecord> record = CurrentRecord();
    return record ? PdfOf(*record) : std::nullopt;
}

void HistoryWindow::OpenPdf() {
    const std::optional<QString> path = CurrentPdf();
    if (!path)
        return;
    const QUrl url = QUrl::fromLocalFile(*path);
    const bool opened = prompts_.openUrl ? prompts_.openUrl(url) : QDesktopServices::openUrl(url);
    if (!opened)
        Say(QStringLiteral("No program could open \"%1\".").arg(QDir::toNativeSeparators(*path)));
}

void HistoryWindow::Reprint() {
    const std::optional<TestRecord> record = CurrentRecord();
    const std::optional<QString> path = CurrentPdf();
    if (!record || !path)
        return;
    QPrinter printer;
    const bool chosen = prompts_.choosePrinter
                            ? prompts_.choosePrinter(printer)
                            : QPrintDialog(&printer, this).exec() == QDialog::Accepted;
    if (!chosen)
        return;
    // The PDF is printed as it was kept; lp queues it while the window goes on.
    auto* lp = new QProcess(this);
    const auto end = [this, lp](const QString& failure) {
        if (!lp->property("ended").toBool()) {
            lp->setProperty("ended", true);
            if (!failure.isEmpty())
                Say(failure);
            emit reprintFinished(failure);
        }
        lp->deleteLater();
    };
    connect(lp, &QProcess::errorOccurred, this, [lp, end](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            end(QStringLiteral("Printing failed: lp could not be started: ") + lp->errorString());
    });
    connect(lp, &QProcess::finished, this, [lp, end](int exitCode, QProcess::ExitStatus status) {
        if (status == QProcess::NormalExit && exitCode == 0) {
            end({});
            return;
        }
        QString why = QString::fromLocal8Bit(lp->readAllStandardError()).trimmed();
        if (why.isEmpty())
            why = status == QProcess::NormalExit ? QStringLiteral("exit code %1").arg(exitCode)
                                                 : QStringLiteral("it crashed");
        if (!why.startsWith(QLatin1String("lp:")))
            why.prepend(QStringLiteral("lp: "));
        end(QStringLiteral("Printing failed: ") + why);
    });
    lp->start(QStringLiteral("lp"),
              LpArguments(JobFromPrinter(printer, RecordBaseName(*record)), *path));
}

void HistoryWindow::ShowChart() {
    const std::optional<TestRecord> record = CurrentRecord();
    if (!record || record->registration.trimmed().isEmpty() || !database_)
        return;
    HistoryFilter vehicle;
    vehicle.registration = record->registration;
    std::vector<TestRecord> tests;
    try {
        const int count = std::min(database_->Count(vehicle), kChartedTests);
        tests = database_->Page(vehicle, 0, count);
    } catch (const std::exception& error) {
        ShowProblem(QString::fromUtf8(error.what()));
        return;
    }
    if (!chartWindow_) {
        chartWindow_ = new QDialog(this);
        chartWindow_->setObjectName(QStringLiteral("chartWindow"));
        chartView_ = new QChartView(chartWindow_);
        chartView_->setObjectName(QStringLiteral("chartView"));
        chartView_->setRenderHint(QPainter::Antialiasing);
        auto* layout = new QVBoxLayout(chartWindow_);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(chartView_);
        chartWindow_->resize(860, 520);
    }
    QChart* previous = chartView_->chart();
    chartView_->setChart(BuildBatteryChart(record->registration, std::move(tests)));
    delete previous; // the view lets go of it, but does not delete it
    chartWindow_->setWindowTitle(QStringLiteral("Battery of %1").arg(record->registration));
    chartWindow_->show();
    chartWindow_->raise();
}

void HistoryWindow::Export() {
    if (!database_)
        return;
    QModelIndexList selected = table_->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });

    QString folder = localArchive_;
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString suggested =
        QDir(folder).filePath(QStringLiteral("History %1.csv")
                                  .arg(QDate::currentDate().toString(QLatin1String(kDateFormat))));
    const QString path =
        prompts_.exportPath
            ? prompts_.exportPath(suggested)
            : QFileDialog::getSaveFileName(this, QStringLiteral("Export tests"), suggested,
                                           QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;

    std::vector<TestRecord> records;
    try {
        if (!selected.isEmpty()) {
            for (const QModelIndex& index : selected)
                if (std::optional<TestRecord> record = model_->Record(index.row()))
                    records.push_back(std::move(*record));
        } else {
            // Straight from the database, not through the table's pages: a
            // long export would push the shown rows out of the cache.
            const HistoryFilter filter = model_->Filter();
            const int count = database_->Count(filter);
            for (int offset = 0; offset < count; offset += kExportChunk) {
                std::vector<TestRecord> chunk = database_->Page(filter, offset, kExportChunk);
                if (chunk.empty())
                    break;
                std::move(chunk.begin(), chunk.end(), std::back_inserter(records));
            }
        }
    } catch (const std::exception& error) {
        Say(QStringLiteral("The tests could not be read for the export: %1")
                .arg(QString::fromUtf8(error.what())));
        return;
    }
    const QString failure = WriteHistoryCsv(path, records);
    if (!failure.isEmpty())
        Say(QStringLiteral("The tests could not be written to \"%1\": %2")
                .arg(QDir::toNativeSeparators(path), failure));
}

} // namespace quillar
