#pragma once
// The report archive: every finished battery test is kept as files in a
// folder per month, <archive>/2026-12/, with a base name made of the time, the
// model and the vehicle registration; <archive>/tests.csv holds one row per
// test. No Qt here: the names, the CSV log and the file writing are tested
// without a GUI, and the writer runs on its own thread.

#include "report/line_list.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quillar {

class FileHold;

// Local time of the test's first bytes, to the minute.
struct ArchiveTime {
    int year = 0;
    int month = 0; // 1..12
    int day = 0;
    int hour = 0;
    int minute = 0;
};

// "2026-12-08 0956 KD520 WX12345": the registration is left out when blank.
// Characters that some file system refuses (control characters, / \ : * ? " < > |)
// become '_'; blanks around the registration and trailing dots and blanks go.
std::string ArchiveBaseName(const ArchiveTime& time, std::string_view model,
                            std::string_view registration);

// "2026-12".
std::string MonthFolderName(const ArchiveTime& time);

// One CSV record (RFC 4180) ending with CR LF, as a spreadsheet reads it
// whatever separator its import takes. A field holding a comma, a semicolon, a
// tab, a quote or a line break is quoted, its quotes doubled. A field that
// starts with = + - @, a tab or a CR, which a spreadsheet would evaluate as a
// formula, gets a leading ' and is quoted: it reads as the text it is. The
// log's numbers are written without sign, so no number is touched.
std::string CsvLine(const std::vector<std::string>& fields);

// The log's text with the record whose first field is key replaced by line,
// or line appended when there is none. An empty text starts with header.
// Records are found by their quotes: a quoted line break does not end one.
std::string WithCsvRecord(const std::string& text, const std::string& header,
                          const std::string& key, const std::string& line);

// The same for a record renamed from previousKey to key: its record (of either
// key) replaced by line where it stands, further records of either key dropped,
// or line appended when there is none.
std::string WithCsvRecord(const std::string& text, const std::string& header,
                          const std::string& key, const std::string& previousKey,
                          const std::string& line);

// The records of a CSV text as CsvLine writes them (and as spreadsheets save
// them): fields split at commas outside quotes, quotes undone, records ended
// by LF or CR LF outside quotes; a leading byte-order mark dropped.
std::vector<std::vector<std::string>> ReadCsvRecords(std::string_view text);

// Page text as a person reads it: the numeric character references, with or
// without their ';' ("&#937" as the device's letters come, "&#x3A9;"), and
// &amp; &lt; &gt; &quot; &apos; &nbsp; become UTF-8 (&nbsp; a plain blank);
// anything else, an unknown name included, stays as written.
std::string DecodeCharacterReferences(std::string_view text);

// The KD520 report's values in the log's order (see ArchiveCsvHeader, from
// "Result" on), read from receivedText by the page builder itself, so the
// log says what the page shows: the verdict and the battery type as text,
// markup removed and references decoded; the measurements as plain numbers
// in the unit of their column ("5.92mΩ" -> "5.92"), empty when the page
// shows nothing or something else than a number in that unit. language and
// languageTable are those that translated receivedText (languages 1 to 3
// translate the labels); languageTable may be null for the others.
std::vector<std::string> Kd520Values(std::string_view receivedText, std::int32_t language,
                                     const LineList* languageTable);

// How many fields Kd520Values gives: the row of another model leaves them empty.
std::size_t Kd520ValueCount();

// The log's first line, after a UTF-8 byte-order mark.
std::string ArchiveCsvHeader();

// One write of a test's files.
struct ArchiveJob {
    std::uint64_t recordId = 0; // the same id rewrites the same record
    std::string recordKey;      // the record's key in the test history, unique across PCs
    std::string root;           // the archive folder
    ArchiveTime time;
    std::string baseName; // proposed; a later proposal renames the record's files
    std::string rawBytes; // the printout as received
    std::string pdfPath; // a finished PDF to copy in, removed when the write succeeds; empty = none
    std::vector<std::string> csv; // the row after its first field (the base name)
};

struct ArchiveResult {
    std::uint64_t recordId = 0;
    bool ok = false;
    std::string folder;   // where the files went (or were to go)
    std::string baseName; // the record's name, suffix included
    std::string reason;   // on failure, why; on success, files of an earlier name left behind
    // What this write left on disk for the record, by file name in the order
    // written: "<baseName>.txt", "<baseName>.pdf", "tests.csv". On failure the
    // part that was kept; a failed rename keeps nothing new (the record stays
    // whole under its earlier name).
    std::vector<std::string> kept;
    // The files were kept but the test history could not take the record: why.
    std::string historyProblem;
};

