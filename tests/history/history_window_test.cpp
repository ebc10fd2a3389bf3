// The History window on a local index filled here (and, when the test script
// runs one, on a PostgreSQL server): order, search, filters, the battery
// chart, opening, reprinting and exporting a test's files, and what the
// window says when a database fails.

#include "app/report_archive.h"
#include "history/battery_chart.h"
#include "history/history_table_model.h"
#include "history/history_window.h"
#include "history/record_files.h"
#include "history_test_support.h"

#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTimeAxis>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QUuid>
#include <QValueAxis>

#include <algorithm>
#include <functional>
#include <random>

namespace quillar {
namespace {

const QStringList kRegistrations = {"WX12345", "KR 7781A", "PO-55E21", "GD 1002",
                                    "SK 4410", "",         "wa 9c77"};
const QStringList kCompanies = {"Nordbat", "Fleet Care Ltd", "Autoservis Kowalski",
                                "Bus Depot North"};
const QStringList kTechnicians = {"Anna Nowak", "Jan Berg", "Ola Lind"};
const QStringList kModels = {"KD520", "QM", "KD318"};
const QStringList kResults = {"Good battery", "Replace battery", "Good - recharge"};

// count tests of one PC, varied in every field the window shows, some
// measures missing, handed back in no particular order. tag makes keys and
// companies of their own (for a server that other runs share).
std::vector<TestRecord> SampleTests(int count, const QString& pc, const QString& root,
                                    const QString& tag = {}) {
    std::vector<TestRecord> tests;
    const QDateTime start(QDate(2026, 1, 5), QTime(8, 0));
    for (int i = 0; i < count; ++i) {
        TestRecord t;
        t.key = pc + tag + QStringLiteral("-") + QString::number(i);
        const QDateTime at = start.addSecs(qint64(i) * (7 * 3600 + 13 * 60) + (pc.size() * 60));
        t.testedAt = at.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        t.model = kModels[i % 3];
        t.store = QStringLiteral("Store ") + QString::number(i % 2);
        t.registration = kRegistrations[i % kRegistrations.size()];
        t.company = kCompanies[(i / 3) % kCompanies.size()] + tag;
        t.technician = kTechnicians[(i / 5) % kTechnicians.size()];
        t.testDate = at.toString(QStringLiteral("dd.MM.yyyy"));
        t.result = kResults[(i * 7 / 3) % kResults.size()];
        t.batteryType = i % 2 ? QStringLiteral("AGM") : QStringLiteral("Flooded");
        const double rated = 540 + 60 * (i % kRegistrations.size() % 3);
        t.measures[std::size_t(Measure::RatedCca)] = rated;
        t.measures[std::size_t(Measure::MeasuredCca)] = rated * (0.97 - 0.001 * i);
        if (i % 17 != 4)
            t.measures[std::size_t(Measure::Voltage)] = 12.0 + (i % 10) * 0.07;
        t.measures[std::size_t(Measure::InternalResistance)] = 4.5 + (i % 9) * 0.11;
        if (i % 11 != 1)
            t.measures[std::size_t(Measure::Soc)] = 40 + (i * 13) % 60;
        t.measures[std::size_t(Measure::Soh)] = 100 - (i % 40) * 1.5;
        const QString base = QString::fromStdString(ArchiveBaseName(
                                 {at.date().year(), at.date().month(), at.date().day(),
                                  at.time().hour(), at.time().minute()},
                                 t.model.toStdString(), t.registration.toStdString())) +
                             tag;
        const QString month = at.toString(QStringLiteral("yyyy-MM"));
        t.archiveRoot = root;
        t.txtFile = month + QLatin1Char('/') + base + QStringLiteral(".txt");
        t.pdfFile = month + QLatin1Char('/') + base + QStringLiteral(".pdf");
        t.pcName = pc;
        t.keptAt = at.toUTC().toString(Qt::ISODate);
        tests.push_back(t);
    }
    std::shuffle(tests.begin(), tests.end(), std::mt19937(20261208));
    return tests;
}

// Keys of the tests that pass, as the window must list them: newest first.
QStringList Expected(std::vector<TestRecord> tests,
                     const std::function<bool(const TestRecord&)>& passes) {
    std::sort(tests.begin(), tests.end(), [](const TestRecord& a, const TestRecord& b) {
        return a.testedAt != b.testedAt ? a.testedAt > b.testedAt : a.key > b.key;
    });
    QStringList keys;
    for (const TestRecord& t : tests)
        if (passes(t))
            keys << t.key;
    return keys;
}

bool Mentions(const TestRecord& t, const QString& text) {
    for (const QString& field : {t.registration, t.company, t.technician, t.model})
        if (field.contains(text, Qt::CaseInsensitive))
            return true;
    return false;
}

QStringList ShownKeys(const HistoryWindow& window) {
    QStringList keys;
    for (int row = 0; row < window.Model()->rowCount(); ++row) {
        const std::optional<TestRecord> record = window.Model()->Record(row);
        keys << (record ? record->key : QStringLiteral("<unread>"));
    }
    return keys;
}

// The first row from start on whose record is wanted; -1 for none.
int RowOf(const HistoryWindow& window, const std::function<bool(const TestRecord&)>& wanted,
          int start = 0) {
    for (int row = start; row < window.Model()->rowCount(); ++row)
        if (const auto record = window.Model()->Record(row); record && wanted(*record))
            return row;
    return -1;
}

const TestRecord& ByKey(const std::vector<TestRecord>& tests, const QString& key) {
    return *std::find_if(tests.begin(), tests.end(),
                         [&](const TestRecord& t) { return t.key == key; });
}

// RFC 4180 records, as a spreadsheet reads them.
std::vector<QStringList> ParseCsv(QString text) {
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text[i + 1] == QLatin1Char('"'))
                field += c, ++i;
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                field += c;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            row << field;
            field.clear();
        } else if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == '\n') {
            row << field;
            field.clear();
            rows.push_back(row);
            row.clear();
            ++i;
        } else {
            field += c;
        }
    }
    if (!field.isEmpty() || !row.isEmpty())
        rows.push_back(row << field);
    return rows;
}

