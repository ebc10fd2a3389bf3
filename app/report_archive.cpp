#include "app/report_archive.h"

#include "app/file_replace.h"

#include "report/report_pages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace quillar {

namespace {

bool RefusedInFileName(unsigned char c) {
    return c < 32 || c == 127 || std::strchr("/\\:*?\"<>|", c) != nullptr;
}

std::string TwoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string_view TrimBlanks(std::string_view text) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string StripMarkup(std::string_view html) {
    std::string text;
    bool inTag = false;
    for (const char c : html) {
        if (c == '<')
            inTag = true;
        else if (c == '>')
            inTag = false;
        else if (!inTag)
            text += c;
    }
    return std::string(TrimBlanks(text));
}

std::string ErrnoText(int code) {
    std::string text = std::strerror(code);
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text;
}

// A failure with the folder it concerns and the system's reason.
struct WriteFailure {
    std::string folder;
    std::string reason;
};

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

void MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return;
        throw WriteFailure{path, ErrnoText(ENOTDIR)};
    }
    throw WriteFailure{path, ErrnoText(errno)};
}

// Writes bytes to a temporary file in folder and renames it to name: a
// reader never finds half a file under the real name.
void WriteReplacing(const std::string& folder, const std::string& name, std::string_view bytes) {
    if (const int error =
            ReplaceFile(folder + "/" + name, folder + "/." + name + ".tmp-XXXXXX", bytes, 0644))
        throw WriteFailure{folder, ErrnoText(error)};
}

std::string ReadWhole(const std::string& path, const std::string& folder) {
    std::string text;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return text;
        throw WriteFailure{folder, ErrnoText(errno)};
    }
    const int error = ReadRest(fd, text);
    close(fd);
    if (error != 0)
        throw WriteFailure{folder, ErrnoText(error)};
    return text;
}

// The record's name: fixed at its first write, with a suffix when another
// record's files already carry the proposed one.
std::string RecordName(const ArchiveJob& job, const std::string& folder,
                       std::map<std::uint64_t, std::string>& names) {
    if (const auto known = names.find(job.recordId); known != names.end())
        return known->second;
    std::string name = job.baseName;
    for (int suffix = 2;
         Exists(folder + "/" + name + ".txt") || Exists(folder + "/" + name + ".pdf"); ++suffix)
        name = job.baseName + " (" + std::to_string(suffix) + ")";
    return name;
}

} // namespace

std::string ArchiveBaseName(const ArchiveTime& time, std::string_view model,
                            std::string_view registration) {
    std::string name = std::to_string(time.year) + "-" + TwoDigits(time.month) + "-" +
                       TwoDigits(time.day) + " " + TwoDigits(time.hour) + TwoDigits(time.minute) +
                       " " + std::string(model);
    registration = TrimBlanks(registration);
    if (!registration.empty()) {
        // Long enough for any plate, short enough for any file system's name limit.
        constexpr std::size_t kMost = 64;
        std::size_t length = std::min(registration.size(), kMost);
        // Not in the middle of a UTF-8 letter.
        while (length < registration.size() && length > 0 &&
               (static_cast<unsigned char>(registration[length]) & 0xC0) == 0x80)
            --length;
        name += " ";
        name += registration.substr(0, length);
    }
    for (char& c : name)
        if (RefusedInFileName(static_cast<unsigned char>(c)))
            c = '_';
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.pop_back();
    return name;
}

std::string MonthFolderName(const ArchiveTime& time) {
    return std::to_string(time.year) + "-" + TwoDigits(time.month);
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        std::string field = fields[i];
        for (char& c : field)
            if (c == '\r' || c == '\n')
                c = ' ';
        if (field.find_first_of(",\"") == std::string::npos) {
            line += field;
            continue;
        }
        line += '"';
        for (const char c : field) {
            if (c == '"')
                line += '"';
            line += c;
        }
        line += '"';
    }
    line += "\r\n";
    return line;
}

std::string WithCsvRecord(const std::string& text, const std::string& header,
                          const std::string& key, const std::string& line) {
    // Every record is one line (CsvLine keeps line breaks out of fields), so
    // the record of key is the line that starts with key's field.
    std::string prefix = CsvLine({key});
    prefix.resize(prefix.size() - 2); // without its CR LF
    prefix += ',';
    std::string out = text.empty() ? header : text;
    if (!out.empty() && out.back() != '\n')
        out += "\r\n";
    for (std::size_t start = 0; start < out.size();) {
        const std::size_t end = out.find('\n', start);
        const std::size_t next = end == std::string::npos ? out.size() : end + 1;
        if (start > 0 && out.compare(start, prefix.size(), prefix) == 0)
            return out.substr(0, start) + line + out.substr(next);
        start = next;
    }
    return out + line;
}