// Writes job's files: <root>/<month>/<name>.txt and .pdf, each through a
// temporary file in the same folder and a rename, and its row in
// <root>/tests.csv. A tests.csv that starts with another header (an earlier
// layout) is first renamed, unchanged, to "tests (earlier layout).csv" (" (2)", " (3)"
// … when taken), and a new one begun. A file that is a symbolic link is
// written (and moved aside) through the link, which stays a link.
//
// names maps record ids to their names: a record's next write replaces its
// files, unless job.baseName is another name than the one it has (a suffix
// " (N)" of that one aside): then the record moves to the new name, its row
// replaced where it stands, and its files of the earlier name are removed
// after the new ones and the row are written. A PDF of the earlier name
// follows when the job brings none.
//
// Safe for several writers on one folder, threads or programs: a new name is
// claimed by creating its .txt exclusively (a name taken by another record,
// .txt or .pdf, gets " (2)", " (3)" …), and the log is read and replaced
// holding a lock on ".<log>.lock" beside it. job.pdfPath is removed when the
// write succeeds and kept for another try when it fails. Never throws:
// failures come back in the result.
ArchiveResult WriteArchiveJob(const ArchiveJob& job, std::map<std::uint64_t, std::string>& names);

// How old a temporary file of a write or a scratch folder without its lock
// must be to count as left behind: older than any write takes.
inline constexpr std::chrono::minutes StaleTemporaryAge{2};

// Removes what writes in root and its month folders left behind when the
// program was killed: temporary files (".<name>.tmp-XXXXXX") older than
// StaleTemporaryAge. Another program's write in progress is younger.
void RemoveStaleArchiveTemporaries(const std::string& root);

// A private folder for files on their way into the archive (the engine's
// PDFs): "<parent>/Quillar-XXXXXX", held through the FileHold of its ".lock"
// while the object lives, removed with its files when it goes.
class ScratchFolder {
public:
    // Made in the first of parents that is a folder with room bytes free and
    // can be written in; else in own (made when missing) when it has the room;
    // else in the first of them all that can be written in. nullptr when none can.
    static std::unique_ptr<ScratchFolder> Create(const std::vector<std::string>& parents,
                                                 const std::string& own, std::uintmax_t room);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    // Whether the folder's disk has room bytes free.
    bool HasRoom(std::uintmax_t room) const;

private:
    ScratchFolder(std::string path, std::unique_ptr<FileHold> hold);
    std::string path_;
    std::unique_ptr<FileHold> hold_;
};

// Removes the scratch folders in parent that were left behind: those whose
// lock no running program holds (it was killed or crashed), and those without
// a lock (an earlier Quillar's) not changed for StaleTemporaryAge.
void RemoveStaleScratchFolders(const std::string& parent);

// What the writer tells of each record it keeps, on its own thread: the test
// history's index. Made, used and destroyed on that thread.
class ArchiveIndex {
public:
    virtual ~ArchiveIndex() = default;
    // Before the first job. Returns why the index cannot be used; empty = it can.
    virtual std::string Open() = 0;
    // After each job written whole. Returns why the record could not be
    // indexed; empty = it was.
    virtual std::string Record(const ArchiveJob& job, const ArchiveResult& result) = 0;
};

// A thread that writes jobs in the order given. done is called on that
// thread after each job. The destructor writes what is queued, then ends.
class ArchiveWriter {
public:
    using Done = std::function<void(const ArchiveResult&)>;
    // Makes the index on the writer's thread.
    using IndexFactory = std::function<std::unique_ptr<ArchiveIndex>()>;
    // tidyRoot: an archive whose stale temporary files are removed first
    // (RemoveStaleArchiveTemporaries); empty = none. index: what indexes each
    // record kept; none = nothing.
    explicit ArchiveWriter(Done done, std::string tidyRoot = {}, IndexFactory index = {});
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    void Submit(ArchiveJob job);
    // Blocks until every job submitted so far is written (and the tidying done).
    void WaitIdle();

private:
    void Run();

    Done done_;
    std::string tidyRoot_;
    IndexFactory indexFactory_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<ArchiveJob> jobs_;
    bool busy_ = false;
    bool stopping_ = false;
    std::map<std::uint64_t, std::string> names_; // used by the thread only
    std::thread thread_;
};

} // namespace quillar
