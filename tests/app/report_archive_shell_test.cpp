// The report archive seen from the window: which commands keep a test, what
// the kept files hold, a folder that cannot be written, and closing.

#include "shell_test_support.h"

#include "history/history_database.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <csignal>
#include <sys/types.h>

#include <memory>

namespace quillar::test {

namespace {

// A KD520 printout as the tester sends it, in two reads.
const std::string kFirstHalf = "Battery Test\r\nHealthy: 100% 505CCA\r\nCharge: 90% 12.54V\r\n"
                               "Internal R= 5.92m\xea\r\nRated: 480 A\r\n";
const std::string kSecondHalf = "Select Input: GB\r\nGOOD BATTERY\r\n\r\nCranking Test\r\n";

const QString kBase = QStringLiteral("2026-12-08 0956 KD520 WX 12_345");

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The text layer of a PDF, through pdftotext.
QString PdfText(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    if (!process.waitForFinished(kWaitMs) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The log as Python's csv module reads it: one line per record, fields
// joined by '|'.
QStringList CsvRecords(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("python3"),
                  {QStringLiteral("-c"),
                   QStringLiteral("import csv, sys\n"
                                  "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
                                  "    for row in csv.reader(f):\n"
                                  "        print('|'.join(row))\n"),
                   path});
    if (!process.waitForFinished(kWaitMs) || process.exitCode() != 0)
        return {QStringLiteral("python3 failed: ") +
                QString::fromUtf8(process.readAllStandardError())};
    return QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

bool TypeInto(TForm1& form, const QString& id, const QString& text) {
    return RunScript(form.ReportView()->View()->page(),
                     QStringLiteral("(function(){var e=document.getElementById('%1');"
                                    "if(!e)return false;e.value='%2';return true;})()")
                         .arg(id, text))
        .toBool();
}

// Waits until the archive has reported count writes in all.
bool WaitForWrites(QSignalSpy& written, int count) {
    while (written.count() < count)
        if (!written.wait(kWaitMs))
            return false;
    return true;
}

// A KD520 window keeping its tests in archive, connected, with a printout shown.
bool OpenWithKd520Test(ShellBench& bench, const QString& archive) {
    bench.WriteIni("[Config]\r\nModel=KD520\r\nArchiveFolder=" + archive.toStdString() + "\r\n");
    if (!bench.Open())
        return false;
    bench.ports = "COM1";
    bench.form->PollTick();
    return Deliver(bench, kFirstHalf + kSecondHalf);
}

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

} // namespace

class ReportArchiveShellTest : public QObject {
    Q_OBJECT
private slots:
    void printThenClear_keepOneRecord_rawBytesTypedValuesPdfAndLog();
    void nothingKept_forAnEmptyReportOrAnUnknownModel_orWhenTurnedOff();
    void unwritableFolder_everyFailureSaid_testsWaitAndAreKeptLater();
    void closingTheWindow_keepsTheLastTest();
    void kd318Form_registrationFromItsThirdBox();
    void quickClears_eachTestKeptWithItsOwnPageAndValues();
    void lostRenderProcess_typedValuesComeBack_andAreKept();
};

void ReportArchiveShellTest::printThenClear_keepOneRecord_rawBytesTypedValuesPdfAndLog() {
    ShellBench bench;
    const QString archive = bench.dir.filePath(QStringLiteral("archive"));
    bench.WriteIni("[Config]\r\nModel=KD520\r\nArchiveFolder=" + archive.toStdString() + "\r\n");
    const QString printed = bench.dir.filePath(QStringLiteral("printed.pdf"));
    TReportBrowser::SetPrintDialogHook([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printed);
        return true;
    });
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    QSignalSpy written(form.Archive(), &TTestArchive::written);
    bench.ports = "COM1";
    form.PollTick();
    QVERIFY(Deliver(bench, kFirstHalf));
    QVERIFY(Deliver(bench, kSecondHalf));
    QVERIFY(TypeInto(form, QStringLiteral("vehicle"), QStringLiteral("WX 12/345")));
    QVERIFY(TypeInto(form, QStringLiteral("store"), QStringLiteral("Garage \"North\", Leeds")));

    form.ToolButton2->click();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(printed), kWaitMs); // printing reports back later
    QVERIFY(WaitForWrites(written, 1));
    const QString month = archive + QStringLiteral("/2026-12");
    QCOMPARE(written.at(0).at(0).toString(), month);
    QCOMPARE(written.at(0).at(1).toString(), kBase);
    QCOMPARE(FilesIn(month), (QStringList{kBase + ".pdf", kBase + ".txt"}));

