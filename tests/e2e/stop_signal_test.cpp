// The program itself, ended by a signal as a logout or kill ends it: it goes
// as closing its window goes.

#include "e2e_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

#include <sys/inotify.h>
#include <unistd.h>

namespace quillar::e2e {

namespace {

// Counts the reads that return bytes from a device, whoever makes them.
class DeviceReads {
public:
    explicit DeviceReads(const QString& device) {
        watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        valid_ = watch_ >= 0 &&
                 inotify_add_watch(watch_, QFile::encodeName(device).constData(), IN_ACCESS) >= 0;
    }
    ~DeviceReads() {
        if (watch_ >= 0)
            close(watch_);
    }
    DeviceReads(const DeviceReads&) = delete;
    DeviceReads& operator=(const DeviceReads&) = delete;

    bool IsValid() const { return valid_; }
    int Count() {
        alignas(inotify_event) char events[4096];
        for (ssize_t n; (n = read(watch_, events, sizeof events)) > 0;)
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                count_ += (event->mask & IN_ACCESS) != 0 ? 1 : 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        return count_;
    }

private:
    int watch_ = -1;
    int count_ = 0;
    bool valid_ = false;
};

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class StopSignalTest : public QObject {
    Q_OBJECT
private slots:
    void sigterm_keepsTheTestOnScreen_andLeavesNoTemporaryFolder();
};

void StopSignalTest::sigterm_keepsTheTestOnScreen_andLeavesNoTemporaryFolder() {
    // A portable copy: the program, its configuration beside it, its own
    // archive and temporary folder.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("quillar"));
    QVERIFY(link(QUILLAR_PATH, QFile::encodeName(program).constData()) == 0 ||
            QFile::copy(QStringLiteral(QUILLAR_PATH), program));
    const QString archive = dir.filePath(QStringLiteral("archive"));
    QFile ini(dir.filePath(QStringLiteral("quillar.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Config]\r\nModel=QM\r\nArchiveFolder=" + QFile::encodeName(archive) + "\r\n");
    ini.close();
    const QString temporary = dir.filePath(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(temporary));
    const QString tty = dir.filePath(QStringLiteral("ttyTester"));

    TesterProcess tester({QStringLiteral("--model"), QStringLiteral("QM"), QStringLiteral("--link"),
                          tty, QStringLiteral("--wait-open"), QStringLiteral("--delay"),
                          QStringLiteral("0.3"), QStringLiteral("--pace"), QStringLiteral("0")});
    QVERIFY2(tester.Start(), qPrintable(tester.Log()));
    DeviceReads reads(QFileInfo(tty).symLinkTarget());
    QVERIFY(reads.IsValid());

    QProcess quillar;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUILLAR_EXTRA_PORTS"), tty);
    environment.insert(QStringLiteral("TMPDIR"), temporary);
    quillar.setProcessEnvironment(environment);
    quillar.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    quillar.start(program, {});
    QVERIFY(quillar.waitForStarted(kWaitMs));

    // The printout sent and read: the report is on screen when the signal comes.
    QVERIFY2(tester.WaitForEvent(QStringLiteral("sent")), qPrintable(tester.Log()));
    QVERIFY(QTest::qWaitFor([&] { return reads.Count() > 0; }, kWaitMs));
    QVERIFY(!QDir(temporary).entryList({QStringLiteral("Quillar-*")}, QDir::Dirs).isEmpty());
    QCOMPARE(kill(static_cast<pid_t>(quillar.processId()), SIGTERM), 0);

    // Ended as a closed window ends: normally, with the test kept.
    QVERIFY(quillar.waitForFinished(2 * kWaitMs));
    QCOMPARE(quillar.exitStatus(), QProcess::NormalExit);
    QCOMPARE(quillar.exitCode(), 0);
    QStringList texts, pdfs;
    for (const QString& month : QDir(archive).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDir folder(archive + "/" + month);
        for (const QString& name : folder.entryList({QStringLiteral("*.txt")}, QDir::Files))
            texts << folder.filePath(name);
        for (const QString& name : folder.entryList({QStringLiteral("*.pdf")}, QDir::Files))
            pdfs << folder.filePath(name);
    }
    QCOMPARE(texts.size(), 1);
    QCOMPARE(pdfs.size(), 1);
    QCOMPARE(ReadBytes(texts[0]), ReadBytes(QStringLiteral(QUILLAR_SAMPLES_DIR "/qm.txt")));
    const QString page = Output(QStringLiteral("pdftotext"), {pdfs[0], QStringLiteral("-")});
    QVERIFY2(page.contains(QStringLiteral("CHARGING")), qPrintable(page));
    // Nothing left behind in the temporary folder.
    QCOMPARE(QDir(temporary).entryList({QStringLiteral("Quillar-*")},
                                       QDir::AllEntries | QDir::Hidden | QDir::System),
             QStringList());
}

std::unique_ptr<QObject> MakeStopSignalTest() {
    return std::make_unique<StopSignalTest>();
}

} // namespace quillar::e2e

#include "stop_signal_test.moc"
