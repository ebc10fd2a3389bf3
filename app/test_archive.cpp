#include "app/test_archive.h"

#include "app/blank_text.h"
#include "app/config.h"
#include "app/file_system.h"
#include "app/typed_boxes.h"
#include "report/models.h"
#include "view/report_browser.h"

#include <QDateTime>
#include <QPointer>
#include <QStandardPaths>

#include <vector>

namespace quillar {

namespace {

ArchiveTime ClockTime() {
    const QDateTime now = QDateTime::currentDateTime();
    return {now.date().year(), now.date().month(), now.date().day(), now.time().hour(),
            now.time().minute()};
}

std::string TimeText(const ArchiveTime& t) {
    return QStringLiteral("%1-%2-%3 %4:%5")
        .arg(t.year, 4, 10, QLatin1Char('0'))
        .arg(t.month, 2, 10, QLatin1Char('0'))
        .arg(t.day, 2, 10, QLatin1Char('0'))
        .arg(t.hour, 2, 10, QLatin1Char('0'))
        .arg(t.minute, 2, 10, QLatin1Char('0'))
        .toStdString();
}

// What a PDF may take in a scratch folder, with room to spare.
constexpr std::uintmax_t kPdfRoom = 64 << 20;

// The user's own folder for scratch folders, when the system's are missing or full.
std::string OwnScratchParent() {
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation).toStdString();
}

} // namespace

TTestArchive::TTestArchive(std::string root, std::function<ArchiveTime()> now)
    : root_(std::move(root)), now_(now ? std::move(now) : ClockTime) {
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
    writer_ = std::make_unique<ArchiveWriter>(
        [this](const ArchiveResult& result) {
            // From the writer's thread to the window's; the writer ends before
            // this object does, so the object is there to receive it.
            QMetaObject::invokeMethod(
                this,
                [this, result] {
                    Report(result.ok, result.folder, result.baseName, result.reason);
                },
                Qt::QueuedConnection);
        },
        root_);
}

TTestArchive::~TTestArchive() {
    writer_.reset();
}

void TTestArchive::BytesArrived(std::string_view raw) {
    if (!Enabled() || raw.empty())
        return;
    if (recordId_ == 0) {
        recordId_ = ++lastRecordId_;
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
    if (!Enabled() || recordId_ == 0 || IsBlankText(raw_) || IsBlankText(receivedText) ||
        !HasReportPage(model))
        return false;
    ArchiveJob job;
    job.recordId = recordId_;
    job.root = root_;
    job.time = started_;
    job.rawBytes = raw_;
    const std::vector<std::string> pageValues =
        model == "KD520" ? Kd520Values(receivedText, language, &languageTable)
                         : std::vector<std::string>(Kd520ValueCount());
    const QString pdfPath = NextPdfPath();

    // The typed values of the page on screen now; the PDF is made from this
    // test's own page, whatever the view shows by then.
    QPointer<TTestArchive> self(this);
    QPointer<TReportBrowser> browser(&view);
    view.CapturePage(
        [self, browser, job = std::move(job), model, pageValues, pdfPath, page,
         taken = std::move(taken)](const QString& typedJson, const QByteArray&) mutable {
            if (self == nullptr)
                return;
            const std::string registration = TypedBoxValue(typedJson, RegistrationBox(model));
            job.baseName = ArchiveBaseName(job.time, model, registration);
            job.csv = {TimeText(job.time),
                       model,
                       TypedBoxValue(typedJson, "#store"),
                       registration,
                       TypedBoxValue(typedJson, "#a"),
                       TypedBoxValue(typedJson, "#b"),
                       TypedBoxValue(typedJson, "#d")};
            job.csv.insert(job.csv.end(), pageValues.begin(), pageValues.end());
            auto submit = [self, job = std::move(job), pdfPath, taken](bool pdfOk) mutable {
                if (self == nullptr)
                    return;
                job.pdfPath = pdfOk ? pdfPath.toStdString() : std::string();
                self->writer_->Submit(std::move(job));
                if (!pdfOk)
                    self->Report(false, self->root_, {}, "the page could not be printed to PDF");
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

void TTestArchive::WaitWritten() {
    if (writer_)
        writer_->WaitIdle();
}

void TTestArchive::Report(bool ok, const std::string& folder, const std::string& baseName,
                          const std::string& reason) {
    if (ok) {
        failureSaid_ = false;
        emit written(QString::fromStdString(folder), QString::fromStdString(baseName));
        return;
    }
    if (failureSaid_)
        return;
    failureSaid_ = true;
    emit failed(QStringLiteral("The test could not be kept in the report archive %1: %2.")
                    .arg(QString::fromStdString(folder), QString::fromStdString(reason)));
}

} // namespace quillar