    // More typing after printing, then Clear: the same record, rewritten.
    QVERIFY(TypeInto(form, QStringLiteral("store"), QStringLiteral("Garage South")));
    QVERIFY(WaitForPage(form, [&] { form.ToolButton4->click(); }));
    QVERIFY(WaitForWrites(written, 2));
    QCOMPARE(written.at(1).at(1).toString(), kBase);
    QCOMPARE(FilesIn(month), (QStringList{kBase + ".pdf", kBase + ".txt"}));
    QStringList archiveFiles = FilesIn(archive);
    // The index's own files beside it come and go with its connections.
    archiveFiles.removeIf([](const QString& name) {
        return name == QLatin1String("history.sqlite-wal") ||
               name == QLatin1String("history.sqlite-shm");
    });
    QCOMPARE(archiveFiles,
             (QStringList{".tests.csv.lock", "2026-12", "history.sqlite", "tests.csv"}));

    QCOMPARE(ReadBytes(month + "/" + kBase + ".txt"),
             QByteArray::fromStdString(kFirstHalf + kSecondHalf));
    const QString pdf = PdfText(month + "/" + kBase + ".pdf");
    QVERIFY2(pdf.contains(QStringLiteral("WX 12/345")), qPrintable(pdf));
    QVERIFY2(pdf.contains(QStringLiteral("505CCA")), qPrintable(pdf));

    const QStringList records = CsvRecords(archive + QStringLiteral("/tests.csv"));
    QCOMPARE(records.size(), 2);
    QVERIFY2(records[0].startsWith(QStringLiteral("File|Date and time|Model|Store name|")),
             qPrintable(records[0]));
    // The page's values as a person reads them, the measurements as numbers.
    QCOMPARE(records[1].split('|'), (QStringList{kBase,       "2026-12-08 09:56",
                                                 "KD520",     "Garage South",
                                                 "WX 12/345", "",
                                                 "",          "",
                                                 "GOOD",      "GB",
                                                 "480",       "505",
                                                 "12.54",     "5.92",
                                                 "90",        "100",
                                                 "",          "",
                                                 "",          "",
                                                 ""}));

    // The next test begins with empty boxes and becomes a record of its own.
    QVERIFY(Deliver(bench, kFirstHalf));
    QVERIFY(WaitForPage(form, [&] { form.ToolButton4->click(); }));
    QVERIFY(WaitForWrites(written, 3));
    QCOMPARE(written.at(2).at(1).toString(), QStringLiteral("2026-12-08 0956 KD520"));
    QCOMPARE(CsvRecords(archive + QStringLiteral("/tests.csv")).size(), 3);
    QVERIFY(bench.messages.empty());
    TReportBrowser::SetPrintDialogHook({});