struct Bench {
    QTemporaryDir archive;
    std::vector<TestRecord> tests;
    QStringList messages;
    QList<QUrl> opened;
    QString exportPath;
    std::unique_ptr<HistoryWindow> window;

    // A local index of count tests kept in archive, or in otherRoot when given.
    bool Open(int count, const QString& otherRoot = {}) {
        tests = SampleTests(count, QStringLiteral("BENCH-PC"),
                            otherRoot.isEmpty() ? archive.path() : otherRoot);
        auto db = HistoryDatabase::OpenLocal(archive.path());
        db->UpsertAll(tests);
        window = std::make_unique<HistoryWindow>(HistorySource{std::move(db), {}}, archive.path());
        HistoryWindow::Prompts prompts;
        prompts.message = [this](const QString& text) { messages << text; };
        prompts.openUrl = [this](const QUrl& url) {
            opened << url;
            return true;
        };
        prompts.exportPath = [this](const QString&) { return exportPath; };
        prompts.choosePrinter = [](QPrinter&) { return true; };
        window->SetPrompts(prompts);
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }
    template <typename T> T* Find(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    void Select(int row) const {
        auto* table = Find<QTableView>("historyTable");
        table->selectionModel()->clearSelection();
        table->setCurrentIndex(window->Model()->index(row, 0));
    }
};

} // namespace

class HistoryWindowTest : public QObject {
    Q_OBJECT
private slots:
    void localIndex_newestFirst_searchDatesAndVerdictNarrowTheRows();
    void chart_holdsAVehiclesTestsInTimeOrder_blankRegistrationHasNone();
    void openReprintAndExport_useTheRecordsFiles_andSayWhatFailed();
    void unreachableServer_showsThisPcsTests_databaseErrorsAreSaid();
    void server_listsAndFiltersTheTestsOfTwoPcs();
};

