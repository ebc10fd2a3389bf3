// The program itself, ended by a signal as a logout or kill ends it: it goes
// as closing its window goes.

#include "e2e_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdint>
#include <memory>

#include <sys/inotify.h>
#include <unistd.h>

namespace quillar::e2e {

namespace {

// What happens to a file or in a folder, as inotify tells it: reads that
// return bytes from a device, names made in a folder.
class Watch {
public:
    Watch(const QString& path, std::uint32_t mask) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        valid_ = fd_ >= 0 && inotify_add_watch(fd_, QFile::encodeName(path).constData(), mask) >= 0;
    }
    ~Watch() {
        if (fd_ >= 0)
            close(fd_);
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    bool IsValid() const { return valid_; }
    // Every event so far: a name for an event in a folder, else an empty one.
    const QStringList& Events() {
        alignas(inotify_event) char events[4096];
        for (ssize_t n; (n = read(fd_, events, sizeof events)) > 0;)
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                events_ << (event->len > 0 ? QFile::decodeName(event->name) : QString());
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        return events_;
    }

private:
    int fd_ = -1;
    bool valid_ = false;
    QStringList events_;
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
    Watch reads(QFileInfo(tty).symLinkTarget(), IN_ACCESS);
    Watch made(temporary, IN_CREATE);
    QVERIFY(reads.IsValid() && made.IsValid());

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
    QVERIFY(QTest::qWaitFor([&] { return !reads.Events().isEmpty(); }, kWaitMs));
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
    // The folder the PDF was made in was in the temporary folder, and is gone.
    QVERIFY2(!made.Events().filter(QRegularExpression(QStringLiteral("^Quillar-"))).isEmpty(),
             qPrintable(made.Events().join(QStringLiteral(", "))));
    QCOMPARE(QDir(temporary).entryList({QStringLiteral("Quillar-*")},
                                       QDir::AllEntries | QDir::Hidden | QDir::System),
             QStringList());
}

std::unique_ptr<QObject> MakeStopSignalTest() {
    return std::make_unique<StopSignalTest>();
}

} // namespace quillar::e2e

#include "stop_signal_test.moc"