std::vector<std::string> Kd520Values(std::string_view receivedText) {
    // The page builder's own reading of the printout, on a template of only
    // the fields wanted: the log shows what the page shows.
    static const char* const kFields[] = {"<!--DCCSJG-->", "<!--RCCA-->", "<!--MCCA-->",
                                          "<!--DCDY-->",   "<!--NBDZ-->", "<!--CDZT-->",
                                          "<!--JKZT-->"};
    constexpr char kSeparator = '\x1f';
    std::string templateLine;
    for (const char* field : kFields) {
        templateLine += field;
        templateLine += kSeparator;
    }
    const LineList lines{templateLine};
    PageInputs in;
    in.deviceModel = "KD520";
    in.receivedText = receivedText;
    in.templateLines = &lines;
    const std::string filled = BuildTemplatePage(in);
    std::vector<std::string> values;
    std::size_t start = 0;
    for (std::size_t i = 0; i < std::size(kFields); ++i) {
        const std::size_t end = filled.find(kSeparator, start);
        if (end == std::string::npos) {
            values.emplace_back();
            continue;
        }
        std::string value = StripMarkup(std::string_view(filled).substr(start, end - start));
        // A placeholder with nothing to show stays as it was.
        values.push_back(value.rfind("<!--", 0) == 0 ? std::string() : value);
        start = end + 1;
    }
    return values;
}

std::string ArchiveCsvHeader() {
    // The byte-order mark tells a spreadsheet that the log is UTF-8.
    return "\xEF\xBB\xBF" +
           CsvLine({"File", "Date and time", "Model", "Store name", "Vehicle registration",
                    "Company", "Technician", "Test date", "Result", "Rated CCA", "Measured CCA",
                    "Voltage", "Internal resistance", "SOC", "SOH"});
}

ArchiveResult WriteArchiveJob(const ArchiveJob& job, std::map<std::uint64_t, std::string>& names) {
    ArchiveResult result;
    result.recordId = job.recordId;
    const std::string folder = job.root + "/" + MonthFolderName(job.time);
    result.folder = job.root;
    try {
        // The archive folder itself is made too: absent means its first use.
        std::string made;
        for (std::size_t slash = 1; slash != std::string::npos;) {
            slash = job.root.find('/', slash);
            made = job.root.substr(0, slash);
            if (slash != std::string::npos)
                ++slash;
            if (!made.empty() && !Exists(made))
                MakeFolder(made);
        }
        MakeFolder(folder);
        result.folder = folder;
        const std::string name = RecordName(job, folder, names);
        result.baseName = name;
        WriteReplacing(folder, name + ".txt", job.rawBytes);
        if (!job.pdfPath.empty())
            WriteReplacing(folder, name + ".pdf", ReadWhole(job.pdfPath, folder));
        names[job.recordId] = name;

        std::vector<std::string> row{name};
        row.insert(row.end(), job.csv.begin(), job.csv.end());
        const std::string logPath = job.root + "/tests.csv";
        const std::string log = ReadWhole(logPath, job.root);
        WriteReplacing(job.root, "tests.csv",
                       WithCsvRecord(log, ArchiveCsvHeader(), name, CsvLine(row)));
        result.ok = true;
    } catch (const WriteFailure& failure) {
        result.folder = failure.folder;
        result.reason = failure.reason;
    }
    if (!job.pdfPath.empty())
        unlink(job.pdfPath.c_str());
    return result;
}

ArchiveWriter::ArchiveWriter(Done done) : done_(std::move(done)), thread_([this] { Run(); }) {}

ArchiveWriter::~ArchiveWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void ArchiveWriter::Submit(ArchiveJob job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
}

void ArchiveWriter::WaitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

void ArchiveWriter::Run() {
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty())
            return; // stopping, and everything is written
        ArchiveJob job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        const ArchiveResult result = WriteArchiveJob(job, names_);
        if (done_)
            done_(result);
        lock.lock();
        busy_ = false;
        if (jobs_.empty())
            idle_.notify_all();
    }
}

} // namespace quillar
