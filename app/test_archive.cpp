#include "app/test_archive.h"

#include "app/blank_text.h"
#include "app/config.h"
#include "app/file_system.h"
#include "app/typed_boxes.h"
#include "history/archive_history.h"
#include "history/history_upload.h"
#include "report/models.h"
#include "view/report_browser.h"

#include "app/shell_log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUuid>

#include <vector>

namespace quillar {

namespace {

std::string TimeText(const ArchiveTime& t) {
    return QStringLiteral("%1-%2-%3 %4:%5")
        .arg(t.year, 4, 10, QLatin1Char('0'))
        .arg(t.month, 2, 10, QLatin1Char('0'))
        .arg(t.day, 2, 10, QLatin1Char('0'))
        .arg(t.hour, 2, 10, QLatin1Char('0'))
        .arg(t.minute, 2, 10, QLatin1Char('0'))
        .toStdString();
}

// A test's key in the test history: unique across the workshop's PCs.
std::string NewRecordKey() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
}

// What a PDF may take in a scratch folder, with room to spare.
constexpr std::uintmax_t kPdfRoom = 64 << 20;

// The user's own folder for scratch folders, when the system's are missing or full.
std::string OwnScratchParent() {
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation).toStdString();
}

} // namespace

TTestArchive::TTestArchive(std::string root, std::function<ArchiveTime()> now,
                           std::string historyServer)
    : root_(std::move(root)), now_(now ? std::move(now) : ArchiveClockNow) {
    // What runs that were killed left in the temporary folders.
    for (const std::string& parent : SystemTemporaryFolders())
        RemoveStaleScratchFolders(parent);
    RemoveStaleScratchFolders(OwnScratchParent());
    if (!root_.empty() && !UsableArchiveFolder(root_)) {
        QString written = QString::fromStdString(root_);
        if (written.size() > 80)
            written = written.left(80) + QStringLiteral("…");
        const QString message =
            QStringLiteral("The report archive is off: ArchiveFolder=%1 names no folder that "
                           "Quillar can use. Write an absolute path, a path relative to the "
                           "configuration file's folder, or one that begins with ~ or $HOME, at "
                           "most %2 bytes long.")
                .arg(written, QString::number(MaxArchiveFolderLength));
        root_.clear(); // never a folder somewhere else
        QMetaObject::invokeMethod(
            this, [this, message] { emit failed(message); }, Qt::QueuedConnection);
    }
    if (!Enabled())
        return;
    const QString archiveRoot = QString::fromStdString(root_);
    if (!historyServer.empty()) {
        uploader_ = std::make_unique<HistoryUploader>(
            archiveRoot, QString::fromStdString(historyServer), [](const QString& problem) {
                // The records wait in the local index meanwhile: nothing is lost.
                if (problem.isEmpty())
                    qCInfo(lcArchive, "The history server answers again");
                else
                    qCWarning(lcArchive, "%s. The tests wait in this PC's index.",
                              qUtf8Printable(problem));
            });
    }
    HistoryUploader* uploader = uploader_.get();
    writer_ = std::make_unique<ArchiveWriter>(
        [this](const ArchiveResult& result) {
            // From the writer's thread to the window's; the writer ends before
            // this object does, so the object is there to receive it.
            QMetaObject::invokeMethod(
                this, [this, result] { Report(result); }, Qt::QueuedConnection);
        },
        root_,
        [archiveRoot, uploader]() -> std::unique_ptr<ArchiveIndex> {
            return std::make_unique<ArchiveHistory>(archiveRoot, QSysInfo::machineHostName(),
                                                    [uploader] {
                                                        if (uploader)
                                                            uploader->Wake();
                                                    });
        });
}

TTestArchive::~TTestArchive() {
    writer_.reset();
}

void TTestArchive::BytesArrived(std::string_view raw) {
    if (!Enabled() || raw.empty())
        return;
    if (recordId_ == 0) {
        recordId_ = ++lastRecordId_;
        recordKey_ = NewRecordKey();
        started_ = now_();
    }
    raw_.append(raw);
}

void TTestArchive::Forget() {
    recordId_ = 0;
    std::string().swap(raw_);
}