void HistoryWindowTest::localIndex_newestFirst_searchDatesAndVerdictNarrowTheRows() {
    Bench bench;
    QVERIFY(bench.Open(420));
    HistoryWindow& w = *bench.window;
    const auto all = [](const TestRecord&) { return true; };
    QCOMPARE(ShownKeys(w), Expected(bench.tests, all));
    QCOMPARE(w.Model()->columnCount(), HistoryTableModel::ColumnCount);

    // Rows are read a page at a time, and a page once.
    w.Model()->Refresh();
    const std::uint64_t counted = w.Model()->QueryCount();
    QVERIFY(w.Model()->Record(3));
    QVERIFY(w.Model()->Record(HistoryTableModel::kPageSize + 7));
    QVERIFY(w.Model()->Record(5));
    QCOMPARE(w.Model()->QueryCount(), counted + 2);
    QVERIFY(!w.Model()->Record(w.Model()->rowCount()));

    // The table's cells for the newest test.
    const TestRecord& newest = ByKey(bench.tests, Expected(bench.tests, all).front());
    const auto cell = [&](int column) {
        return w.Model()->data(w.Model()->index(0, column)).toString();
    };
    QCOMPARE(cell(HistoryTableModel::TestedAtColumn), newest.testedAt);
    QCOMPARE(cell(HistoryTableModel::RegistrationColumn), newest.registration);
    QCOMPARE(cell(HistoryTableModel::CompanyColumn), newest.company);
    QCOMPARE(cell(HistoryTableModel::ResultColumn), newest.result);
    QCOMPARE(cell(HistoryTableModel::PcColumn), newest.pcName);
    QVERIFY(cell(HistoryTableModel::CcaColumn).contains(QStringLiteral(" / ")));

    // Typing filters once it rests, on registration, company, technician or
    // model, whatever the case.
    auto* search = bench.Find<QLineEdit>("searchBox");
    QVERIFY(search);
    for (const QString& typed :
         {QStringLiteral("kr 77"), QStringLiteral("FLEET"), QStringLiteral("ola l"),
          QStringLiteral("qm"), QStringLiteral("WA 9C")}) {
        const QString before = w.Model()->Filter().text;
        search->clear();
        QTest::keyClicks(search, typed);
        QCOMPARE(w.Model()->Filter().text, before); // not while typing
        const QStringList expected =
            Expected(bench.tests, [&](const TestRecord& t) { return Mentions(t, typed); });
        QVERIFY2(!expected.isEmpty() && expected.size() < int(bench.tests.size()),
                 qPrintable(typed));
        QTRY_COMPARE(ShownKeys(w), expected);
    }

    // The verdicts that occur, and one of them chosen, with the text.
    auto* results = bench.Find<QComboBox>("resultFilter");
    QStringList items;
    for (int i = 0; i < results->count(); ++i)
        items << results->itemText(i);
    QStringList verdicts = kResults;
    verdicts.sort();
    QCOMPARE(items, QStringList{"All results"} + verdicts);
    results->setCurrentText(QStringLiteral("Replace battery"));
    QCOMPARE(ShownKeys(w), Expected(bench.tests, [](const TestRecord& t) {
                 return Mentions(t, QStringLiteral("WA 9C")) && t.result == "Replace battery";
             }));

    // A date range, both ends included; it only counts while ticked.
    search->clear();
    QTRY_COMPARE(w.Model()->Filter().text, QString());
    auto* from = bench.Find<QDateEdit>("fromDate");
    auto* to = bench.Find<QDateEdit>("toDate");
    from->setDate(QDate(2026, 2, 3));
    to->setDate(QDate(2026, 2, 20));
    QCOMPARE(w.Model()->Filter().from, QString());
    bench.Find<QCheckBox>("dateRange")->setChecked(true);
    const auto inRange = [](const TestRecord& t) {
        return t.testedAt >= "2026-02-03" && t.testedAt.left(10) <= "2026-02-20";
    };
    const QStringList ranged = Expected(bench.tests, [&](const TestRecord& t) {
        return inRange(t) && t.result == "Replace battery";
    });
    QVERIFY(!ranged.isEmpty());
    QCOMPARE(ShownKeys(w), ranged);
    results->setCurrentIndex(0);
    QCOMPARE(ShownKeys(w), Expected(bench.tests, inRange));
    bench.Find<QCheckBox>("dateRange")->setChecked(false);
    QCOMPARE(ShownKeys(w), Expected(bench.tests, all));
    QVERIFY(bench.messages.isEmpty());
}

