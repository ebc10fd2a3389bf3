#pragma once
// TTestArchive: keeps each battery test in the report archive. It collects the
// printout's bytes as they arrive, takes the page (typed values and a PDF)
// from the view when a test ends, and hands the writing to a thread of its
// own: the window and the poll cycle never wait on the disk.

#include "app/report_archive.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillar {

class HistoryUploader;
class TReportBrowser;

// The computer's local time, to the minute, as archive names are made of it.
ArchiveTime ArchiveClockNow();

class TTestArchive : public QObject {
    Q_OBJECT
public:
    // root: the archive folder, empty = no archive; a folder that
    // UsableArchiveFolder refuses is no archive either and is said once
    // (failed), when the event loop runs. now: the local time, empty = the
    // computer's clock. historyServer: Database=, the workshop's history
    // server that the local index's records go up to; empty = none.
    TTestArchive(std::string root, std::function<ArchiveTime()> now,
                 std::string historyServer = {});
    // Writes everything handed over before it returns.
    ~TTestArchive() override;

    bool Enabled() const { return !root_.empty(); }
    const std::string& Root() const { return root_; }

    // Bytes as the tester sent them. The first ones after Forget begin a new
    // test and fix its time.
    void BytesArrived(std::string_view raw);
    // Keeps the test shown in view: receivedText is the report's body, page
    // the report page last given to the view, model the configured model,
    // language and languageTable those that translated the body (the log
    // reads a KD520 report's values through them). Nothing happens without an
    // archive, without bytes since Forget, for a blank body or a model that
    // has no report page; the answer is then false. Otherwise the values
    // typed into the page on screen now are taken (TReportBrowser::
    // CapturePage), page is put on paper with them off screen, taken runs once
    // the files are handed to the writer, and the answer is true. Keeping the
    // same test again rewrites the same record.
    bool Keep(TReportBrowser& view, const std::string& model, const std::string& receivedText,
              const std::string& page, std::int32_t language, const LineList& languageTable,
              std::function<void()> taken = {});
    // The next bytes begin a new test.
    void Forget();
    // Blocks until everything handed to the writer is on disk.
    void WaitWritten();
    // Blocks until that is on disk and on the history server too, or the
    // server could not be reached: then false. False without a server.
    bool WaitUploaded();
    // Where a test that could not be kept waits for the next try, also
    // across runs (a folder per test); empty = in memory only.
    void SetRecoveryFolder(std::string folder);
    // Hands the tests waiting in the recovery folder (from an earlier run)
    // to the writer again.
    void KeepWaitingTests();
    // Hands over the writer's answers that wait in the event queue now (at
    // close, so that a failure is said before the window goes).
    void DeliverResults();

signals:
    // Keeping a test failed: which test, where, why, and that it waits for
    // the next try. Said every time.
    void failed(const QString& message);
    // A record's files are on disk.
    void written(const QString& folder, const QString& baseName);

private:
    // A test handed to the writer and not yet written whole; a failed one
    // is handed over again after the next success and at the next start.
    struct Waiting {
        ArchiveJob job;      // its PDF, if any, is this object's copy
        bool failed = false; // the last write failed
        QString recovery;    // its folder in the recovery folder, once saved
    };
    void Submit(ArchiveJob job);
    void Report(const ArchiveResult& result);
    void SaveForRecovery(Waiting& waiting);
    void Forgo(const Waiting& waiting);
    // A new file name for the engine's PDF, in a scratch folder with room; empty = none.
    QString NextPdfPath();

    std::string root_;
    std::function<ArchiveTime()> now_;
    // Where the engine prints before the writer moves the PDF; earlier ones,
    // left when their disk filled, stay while PDFs may be on their way there.
    std::unique_ptr<ScratchFolder> pdfDir_;
    std::vector<std::unique_ptr<ScratchFolder>> fullPdfDirs_;
    std::string raw_;
    ArchiveTime started_;
    std::uint64_t recordId_ = 0; // 0 = no bytes since Forget
    std::string recordKey_;      // the test's key in the test history
    std::uint64_t lastRecordId_ = 0;
    std::uint64_t pdfCount_ = 0;
    std::map<std::uint64_t, Waiting> waiting_; // by record id: oldest first
    std::string recoveryFolder_;
    bool saidHistoryProblem_ = false;
    std::unique_ptr<HistoryUploader> uploader_; // ends after the writer that wakes it
    std::unique_ptr<ArchiveWriter> writer_;     // last: it finishes before the rest goes
};

} // namespace quillar