bool TTestArchive::Keep(TReportBrowser& view, const std::string& model,
                        const std::string& receivedText, const std::string& page,
                        std::int32_t language, const LineList& languageTable,
                        std::function<void()> taken) {
    // Line breaks alone make a body that is not blank, but no test.
    // A static row of the model table: it outlives the capture below.
    const ModelTraits* traits = TraitsOf(model);
    if (!Enabled() || recordId_ == 0 || IsBlankText(raw_) || IsBlankText(receivedText) ||
        traits == nullptr)
        return false;
    ArchiveJob job;
    job.recordId = recordId_;
    job.recordKey = recordKey_;
    job.root = root_;
    job.time = started_;
    job.rawBytes = raw_;
    const std::vector<std::string> pageValues =
        traits->logsMeasurements ? Kd520Values(receivedText, language, &languageTable)
                                 : std::vector<std::string>(Kd520ValueCount());
    const QString pdfPath = NextPdfPath();

    // The typed values of the page on screen now; the PDF is made from this
    // test's own page, whatever the view shows by then.
    QPointer<TTestArchive> self(this);
    QPointer<TReportBrowser> browser(&view);
    view.CapturePage(
        [self, browser, job = std::move(job), model, traits, pageValues, pdfPath, page,
         taken = std::move(taken)](const QString& typedJson, const QByteArray&) mutable {
            if (self == nullptr)
                return;
            const std::string registration = TypedBoxValue(typedJson, traits->registrationBox);
            job.baseName = ArchiveBaseName(job.time, model, registration);
            job.csv = {TimeText(job.time),
                       model,
                       TypedBoxValue(typedJson, traits->storeBox),
                       registration,
                       TypedBoxValue(typedJson, traits->companyBox),
                       TypedBoxValue(typedJson, traits->technicianBox),
                       TypedBoxValue(typedJson, traits->testDateBox)};
            job.csv.insert(job.csv.end(), pageValues.begin(), pageValues.end());
            auto submit = [self, job = std::move(job), pdfPath, taken](bool pdfOk) mutable {
                if (self == nullptr)
                    return;
                job.pdfPath = pdfOk ? pdfPath.toStdString() : std::string();
                self->Submit(std::move(job));
                if (!pdfOk)
                    emit self->failed(QStringLiteral("The page of the test could not be put on "
                                                     "paper: the test is kept without its PDF."));
                if (taken)
                    taken();
            };
            if (browser == nullptr || pdfPath.isEmpty()) {
                submit(false);
                return;
            }
            browser->RenderToPdf(page, typedJson, pdfPath, std::move(submit));
        });
    return true;
}

QString TTestArchive::NextPdfPath() {
    if (!pdfDir_ || !pdfDir_->HasRoom(kPdfRoom)) {
        // The first temporary folder with room, else the user's own.
        std::unique_ptr<ScratchFolder> next =
            ScratchFolder::Create(SystemTemporaryFolders(), OwnScratchParent(), kPdfRoom);
        if (next && (!pdfDir_ || next->HasRoom(kPdfRoom))) {
            if (pdfDir_)
                fullPdfDirs_.push_back(std::move(pdfDir_));
            pdfDir_ = std::move(next);
        }
    }
    if (!pdfDir_)
        return {};
    return QString::fromStdString(pdfDir_->Path()) +
           QStringLiteral("/%1-%2.pdf").arg(recordId_).arg(++pdfCount_);
}

ArchiveTime ArchiveClockNow() {
    const QDateTime now = QDateTime::currentDateTime();
    return {now.date().year(), now.date().month(), now.date().day(), now.time().hour(),
            now.time().minute()};
}

void TTestArchive::WaitWritten() {
    if (writer_)
        writer_->WaitIdle();
}

bool TTestArchive::WaitUploaded() {
    WaitWritten();
    return uploader_ && uploader_->WaitSent();
}

void TTestArchive::Submit(ArchiveJob job) {
    // The writer removes the job's PDF once the test is kept whole; after a
    // failure it stays for the next try.
    Waiting& waiting = waiting_[job.recordId];
    if (!waiting.job.pdfPath.empty() && waiting.job.pdfPath != job.pdfPath)
        QFile::remove(QString::fromStdString(waiting.job.pdfPath));
    waiting.job = job;
    waiting.failed = false;
    writer_->Submit(std::move(job));
}

void TTestArchive::Report(const ArchiveResult& result) {
    const auto found = waiting_.find(result.recordId);
    if (result.ok) {
        if (found != waiting_.end()) {
            Forgo(found->second);
            waiting_.erase(found);
        }
        qCInfo(lcArchive, "Kept %s/%s", result.folder.c_str(), result.baseName.c_str());
        if (!result.historyProblem.empty() && !saidHistoryProblem_) {
            // Said once: the files are what matters, and each later test would say it again.
            saidHistoryProblem_ = true;
            emit failed(QStringLiteral("The test %1 was kept in the report archive, but the "
                                       "test history could not take it: %2. The history "
                                       "window may miss tests of this run.")
                            .arg(QString::fromStdString(result.baseName),
                                 QString::fromStdString(result.historyProblem)));
        } else if (!result.historyProblem.empty()) {
            qCWarning(lcArchive, "%s", result.historyProblem.c_str());
        }
        emit written(QString::fromStdString(result.folder),
                     QString::fromStdString(result.baseName));
        // The archive works again: the tests that waited go now, oldest first.
        for (auto& [id, waiting] : waiting_)
            if (waiting.failed)
                Submit(waiting.job);
        return;
    }
    QString test = QStringLiteral("test");
    QString where;
    if (found != waiting_.end()) {
        Waiting& waiting = found->second;
        waiting.failed = true;
        SaveForRecovery(waiting);
        test = QStringLiteral("test %1").arg(QString::fromStdString(waiting.job.baseName));
        where = waiting.recovery.isEmpty()
                    ? QStringLiteral("Quillar holds it while it runs")
                    : QStringLiteral("Quillar holds it, also in %1,").arg(waiting.recovery);
    }
    QStringList kept;
    for (const std::string& file : result.kept)
        kept << QString::fromStdString(file);
    const QString written = kept.isEmpty()
                                ? QStringLiteral("Nothing of it was written there")
                                : QStringLiteral("Only %1 was written there").arg(kept.join(", "));
    emit failed(QStringLiteral("The %1 could not be kept in the report archive %2: %3. %4. %5 "
                               "and tries again when the next test is kept and at the next "
                               "start.")
                    .arg(test, QString::fromStdString(result.folder),
                         QString::fromStdString(result.reason), written,
                         where.isEmpty() ? QStringLiteral("Quillar") : where));
}