void HistoryWindowTest::chart_holdsAVehiclesTestsInTimeOrder_blankRegistrationHasNone() {
    Bench bench;
    QVERIFY(bench.Open(300));
    HistoryWindow& w = *bench.window;
    auto* chartButton = bench.Find<QPushButton>("chartButton");
    QVERIFY(!chartButton->isEnabled()); // no row chosen

    const QString vehicle = QStringLiteral("KR 7781A");
    const int row = RowOf(w, [&](const TestRecord& t) { return t.registration == vehicle; });
    QVERIFY(row >= 0);
    bench.Select(row);
    QVERIFY(chartButton->isEnabled());
    QTest::mouseClick(chartButton, Qt::LeftButton);
    QChart* chart = w.Chart();
    QVERIFY(chart);

    std::vector<TestRecord> own;
    for (const TestRecord& t : bench.tests)
        if (t.registration == vehicle)
            own.push_back(t);
    std::sort(own.begin(), own.end(),
              [](const TestRecord& a, const TestRecord& b) { return a.testedAt < b.testedAt; });
    const std::pair<const char*, Measure> charted[] = {{kSohSeries, Measure::Soh},
                                                       {kSocSeries, Measure::Soc},
                                                       {kMeasuredCcaSeries, Measure::MeasuredCca},
                                                       {kRatedCcaSeries, Measure::RatedCca},
                                                       {kVoltageSeries, Measure::Voltage}};
    QCOMPARE(chart->series().size(), qsizetype(std::size(charted)));
    for (const auto& [name, measure] : charted) {
        QLineSeries* series = nullptr;
        for (QAbstractSeries* s : chart->series())
            if (s->name() == QLatin1String(name))
                series = qobject_cast<QLineSeries*>(s);
        QVERIFY2(series, name);
        QList<QPointF> expected;
        for (const TestRecord& t : own)
            if (t.measure(measure))
                expected << QPointF(
                    double(
                        QDateTime::fromString(t.testedAt, "yyyy-MM-dd HH:mm").toMSecsSinceEpoch()),
                    *t.measure(measure));
        QCOMPARE(series->points(), expected);
        // Against time, and on the axis of its unit.
        QStringList axes;
        for (QAbstractAxis* axis : series->attachedAxes())
            axes << (qobject_cast<QDateTimeAxis*>(axis) ? QStringLiteral("time")
                                                        : axis->titleText());
        const QString unit = QString::fromLatin1(name).section('(', 1).chopped(1);
        QCOMPARE(axes, (QStringList{"time", unit}));
    }
    // Some of the vehicle's tests lack a SOC: they leave a gap, not a zero.
    const auto socs = std::count_if(own.begin(), own.end(),
                                    [](const TestRecord& t) { return t.measure(Measure::Soc); });
    QVERIFY(socs < qsizetype(own.size()));

    // A test without registration has no vehicle to chart.
    const int blank = RowOf(w, [](const TestRecord& t) { return t.registration.isEmpty(); });
    QVERIFY(blank >= 0);
    bench.Select(blank);
    QVERIFY(!chartButton->isEnabled());
    bench.Select(row);
    QVERIFY(chartButton->isEnabled());
    bench.Find<QLineEdit>("searchBox")->setText(QStringLiteral("no such vehicle"));
    QTRY_COMPARE(w.Model()->rowCount(), 0);
    QVERIFY(!chartButton->isEnabled());
}

