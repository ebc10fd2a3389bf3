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

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexDigit(char c) {
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A numeric reference at the start of text ("&#937", "&#937;", "&#x3A9;"):
// how many characters it takes, 0 when it is none.
std::size_t NumericReference(std::string_view text, std::string& out) {
    if (text.size() < 3 || text[0] != '&' || text[1] != '#')
        return 0;
    const bool hex = text[2] == 'x' || text[2] == 'X';
    std::size_t at = hex ? 3 : 2;
    const std::size_t first = at;
    char32_t code = 0;
    for (; at < text.size(); ++at) {
        const int digit = hex ? HexDigit(text[at]) : (IsDigit(text[at]) ? text[at] - '0' : -1);
        if (digit < 0)
            break;
        code = std::min<char32_t>(code * (hex ? 16 : 10) + digit, 0x110000);
    }
    if (at == first)
        return 0;
    if (at < text.size() && text[at] == ';') {
        ++at;
    } else if (!hex && at - first > 3) {
        // The device writes its letters as "&" "#" and three digits with no
        // ';': a digit printed after one is the printout's, not the letter's.
        at = first + 3;
        code = (text[first] - '0') * 100 + (text[first + 1] - '0') * 10 + (text[first + 2] - '0');
    }
    // As a browser shows them: no NUL, no surrogate halves, nothing past U+10FFFF.
    if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        code = 0xFFFD;
    AppendUtf8(out, code);
    return at;
}

// A named reference at the start of text, ';' optional.
std::size_t NamedReference(std::string_view text, std::string& out) {
    static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
        {"&amp", "&"},   {"&lt", "<"},   {"&gt", ">"},
        {"&quot", "\""}, {"&apos", "'"}, {"&nbsp", " "}, // a blank is all a reader sees
    };
    for (const auto& [name, value] : kNames) {
        if (text.starts_with(name)) {
            out += value;
            return name.size() + (text.size() > name.size() && text[name.size()] == ';' ? 1 : 0);
        }
    }
    return 0;
}

// A measurement as the page shows it ("480 A", "5.92mΩ") as a plain number
// ("480", "5.92") when its unit is one of units ('|'-separated, an empty one
// for a bare number, compared without regard to ASCII case); otherwise empty.
std::string Measurement(std::string_view text, std::string_view units) {
    text = TrimBlanks(text);
    std::size_t at = 0;
    while (at < text.size() && IsDigit(text[at]))
        ++at;
    if (at == 0)
        return {};
    if (at + 1 < text.size() && text[at] == '.' && IsDigit(text[at + 1])) {
        ++at;
        while (at < text.size() && IsDigit(text[at]))
            ++at;
    }
    const std::string_view unit = TrimBlanks(text.substr(at));
    auto same = [](std::string_view a, std::string_view b) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   auto lower = [](char c) {
                       return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
                   };
                   return lower(x) == lower(y);
               });
    };
    for (std::size_t start = 0;;) {
        const std::size_t end = units.find('|', start);
        if (same(unit, units.substr(start, end - start)))
            return std::string(text.substr(0, at));
        if (end == std::string_view::npos)
            return {};
        start = end + 1;
    }
}

// The KD520 page's fields that the log keeps, with the column and, for a
// measurement, the units it is read in (none: kept as text).
struct Kd520Column {
    const char* placeholder;
    const char* header;
    const char* units;
};

// Every rating standard the tester offers counts in amperes; a battery code
// ("55D23L") or capacity (Ah) is no number of this column.
constexpr const char* kAmperes = "A|CCA|CA|MCA|HCA|EN|DIN|IEC|SAE|GB|";

constexpr Kd520Column kKd520Columns[] = {
    {"<!--DCCSJG-->", "Result", nullptr},
    {"<!--DCLX-->", "Battery type", nullptr},
    {"<!--RCCA-->", "Rated CCA (A)", kAmperes},
    {"<!--MCCA-->", "Measured CCA (A)", kAmperes},
    {"<!--DCDY-->", "Voltage (V)", "V"},
    {"<!--NBDZ-->", "Internal resistance (m\u03A9)", "m\u03A9|m\u2126"},
    {"<!--CDZT-->", "SOC (%)", "%"},
    {"<!--JKZT-->", "SOH (%)", "%"},
    {"<!--QDDY-->", "Cranking voltage (V)", "V"},
    {"<!--QDSJ-->", "Cranking time (ms)", "ms"},
    {"<!--YZDY-->", "Loaded voltage (V)", "V"},
    {"<!--KZDY-->", "Unloaded voltage (V)", "V"},
    {"<!--WBDY-->", "Ripple (mV)", "mV"},
};

// Where the record that begins at start ends: after its line end, or at the
// text's end. A line break inside quotes belongs to a field.
std::size_t RecordEnd(std::string_view text, std::size_t start) {
    bool quoted = false;
    for (std::size_t at = start; at < text.size(); ++at) {
        if (text[at] == '"')
            quoted = !quoted;
        else if (text[at] == '\n' && !quoted)
            return at + 1;
    }
    return text.size();
}