    // The test history has each test once, the rewritten one as last kept.
    const auto history = HistoryDatabase::OpenLocal(archive);
    QCOMPARE(history->Count({}), 2);
    HistoryFilter vehicle;
    vehicle.registration = QStringLiteral("WX 12/345");
    const std::vector<TestRecord> kept = history->Page(vehicle, 0, 10);
    QCOMPARE(kept.size(), std::size_t(1));
    QCOMPARE(kept[0].store, QStringLiteral("Garage South"));
    QCOMPARE(kept[0].measure(Measure::MeasuredCca), 505.0);
    QCOMPARE(kept[0].txtFile, QStringLiteral("2026-12/") + kBase + QStringLiteral(".txt"));
    QCOMPARE(kept[0].pdfFile, QStringLiteral("2026-12/") + kBase + QStringLiteral(".pdf"));
    QCOMPARE(kept[0].archiveRoot, archive);
    QVERIFY(!kept[0].key.isEmpty() && !kept[0].pcName.isEmpty());
}

void ReportArchiveShellTest::nothingKept_forAnEmptyReportOrAnUnknownModel_orWhenTurnedOff() {
    // No key: the documents folder; Clear with nothing received keeps nothing,
    // nor does a report of line breaks alone.
    {
        ShellBench bench;
        bench.documentsDir = bench.dir.filePath(QStringLiteral("Documents")).toStdString();
        bench.WriteIni("[Config]\r\nModel=QM\r\n");
        QVERIFY(bench.Open());
        TForm1& form = *bench.form;
        QCOMPARE(Q(form.Archive()->Root()), Q(bench.documentsDir) + "/Quillar reports");
        QSignalSpy written(form.Archive(), &TTestArchive::written);
        QVERIFY(WaitForPage(form, [&] { form.ToolButton4->click(); }));
        bench.ports = "COM1";
        form.PollTick();
        QVERIFY(Deliver(bench, "\r\n\r\n"));
        QVERIFY(WaitForPage(form, [&] { form.ToolButton4->click(); }));
        form.Archive()->WaitWritten();
        QVERIFY(!QFile::exists(Q(bench.documentsDir)));
        // A real test after them is kept there.
        QVERIFY(Deliver(bench, "VOLTS 12.6V\r\n"));
        QVERIFY(WaitForPage(form, [&] { form.ToolButton4->click(); }));
        QVERIFY(WaitForWrites(written, 1));
        QCOMPARE(FilesIn(Q(bench.documentsDir) + "/Quillar reports/2026-12"),
                 (QStringList{"2026-12-08 0956 QM.pdf", "2026-12-08 0956 QM.txt"}));
    }
    // A model without a report page, and an empty key: nothing anywhere.
    for (const std::string& ini : {std::string("Model=KD999\r\nArchiveFolder=%1\r\n"),
                                   std::string("Model=QM\r\nArchiveFolder=\r\n")}) {
        ShellBench bench;
        bench.documentsDir = bench.dir.filePath(QStringLiteral("Documents")).toStdString();
        const QString archive = bench.dir.filePath(QStringLiteral("archive"));
        bench.WriteIni("[Config]\r\n" + Q(ini).arg(archive).toStdString());
        QVERIFY(bench.Open());
        TForm1& form = *bench.form;
        bench.ports = "COM1";
        form.PollTick();
        bench.links.incoming.push_back({"VOLTS 12.6V\r\n"});
        form.PollTick();
        QVERIFY(bench.links.incoming.empty()); // read, and for QM shown
        form.ToolButton4->click();
        form.Archive()->WaitWritten();
        bench.form.reset(); // closing keeps nothing either
        QVERIFY(!QFile::exists(archive));
        QVERIFY(!QFile::exists(Q(bench.documentsDir)));
    }
}

void ReportArchiveShellTest::unwritableFolder_everyFailureSaid_testsWaitAndAreKeptLater() {
    ShellBench bench;
    // A file where the archive's folder should be: no one, root included, can
    // make the folder.
    const QString blocker = bench.dir.filePath(QStringLiteral("blocker"));
    const QString archive = blocker + QStringLiteral("/reports");
    const QString month = archive + QStringLiteral("/2026-12/");
    const QString unkept = bench.dir.filePath(QStringLiteral("state/unkept"));
    QFile(blocker).open(QIODevice::WriteOnly);
    bench.WriteIni("[Config]\r\nModel=QM\r\nArchiveFolder=" + archive.toStdString() + "\r\n");
    QVERIFY(bench.Open());
    QSignalSpy written(bench.form->Archive(), &TTestArchive::written);
    bench.ports = "COM1";
    bench.form->PollTick();
    auto oneTest = [&](const std::string& bytes) {
        return Deliver(bench, bytes) &&
               WaitForPage(*bench.form, [&] { bench.form->ToolButton4->click(); });
    };
    auto keptTexts = [&] {
        QStringList texts;
        for (const QString& name : FilesIn(month))
            if (name.endsWith(QStringLiteral(".txt")))
                texts << QString::fromLatin1(ReadBytes(month + name));
        return texts;
    };

    // Every failure is said, with the test, the place and the reason; the
    // window goes on and the tests wait, also on disk.
    QVERIFY(oneTest("VOLTS 12.6V\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.messages.size(), std::size_t{1}, kWaitMs);
    QCOMPARE(bench.messages[0].kind, MessageKind::Confirm);
    for (const QString& part : {blocker, QStringLiteral("Not a directory"),
                                QStringLiteral("2026-12-08 0956 QM"), QStringLiteral("next start")})
        QVERIFY2(bench.messages[0].text.contains(part), qPrintable(bench.messages[0].text));
    QVERIFY(oneTest("VOLTS 12.5V\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.messages.size(), std::size_t{2}, kWaitMs);
    QCOMPARE(FilesIn(unkept).size(), 2);

    // Once the folder can be made, the next test is kept and the waiting ones with it.
    QFile::remove(blocker);
    QVERIFY(oneTest("VOLTS 12.4V\r\n"));
    QVERIFY(WaitForWrites(written, 3));
    QStringList kept = keptTexts();
    kept.sort();
    QCOMPARE(kept, (QStringList{"VOLTS 12.4V\r\n", "VOLTS 12.5V\r\n", "VOLTS 12.6V\r\n"}));
    QTRY_VERIFY_WITH_TIMEOUT(FilesIn(unkept).isEmpty(), kWaitMs);

    // A test that cannot be kept before the window closes waits for the next start.
    QDir(bench.dir.path()).rename(QStringLiteral("blocker"), QStringLiteral("moved"));
    QFile(blocker).open(QIODevice::WriteOnly);
    QVERIFY(oneTest("VOLTS 12.3V\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.messages.size(), std::size_t{3}, kWaitMs);
    bench.form.reset();
    QCOMPARE(FilesIn(unkept).size(), 1);
    QFile::remove(blocker);
    QVERIFY(bench.Open());
    // (kept while the window opens: seen in the folder)
    QTRY_VERIFY_WITH_TIMEOUT(keptTexts().contains(QStringLiteral("VOLTS 12.3V\r\n")), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(FilesIn(unkept).isEmpty(), kWaitMs);
}

void ReportArchiveShellTest::closingTheWindow_keepsTheLastTest() {
    ShellBench bench;
    const QString archive = bench.dir.filePath(QStringLiteral("archive"));
    // In Japanese: the log finds the translated labels through the window's
    // language and table.
    bench.WriteIni(
        "[Config]\r\nModel=KD520\r\nLanguage=2\r\nArchiveFolder=" + archive.toStdString() + "\r\n");
    QVERIFY(bench.Open());
    bench.ports = "COM1";
    bench.form->PollTick();
    QVERIFY(Deliver(bench, kFirstHalf + kSecondHalf));
    QVERIFY(TypeInto(*bench.form, QStringLiteral("vehicle"), QStringLiteral("WX 12/345")));
    // Bytes still arriving at close are part of the test, shown or not.
    bench.links.incoming.push_back({"Ripple 10mV\r\n"});
    bench.form->PollTick();
    bench.form.reset();

    const QString month = archive + QStringLiteral("/2026-12/");
    QCOMPARE(ReadBytes(month + kBase + ".txt"),
             QByteArray::fromStdString(kFirstHalf + kSecondHalf + "Ripple 10mV\r\n"));
    QVERIFY(PdfText(month + kBase + ".pdf").contains(QStringLiteral("WX 12/345")));
    const QStringList records = CsvRecords(archive + QStringLiteral("/tests.csv"));
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[1].split('|').mid(9),
             (QStringList{"GB", "480", "505", "12.54", "5.92", "90", "100", "", "", "", "", "10"}));
    QVERIFY(bench.messages.empty());
}

void ReportArchiveShellTest::kd318Form_registrationFromItsThirdBox() {
    ShellBench bench;
    const QString archive = bench.dir.filePath(QStringLiteral("archive"));
    bench.WriteIni("[Config]\r\nModel=KD318\r\nArchiveFolder=" + archive.toStdString() + "\r\n");
    // With the workshop's logo the KD318 report is a form with four boxes.
    QFile(Q(bench.exeDir) + "logo.bmp").open(QIODevice::WriteOnly);
    QVERIFY(bench.Open());
    TForm1& form = *bench.form;
    QSignalSpy written(form.Archive(), &TTestArchive::written);
    bench.ports = "COM1";
    form.PollTick();
    QVERIFY(Deliver(bench, "VOLTS 12.6V\r\n"));
    QVERIFY(TypeInto(form, QStringLiteral("a"), QStringLiteral("Auto Kraków")));
    QVERIFY(TypeInto(form, QStringLiteral("b"), QStringLiteral("Jan")));
    QVERIFY(TypeInto(form, QStringLiteral("c"), QStringLiteral("KR 4711")));
    QVERIFY(WaitForPage(form, [&] { form.ToolButton4->click(); }));
    QVERIFY(WaitForWrites(written, 1));
    QCOMPARE(written.at(0).at(1).toString(), QStringLiteral("2026-12-08 0956 KD318 KR 4711"));
    const QStringList records = CsvRecords(archive + QStringLiteral("/tests.csv"));
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[1].split('|').mid(2, 5),
             (QStringList{"KD318", "", "KR 4711", "Auto Kraków", "Jan"}));
}

// Clear, the next battery's printout and Clear again within a tick or two,
// while the first test is still being put on paper: two records, each with
// its own page, values and name; the window shows the empty page at once.
void ReportArchiveShellTest::quickClears_eachTestKeptWithItsOwnPageAndValues() {
    ShellBench bench;
    const QString archive = bench.dir.filePath(QStringLiteral("archive"));
    QVERIFY(OpenWithKd520Test(bench, archive));
    TForm1& form = *bench.form;
    QSignalSpy written(form.Archive(), &TTestArchive::written);
    QVERIFY(TypeInto(form, QStringLiteral("vehicle"), QStringLiteral("AA 111")));

    form.ToolButton4->click();
    bench.links.incoming.push_back({"Battery Test\r\nHealthy: 45% 216CCA\r\n"
                                    "REPLACE  BATTERY\r\n"});
    form.PollTick();
    form.ToolButton4->click();
    QVERIFY(WaitForWrites(written, 2));
    const QString month = archive + QStringLiteral("/2026-12/");
    const QString first = QStringLiteral("2026-12-08 0956 KD520 AA 111");
    const QString second = QStringLiteral("2026-12-08 0956 KD520");
    QCOMPARE(written.at(0).at(1).toString(), first);
    QCOMPARE(written.at(1).at(1).toString(), second);
    const QString firstPdf = PdfText(month + first + ".pdf");
    const QString secondPdf = PdfText(month + second + ".pdf");
    QVERIFY2(firstPdf.contains(QStringLiteral("505CCA")) && firstPdf.contains("AA 111"),
             qPrintable(firstPdf));
    QVERIFY2(secondPdf.contains(QStringLiteral("216CCA")) && !secondPdf.contains("505CCA") &&
                 !secondPdf.contains("AA 111"),
             qPrintable(secondPdf));
    QCOMPARE(ReadBytes(month + first + ".txt"),
             QByteArray::fromStdString(kFirstHalf + kSecondHalf));
    QVERIFY(bench.messages.empty());
}

// The engine's render process is killed after typing: the page comes back
// with what was typed, and the test is kept with it.
void ReportArchiveShellTest::lostRenderProcess_typedValuesComeBack_andAreKept() {
    ShellBench bench;
    const QString archive = bench.dir.filePath(QStringLiteral("archive"));
    QVERIFY(OpenWithKd520Test(bench, archive));
    TForm1& form = *bench.form;
    QSignalSpy written(form.Archive(), &TTestArchive::written);
    QVERIFY(TypeInto(form, QStringLiteral("vehicle"), QStringLiteral("WX 9")));
    QWebEnginePage* page = form.ReportView()->View()->page();
    // The view copies typed values out now and then; give it that while.
    QTest::qWait(2500);
    const qint64 pid = page->renderProcessPid();
    QVERIFY(pid > 0);
    QVERIFY(WaitForPage(form, [&] { ::kill(pid_t(pid), SIGKILL); }));
    QTRY_COMPARE_WITH_TIMEOUT(
        RunScript(page, QStringLiteral("document.getElementById('vehicle').value")).toString(),
        QStringLiteral("WX 9"), kWaitMs);
    QVERIFY(page->renderProcessPid() != pid);
    QVERIFY(WaitForPage(form, [&] { form.ToolButton4->click(); }));
    QVERIFY(WaitForWrites(written, 1));
    QCOMPARE(written.at(0).at(1).toString(), QStringLiteral("2026-12-08 0956 KD520 WX 9"));
}

std::unique_ptr<QObject> MakeReportArchiveShellTest() {
    return std::make_unique<ReportArchiveShellTest>();
}

} // namespace quillar::test

#include "report_archive_shell_test.moc"