void HistoryWindowTest::openReprintAndExport_useTheRecordsFiles_andSayWhatFailed() {
    // The tests were kept by a PC that saw the archive at otherRoot; this PC
    // has some of the files in its own archive folder.
    QTemporaryDir otherRoot;
    Bench bench;
    QVERIFY(bench.Open(60, otherRoot.path()));
    HistoryWindow& w = *bench.window;
    const auto put = [](const QString& root, const QString& file) {
        QDir(root).mkpath(QFileInfo(file).path());
        QFile pdf(QDir(root).filePath(file));
        return pdf.open(QIODevice::WriteOnly) && pdf.write("%PDF-1.4\n") > 0;
    };
    const std::optional<TestRecord> here = w.Model()->Record(0);
    const std::optional<TestRecord> there = w.Model()->Record(1);
    const std::optional<TestRecord> nowhere = w.Model()->Record(2);
    QVERIFY(here && there && nowhere);
    QVERIFY(put(bench.archive.path(), here->pdfFile));
    QVERIFY(put(otherRoot.path(), here->pdfFile));
    QVERIFY(put(otherRoot.path(), there->pdfFile));

    // Opening: this PC's copy first, then the keeping PC's folder.
    bench.Select(0);
    bench.Find<QPushButton>("openButton")->click();
    auto* table = bench.Find<QTableView>("historyTable");
    const QPoint second = table->visualRect(w.Model()->index(1, 2)).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(bench.opened,
             (QList<QUrl>{QUrl::fromLocalFile(QDir(bench.archive.path()).filePath(here->pdfFile)),
                          QUrl::fromLocalFile(QDir(otherRoot.path()).filePath(there->pdfFile))}));
    bench.Select(2);
    w.OpenPdf();
    QCOMPARE(bench.opened.size(), 2);
    QCOMPARE(bench.messages.size(), 1);
    QVERIFY2(bench.messages[0].contains(QFileInfo(nowhere->pdfFile).fileName()),
             qPrintable(bench.messages[0]));

    // Reprint: the kept PDF to lp, named after the test; lp's complaint is said.
    QTemporaryDir bin;
    const QString argsFile = bin.filePath(QStringLiteral("args"));
    {
        QFile lp(bin.filePath(QStringLiteral("lp")));
        QVERIFY(lp.open(QIODevice::WriteOnly));
        lp.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$FAKE_LP_ARGS\"\n"
                 "if [ -n \"$FAKE_LP_FAIL\" ]; then\n"
                 "  echo 'lp: The printer or class does not exist.' >&2; exit 1\nfi\n");
        lp.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
    qputenv("FAKE_LP_ARGS", QFile::encodeName(argsFile));
    const auto restore = qScopeGuard([&] {
        qputenv("PATH", path);
        qunsetenv("FAKE_LP_FAIL");
    });
    QSignalSpy printed(&w, &HistoryWindow::reprintFinished);
    bench.Select(0);
    bench.Find<QPushButton>("reprintButton")->click();
    QTRY_COMPARE(printed.size(), 1);
    QCOMPARE(printed[0][0].toString(), QString());
    QFile args(argsFile);
    QVERIFY(args.open(QIODevice::ReadOnly));
    const QStringList lpArgs = QString::fromUtf8(args.readAll()).split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lpArgs.size() >= 4, qPrintable(lpArgs.join(' ')));
    QCOMPARE(lpArgs.mid(lpArgs.size() - 2),
             (QStringList{"--", QDir(bench.archive.path()).filePath(here->pdfFile)}));
    QCOMPARE(lpArgs[lpArgs.indexOf("-t") + 1], RecordBaseName(*here));
    qputenv("FAKE_LP_FAIL", "1");
    w.Reprint();
    QTRY_COMPARE(printed.size(), 2);
    QVERIFY(
        printed[1][0].toString().contains(QStringLiteral("The printer or class does not exist")));
    QCOMPARE(bench.messages.size(), 2);
    QCOMPARE(bench.messages[1], printed[1][0].toString());
    bench.Select(2);
    w.Reprint(); // no PDF anywhere: said, and lp never runs
    QCOMPARE(bench.messages.size(), 3);
    QVERIFY(bench.messages[2].contains(QFileInfo(nowhere->pdfFile).fileName()));

    // Export of chosen rows: the archive log's columns and values.
    const auto exported = [&] {
        QFile file(bench.exportPath);
        if (!file.open(QIODevice::ReadOnly))
            return std::vector<QStringList>{};
        const QByteArray bytes = file.readAll();
        if (!bytes.startsWith("\xEF\xBB\xBF"))
            return std::vector<QStringList>{};
        return ParseCsv(QString::fromUtf8(bytes.mid(3)));
    };
    const std::string log = ArchiveCsvHeader(); // after its byte-order mark
    const QStringList header = ParseCsv(QString::fromStdString(log.substr(3))).front();
    table->selectionModel()->clearSelection();
    // One of them without a SOC.
    const int noSoc = RowOf(
        w, [](const TestRecord& t) { return !t.measure(Measure::Soc); }, 10);
    QVERIFY(noSoc > 9);
    const QList<int> chosen{4, 9, noSoc};
    for (int row : chosen)
        table->selectionModel()->select(w.Model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    bench.exportPath = bench.archive.filePath(QStringLiteral("chosen.csv"));
    bench.Find<QPushButton>("exportButton")->click();
    std::vector<QStringList> rows = exported();
    QCOMPARE(rows.size(), std::size_t(4));
    QCOMPARE(rows[0], header);
    for (int i = 0; i < 3; ++i) {
        const TestRecord t = *w.Model()->Record(chosen[i]);
        const QStringList& got = rows[std::size_t(i) + 1];
        QCOMPARE(got.size(), header.size());
        QCOMPARE(got.mid(0, 10), (QStringList{QFileInfo(t.txtFile).completeBaseName(), t.testedAt,
                                              t.model, t.store, t.registration, t.company,
                                              t.technician, t.testDate, t.result, t.batteryType}));
        // The measures as plain numbers that read back as the values, empty when none.
        static const QRegularExpression plain(QStringLiteral("^[0-9]+(\\.[0-9]+)?$"));
        for (std::size_t m = 0; m < MeasureCount; ++m) {
            const QString& field = got[10 + qsizetype(m)];
            const std::optional<double> value = t.measures[m];
            QVERIFY2(value ? plain.match(field).hasMatch() : field.isEmpty(), qPrintable(field));
            if (value)
                QVERIFY(qFuzzyCompare(field.toDouble(), *value));
        }
    }

    // Nothing chosen: every row the filter gives, in the table's order.
    bench.Find<QLineEdit>("searchBox")->setText(QStringLiteral("nordbat"));
    QTRY_COMPARE(w.Model()->Filter().text, QStringLiteral("nordbat"));
    table->selectionModel()->clearSelection();
    bench.exportPath = bench.archive.filePath(QStringLiteral("all.csv"));
    w.Export();
    rows = exported();
    QStringList names;
    for (std::size_t i = 1; i < rows.size(); ++i)
        names << rows[i][0];
    QStringList expectedNames;
    for (const QString& key : Expected(bench.tests, [](const TestRecord& t) {
             return Mentions(t, QStringLiteral("nordbat"));
         }))
        expectedNames << RecordBaseName(ByKey(bench.tests, key));
    QVERIFY(!expectedNames.isEmpty());
    QCOMPARE(names, expectedNames);

    // A file that cannot be written is said, naming it.
    bench.exportPath = bench.archive.filePath(QStringLiteral("no such folder/x.csv"));
    w.Export();
    QCOMPARE(bench.messages.size(), 4);
    QVERIFY2(bench.messages[3].contains(QStringLiteral("no such folder")),
             qPrintable(bench.messages[3]));
}