// A header line without its byte-order mark and line end: a log that a
// spreadsheet saved again without them still counts as the same layout.
std::string_view HeaderFields(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    text = text.substr(0, text.find('\n'));
    if (text.ends_with('\r'))
        text.remove_suffix(1);
    return text;
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

// Renames root/name to "tests (earlier layout).csv", with a suffix when
// taken; a log moved aside before is never replaced.
void MoveAside(const std::string& root, const std::string& name) {
    for (int attempt = 1;; ++attempt) {
        const std::string moved =
            "tests (earlier layout)" +
            (attempt > 1 ? " (" + std::to_string(attempt) + ")" : std::string()) + ".csv";
        if (Exists(root + "/" + moved))
            continue;
        if (std::rename((root + "/" + name).c_str(), (root + "/" + moved).c_str()) != 0)
            throw WriteFailure{root, ErrnoText(errno)};
        return;
    }
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
        const std::string& field = fields[i];
        // Spreadsheets evaluate these as formulas; a leading ' makes them text.
        const bool formula = !field.empty() && std::string_view("=+-@\t\r").find(field.front()) !=
                                                   std::string_view::npos;
        // Every separator a spreadsheet's import may take, not only the comma.
        if (!formula && field.find_first_of(",;\t\"\r\n") == std::string::npos) {
            line += field;
            continue;
        }
        line += '"';
        if (formula)
            line += '\'';
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
    // The record of key is the one that starts with key's field.
    std::string prefix = CsvLine({key});
    prefix.resize(prefix.size() - 2); // without its CR LF
    prefix += ',';
    std::string out = text.empty() ? header : text;
    if (!out.empty() && out.back() != '\n')
        out += "\r\n";
    for (std::size_t start = 0; start < out.size();) {
        const std::size_t next = RecordEnd(out, start);
        if (start > 0 && out.compare(start, prefix.size(), prefix) == 0)
            return out.substr(0, start) + line + out.substr(next);
        start = next;
    }
    return out + line;
}

std::string DecodeCharacterReferences(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        if (text[at] == '&') {
            const std::string_view rest = text.substr(at);
            if (const std::size_t length = NumericReference(rest, out)) {
                at += length;
                continue;
            }
            if (const std::size_t length = NamedReference(rest, out)) {
                at += length;
                continue;
            }
        }
        out += text[at++];
    }
    return out;
}

std::vector<std::string> Kd520Values(std::string_view receivedText, std::int32_t language,
                                     const LineList* languageTable) {
    // The page builder's own reading of the printout, on a template of only
    // the fields wanted: the log shows what the page shows.
    constexpr char kSeparator = '\x1f';
    std::string templateLine;
    for (const Kd520Column& column : kKd520Columns) {
        templateLine += column.placeholder;
        templateLine += kSeparator;
    }
    const LineList lines{templateLine};
    PageInputs in;
    in.deviceModel = "KD520";
    in.currentLanguage = language;
    in.languageTable = languageTable;
    in.receivedText = receivedText;
    in.templateLines = &lines;
    const std::string filled = BuildTemplatePage(in);
    std::vector<std::string> values;
    std::size_t start = 0;
    for (const Kd520Column& column : kKd520Columns) {
        const std::size_t end = filled.find(kSeparator, start);
        if (end == std::string::npos) {
            values.emplace_back();
            continue;
        }
        const std::string_view shown = std::string_view(filled).substr(start, end - start);
        start = end + 1;
        // A placeholder with nothing to show stays as it was.
        if (shown == column.placeholder) {
            values.emplace_back();
            continue;
        }
        std::string text(TrimBlanks(DecodeCharacterReferences(StripMarkup(shown))));
        values.push_back(column.units == nullptr ? std::move(text)
                                                 : Measurement(text, column.units));
    }
    return values;
}

std::size_t Kd520ValueCount() {
    return std::size(kKd520Columns);
}

std::string ArchiveCsvHeader() {
    std::vector<std::string> names{
        "File",    "Date and time", "Model",    "Store name", "Vehicle registration",
        "Company", "Technician",    "Test date"};
    for (const Kd520Column& column : kKd520Columns)
        names.emplace_back(column.header);
    // The byte-order mark tells a spreadsheet that the log is UTF-8.
    return "\xEF\xBB\xBF" + CsvLine(names);
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
        std::string log = ReadWhole(logPath, job.root);
        if (!log.empty() && HeaderFields(log) != HeaderFields(ArchiveCsvHeader())) {
            // Rows of this layout under another header would sit in the
            // wrong columns: the earlier log is kept as it is, beside.
            MoveAside(job.root, "tests.csv");
            log.clear();
        }
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
