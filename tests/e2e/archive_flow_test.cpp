// A workshop's day in short: quillar-tester sends one printout after another,
// the user clears the window between them, and the report archive in the
// documents folder ends with one record per test.

#include "e2e_support.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <utility>

namespace quillar::e2e {

namespace {

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class ArchiveFlowTest : public QObject {
    Q_OBJECT
private slots:
    void repeatedPrintoutsWithClear_oneRecordEach_inTheDocumentsFolder();
};

void ArchiveFlowTest::repeatedPrintoutsWithClear_oneRecordEach_inTheDocumentsFolder() {
    constexpr int kTests = 4;
    Workshop shop(QStringLiteral("KD520"));
    QVERIFY(shop.IsValid());
    TesterProcess tester({QStringLiteral("--model"), QStringLiteral("KD520"),
                          QStringLiteral("--link"), shop.LinkPath(), QStringLiteral("--wait-open"),
                          // after the window has set the line and emptied its input
                          QStringLiteral("--delay"), QStringLiteral("0.3"),
                          QStringLiteral("--pace"), QStringLiteral("0"), QStringLiteral("--repeat"),
                          QString::number(kTests), QStringLiteral("--interval"),
                          QStringLiteral("4")});
    QVERIFY2(tester.Start(), qPrintable(tester.Log()));
    TForm1& form = shop.OpenWindow();
    QVERIFY(form.Archive() != nullptr);
    const QString archive = QString::fromStdString(form.Archive()->Root());
    QVERIFY2(archive.endsWith(QStringLiteral("/Documents/Quillar reports")), qPrintable(archive));
    QSignalSpy written(form.Archive(), &TTestArchive::written);

    for (int i = 1; i <= kTests; ++i) {
        QVERIFY2(tester.WaitForEvent(QStringLiteral("sent"), i), qPrintable(tester.Log()));
        const QString body = WaitForBodyText(shop.Page(), [](const QString& text) {
            return text.contains(QStringLiteral("Ripple"));
        });
        QVERIFY2(body.contains(QStringLiteral("505CCA")), qPrintable(body));
        QVERIFY2(tester.CountEvents(QStringLiteral("sent")) == i,
                 "the next printout came before Clear; the machine is too slow");
        if (i == 2)
            QVERIFY(RunScript(shop.Page(), QStringLiteral("document.getElementById('vehicle')"
                                                          ".value = 'WX 777'; true"))
                        .toBool());
        form.ToolButton4->click();
        QTRY_VERIFY_WITH_TIMEOUT(form.ReceivedText().empty(), kWaitMs);
        // The empty page is on screen before the next printout is looked for:
        // the one just cleared must not pass for it.
        QTRY_VERIFY_WITH_TIMEOUT(!BodyText(shop.Page()).contains(QStringLiteral("Ripple")),
                                 kWaitMs);
    }
    // Each Clear has its record written, the last one too.
    QTRY_COMPARE_WITH_TIMEOUT(written.count(), kTests, kWaitMs);

    // One month folder (two if the run crossed midnight at a month's end).
    const QStringList months = QDir(archive).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QVERIFY(!months.isEmpty());
    QStringList texts, pdfs;
    for (const QString& month : months) {
        const QDir folder(archive + "/" + month);
        for (const QString& name : folder.entryList({QStringLiteral("*.txt")}, QDir::Files))
            texts << folder.filePath(name);
        for (const QString& name : folder.entryList({QStringLiteral("*.pdf")}, QDir::Files))
            pdfs << folder.filePath(name);
    }
    QCOMPARE(texts.size(), kTests);
    QCOMPARE(pdfs.size(), kTests);
    const QByteArray sample = ReadBytes(QStringLiteral(QUILLAR_SAMPLES_DIR "/kd520.txt"));
    QVERIFY(!sample.isEmpty());
    for (const QString& text : texts)
        QCOMPARE(ReadBytes(text), sample);

    // The second test carries the registration in its name and on its page.
    const QStringList named = pdfs.filter(QStringLiteral(" KD520 WX 777"));
    QCOMPARE(named.size(), 1);
    const QString page = Output(QStringLiteral("pdftotext"), {named[0], QStringLiteral("-")});
    QVERIFY2(page.contains(QStringLiteral("WX 777")), qPrintable(page));
    QVERIFY2(page.contains(QStringLiteral("505CCA")), qPrintable(page));

    // A support call: the kept printout printed again without a window gives
    // the same page, less what was typed into it, dated with the test's time:
    // from the archive's name, else (a capture under another name) from the
    // file's last change; never the time of the reprint.
    QTemporaryDir out;
    QString kept = named[0];
    kept.replace(QStringLiteral(".pdf"), QStringLiteral(".txt"));
    const QString older = out.filePath(QStringLiteral("2025-03-04 0807 KD520 WX 777 (2).txt"));
    const QString capture = out.filePath(QStringLiteral("capture.txt"));
    QVERIFY(QFile::copy(kept, older) && QFile::copy(kept, capture));
    QFile touched(capture);
    QVERIFY(touched.open(QIODevice::ReadWrite) &&
            touched.setFileTime(QDateTime(QDate(2024, 7, 9), QTime(15, 42)),
                                QFileDevice::FileModificationTime));
    touched.close();
    QProcessEnvironment english = QProcessEnvironment::systemEnvironment();
    english.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8")); // English month names
    const std::pair<QString, QString> reprints[] = {{older, QStringLiteral("4 March 2025 08:07")},
                                                    {capture, QStringLiteral("9 July 2024 15:42")}};
    for (const auto& [file, date] : reprints) {
        const QString reprint = out.filePath(QStringLiteral("reprint.pdf"));
        QProcess tool;
        tool.setProcessEnvironment(english);
        tool.start(QStringLiteral(QUILLAR_REPRINT_PATH),
                   {QStringLiteral("--pdf"), reprint, QStringLiteral("--model"),
                    QStringLiteral("KD520"), file});
        QVERIFY(tool.waitForFinished(kWaitMs));
        QCOMPARE(tool.exitCode(), 0);
        const QString again = Output(QStringLiteral("pdftotext"), {reprint, QStringLiteral("-")});
        QVERIFY2(again.contains(QStringLiteral("505CCA")) && again.contains(QStringLiteral("GOOD")),
                 qPrintable(again));
        QVERIFY(!again.contains(QStringLiteral("WX 777")));
        QVERIFY2(again.contains(date), qPrintable(file + ": " + date + "\n" + again));
    }

    // The log, as Python's csv module reads it: a header and one row per test.
    const QString rows =
        Output(QStringLiteral("python3"),
               {QStringLiteral("-c"),
                QStringLiteral(
                    "import csv, sys\n"
                    "rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8-sig')))\n"
                    "print(len(rows)); print(rows[0][4]); print(sum(r[4] == 'WX 777' for r in "
                    "rows)); print(set(r[2] for r in rows[1:])); print(rows[0][13]);"
                    "print(set('|'.join(r[8:]) for r in rows[1:]))\n"),
                archive + QStringLiteral("/tests.csv")});
    // Every test the same printout: the same values, as numbers in their units.
    QCOMPARE(rows.split('\n', Qt::SkipEmptyParts),
             (QStringList{QString::number(kTests + 1), "Vehicle registration", "1", "{'KD520'}",
                          "Internal resistance (mΩ)",
                          "{'GOOD|GB|480|505|12.54|5.92|90|100|10.00|2000|13.70|14.70|10'}"}));
}

std::unique_ptr<QObject> MakeArchiveFlowTest() {
    return std::make_unique<ArchiveFlowTest>();
}

} // namespace quillar::e2e

#include "archive_flow_test.moc"