void HistoryWindowTest::unreachableServer_showsThisPcsTests_databaseErrorsAreSaid() {
    QTemporaryDir archive;
    const std::vector<TestRecord> tests = SampleTests(25, QStringLiteral("PC"), archive.path());
    HistoryDatabase::OpenLocal(archive.path())->UpsertAll(tests);

    // Nothing listens on port 1: the server is refused at once.
    HistorySource source = OpenHistory(
        archive.path(), QStringLiteral("host=127.0.0.1 port=1 dbname=quillar user=quillar"), 3);
    QVERIFY(source.database);
    QCOMPARE(source.database->kind(), HistoryDatabase::Kind::Local);
    QVERIFY2(
        source.notice.startsWith(QStringLiteral("The history server could not be reached: ")) &&
            source.notice.endsWith(QStringLiteral(". This PC's tests are shown.")) &&
            !source.notice.contains(QStringLiteral("reached: The history server")),
        qPrintable(source.notice));
    const QString notice = source.notice;
    HistoryWindow w(std::move(source), archive.path());
    w.show();
    auto* status = w.findChild<QLabel*>(QStringLiteral("statusLine"));
    QVERIFY(status && status->isVisible());
    QCOMPARE(status->text(), notice);
    QCOMPARE(ShownKeys(w), Expected(tests, [](const TestRecord&) { return true; }));

    // The index taken away under the window: said in the line, nothing thrown.
    const QString side = QStringLiteral("side-") + QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), side);
        db.setDatabaseName(LocalIndexPath(archive.path()));
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("ALTER TABLE tests RENAME TO gone")));
        w.Refresh();
        QCOMPARE(w.Model()->rowCount(), 0);
        QVERIFY(status->isVisible());
        QVERIFY2(status->text().contains(QStringLiteral("could not be")),
                 qPrintable(status->text()));
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("ALTER TABLE gone RENAME TO tests")));
        w.Refresh();
        QCOMPARE(status->text(), notice);
        QCOMPARE(w.Model()->rowCount(), int(tests.size()));
    }
    QSqlDatabase::removeDatabase(side);

    // No server configured and no archive folder: nothing to show, and why.
    HistorySource none = OpenHistory({}, {});
    QVERIFY(!none.database);
    HistoryWindow empty(std::move(none), {});
    empty.show();
    auto* emptyStatus = empty.findChild<QLabel*>(QStringLiteral("statusLine"));
    QVERIFY(emptyStatus->isVisible() && emptyStatus->text().contains(QStringLiteral("archive")));
    QCOMPARE(empty.Model()->rowCount(), 0);
    QVERIFY(!empty.findChild<QLineEdit*>(QStringLiteral("searchBox"))->isEnabled());
}