// A folder per test: the printout's bytes, the page as PDF and what the log
// row holds, so that a later run can keep it.
void TTestArchive::SaveForRecovery(Waiting& waiting) {
    if (recoveryFolder_.empty() || !waiting.recovery.isEmpty())
        return;
    const ArchiveJob& job = waiting.job;
    const QString folder =
        QString::fromStdString(recoveryFolder_) + QStringLiteral("/%1-%2-%3")
                                                      .arg(QDateTime::currentMSecsSinceEpoch())
                                                      .arg(QCoreApplication::applicationPid())
                                                      .arg(job.recordId);
    if (!QDir().mkpath(folder)) {
        qCWarning(lcArchive, "A test waiting to be kept could not be saved in %s",
                  qUtf8Printable(folder));
        return;
    }
    QJsonArray csv;
    for (const std::string& field : job.csv)
        csv.append(QString::fromStdString(field));
    const QJsonObject record{
        {QStringLiteral("root"), QString::fromStdString(job.root)},
        {QStringLiteral("key"), QString::fromStdString(job.recordKey)},
        {QStringLiteral("baseName"), QString::fromStdString(job.baseName)},
        {QStringLiteral("time"),
         QJsonArray{job.time.year, job.time.month, job.time.day, job.time.hour, job.time.minute}},
        {QStringLiteral("csv"), csv}};
    bool saved = true;
    auto write = [&saved, &folder](const QString& name, const QByteArray& bytes) {
        QSaveFile file(folder + QLatin1Char('/') + name);
        saved = saved && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
                file.commit();
    };
    write(QStringLiteral("printout.txt"), QByteArray::fromStdString(job.rawBytes));
    if (!job.pdfPath.empty())
        saved = saved && QFile::copy(QString::fromStdString(job.pdfPath),
                                     folder + QStringLiteral("/page.pdf"));
    // Last: a folder without it is not a test to keep.
    write(QStringLiteral("record.json"), QJsonDocument(record).toJson());
    if (saved) {
        waiting.recovery = folder;
    } else {
        QDir(folder).removeRecursively();
        qCWarning(lcArchive, "A test waiting to be kept could not be saved in %s",
                  qUtf8Printable(folder));
    }
}

void TTestArchive::Forgo(const Waiting& waiting) {
    if (!waiting.job.pdfPath.empty())
        QFile::remove(QString::fromStdString(waiting.job.pdfPath));
    if (!waiting.recovery.isEmpty())
        QDir(waiting.recovery).removeRecursively();
}

void TTestArchive::SetRecoveryFolder(std::string folder) {
    recoveryFolder_ = std::move(folder);
}

void TTestArchive::KeepWaitingTests() {
    if (!Enabled() || recoveryFolder_.empty())
        return;
    const QDir folder(QString::fromStdString(recoveryFolder_));
    for (const QString& name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = folder.filePath(name);
        QFile recordFile(path + QStringLiteral("/record.json"));
        QFile printout(path + QStringLiteral("/printout.txt"));
        if (!recordFile.open(QIODevice::ReadOnly) || !printout.open(QIODevice::ReadOnly))
            continue; // not saved whole
        const QJsonObject record = QJsonDocument::fromJson(recordFile.readAll()).object();
        const QJsonArray time = record.value(QStringLiteral("time")).toArray();
        ArchiveJob job;
        job.recordId = ++lastRecordId_;
        // Kept where this run keeps its tests.
        job.root = root_;
        job.time = {time.at(0).toInt(), time.at(1).toInt(), time.at(2).toInt(), time.at(3).toInt(),
                    time.at(4).toInt()};
        job.baseName = record.value(QStringLiteral("baseName")).toString().toStdString();
        job.recordKey = record.value(QStringLiteral("key")).toString().toStdString();
        if (job.recordKey.empty()) // saved before tests had keys
            job.recordKey = NewRecordKey();
        job.rawBytes = printout.readAll().toStdString();
        for (const QJsonValue& field : record.value(QStringLiteral("csv")).toArray())
            job.csv.push_back(field.toString().toStdString());
        const QString pdf = path + QStringLiteral("/page.pdf");
        if (QFile::exists(pdf)) {
            const QString copy = NextPdfPath();
            if (!copy.isEmpty() && QFile::copy(pdf, copy))
                job.pdfPath = copy.toStdString();
        }
        Submit(std::move(job));
        waiting_[lastRecordId_].recovery = path;
    }
}

void TTestArchive::DeliverResults() {
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

} // namespace quillar