void HistoryWindowTest::server_listsAndFiltersTheTestsOfTwoPcs() {
    const QByteArray serverDir = qgetenv("QUILLAR_TEST_POSTGRES");
    if (serverDir.isEmpty())
        QSKIP("No PostgreSQL test server: QUILLAR_TEST_POSTGRES names none (ctest starts one)");
    QFile addressFile(QFile::decodeName(serverDir) + QStringLiteral("/address"));
    QVERIFY2(addressFile.open(QIODevice::ReadOnly), "the server's folder has no address file");
    const QString address = QString::fromUtf8(addressFile.readAll()).trimmed();

    // Tests of two PCs, tagged so that this run's rows are told from others'.
    const QString tag = QStringLiteral(" T") + QUuid::createUuid().toString(QUuid::Id128).left(10);
    QTemporaryDir a;
    QTemporaryDir b;
    std::vector<TestRecord> tests = SampleTests(70, QStringLiteral("PC-A"), a.path(), tag);
    const std::vector<TestRecord> fromB = SampleTests(50, QStringLiteral("PC-B"), b.path(), tag);
    tests.insert(tests.end(), fromB.begin(), fromB.end());
    {
        auto server = HistoryDatabase::OpenServer(address);
        for (const TestRecord& t : tests)
            server->Upsert(t);
    }
    HistorySource source = OpenHistory(a.path(), address);
    QVERIFY2(source.database, qPrintable(source.notice));
    QCOMPARE(source.database->kind(), HistoryDatabase::Kind::Server);
    QCOMPARE(source.notice, QString());
    HistoryWindow w(std::move(source), a.path());
    w.show();
    const auto cleanup = qScopeGuard([&] {
        for (const TestRecord& t : tests)
            w.Database()->Remove(t.key);
    });

    auto* search = w.findChild<QLineEdit*>(QStringLiteral("searchBox"));
    QTest::keyClicks(search, tag.trimmed().toLower());
    QTRY_COMPARE(ShownKeys(w), Expected(tests, [](const TestRecord&) { return true; }));
    QStringList pcs;
    for (int row = 0; row < w.Model()->rowCount(); ++row)
        pcs << w.Model()->data(w.Model()->index(row, HistoryTableModel::PcColumn)).toString();
    pcs.removeDuplicates();
    pcs.sort();
    QCOMPARE(pcs, (QStringList{"PC-A", "PC-B"}));

    auto* results = w.findChild<QComboBox*>(QStringLiteral("resultFilter"));
    results->setCurrentText(QStringLiteral("Good - recharge"));
    QCOMPARE(ShownKeys(w),
             Expected(tests, [](const TestRecord& t) { return t.result == "Good - recharge"; }));
    results->setCurrentIndex(0);
    search->clear();
    QTest::keyClicks(search, QStringLiteral("BUS DEPOT NORTH") + tag);
    QTRY_COMPARE(ShownKeys(w), Expected(tests, [&](const TestRecord& t) {
                     return t.company == QStringLiteral("Bus Depot North") + tag;
                 }));

    // A test kept on a third PC the way Quillar keeps it (archive writer,
    // local index, upload) is found here by its registration.
    QTemporaryDir c;
    const QString pcC = QStringLiteral("C") + Unique();
    {
        HistoryUploader upload(c.path(), address);
        WriteTests(c.path(), pcC, 3, &upload);
        QVERIFY(upload.WaitSent());
    }
    const auto cleanupC = qScopeGuard([&] {
        for (int i = 0; i < 3; ++i)
            w.Database()->Remove(pcC + QString::number(i));
    });
    search->clear();
    QTest::keyClicks(search, pcC.toLower() + QStringLiteral("-car1"));
    QTRY_COMPARE(w.Model()->rowCount(), 1);
    QCOMPARE(w.Model()->Record(0)->registration, pcC + QStringLiteral("-CAR1"));
    QCOMPARE(w.Model()->Record(0)->pcName, pcC);
    QCOMPARE(w.Model()->Record(0)->txtFile.endsWith(QStringLiteral(" KD520 ") + pcC +
                                                    QStringLiteral("-CAR1.txt")),
             true);
}

} // namespace quillar

QTEST_MAIN(quillar::HistoryWindowTest)
#include "history_window_test.moc"
