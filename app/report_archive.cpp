#include "app/report_archive.h"

#include "app/file_system.h"

#include "report/models.h"
#include "report/report_pages.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>

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

// A failure with the folder it concerns and the system's reason.
struct WriteFailure {
    std::string folder;
    std::string reason;
};

// folder/name with the OS's separator.
std::string Join(const std::string& folder, const std::string& name) {
    return Utf8Path(FsPath(folder) / FsPath(name));
}

void MakeFolderOrThrow(const std::string& path) {
    if (const std::error_code error = MakeFolder(path))
        throw WriteFailure{path, ErrorText(error)};
}

// The temporary files of the writes below: ".<name>.tmp-XXXXXX" beside the
// file they replace.
constexpr std::string_view kTemporaryTail = ".tmp-XXXXXX";

bool IsTemporaryName(std::string_view name) {
    if (name.size() < 2 + kTemporaryTail.size() || name.front() != '.')
        return false;
    const std::string_view tail = name.substr(name.size() - kTemporaryTail.size());
    return tail.starts_with(kTemporaryTail.substr(0, 5)) &&
           std::all_of(tail.begin() + 5, tail.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
           });
}

// Writes bytes to a temporary file and renames it to folder/name: a reader
// never finds half a file under the real name. A symbolic link under the name
// is written through and stays a link.
void WriteReplacing(const std::string& folder, const std::string& name, std::string_view bytes) {
    const std::filesystem::path target = FsPath(WriteTarget(Join(folder, name)));
    std::string hidden(".");
    hidden += Utf8Path(target.filename());
    hidden += kTemporaryTail;
    const std::string temporary = Utf8Path(target.parent_path() / FsPath(hidden));
    if (const std::error_code error = ReplaceWholeFile(Utf8Path(target), temporary, bytes,
                                                       static_cast<std::filesystem::perms>(0644)))
        throw WriteFailure{folder, ErrorText(error)};
}

std::string ReadWhole(const std::string& path, const std::string& folder) {
    std::string text;
    const std::error_code error = ReadRegularFile(path, text);
    if (error == std::errc::no_such_file_or_directory)
        return {};
    if (error)
        throw WriteFailure{folder, ErrorText(error)};
    return text;
}

// Renames the log at root/name, or the file it links to, to "<its name>
// (earlier layout).csv" beside it ("tests (earlier layout).csv"), with a
// suffix when taken; a log moved aside before is never replaced.
void MoveAside(const std::string& root, const std::string& name) {
    const std::filesystem::path log = FsPath(WriteTarget(Join(root, name)));
    const std::string stem = Utf8Path(log.stem());
    for (int attempt = 1;; ++attempt) {
        const std::filesystem::path moved =
            log.parent_path() /
            FsPath(stem + " (earlier layout)" +
                   (attempt > 1 ? " (" + std::to_string(attempt) + ")" : std::string()) +
                   Utf8Path(log.extension()));
        if (PathExists(Utf8Path(moved)))
            continue;
        std::error_code error;
        std::filesystem::rename(log, moved, error);
        if (error)
            throw WriteFailure{root, ErrorText(error)};
        return;
    }
}

// A month folder of the archive: "2026-12".
bool IsMonthFolderName(std::string_view name) {
    return name.size() == 7 && name[4] == '-' &&
           std::all_of(name.begin(), name.begin() + 4, IsDigit) && IsDigit(name[5]) &&
           IsDigit(name[6]);
}

// Removes folder's temporary files that are older than a write takes.
void RemoveStaleIn(const std::filesystem::path& folder) {
    const auto before = std::filesystem::file_time_type::clock::now() - StaleTemporaryAge;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code fileError;
        if (IsTemporaryName(Utf8Path(it->path().filename())) &&
            it->symlink_status(fileError).type() == std::filesystem::file_type::regular &&
            std::filesystem::last_write_time(it->path(), fileError) < before && !fileError)
            std::filesystem::remove(it->path(), fileError);
    }
}

constexpr auto kFilePermissions = static_cast<std::filesystem::perms>(0644);

// Whether name is base, or base with the suffix " (N)" that a taken name gets.
bool IsNameOf(std::string_view name, std::string_view base) {
    if (!name.starts_with(base))
        return false;
    name.remove_prefix(base.size());
    if (name.empty())
        return true;
    if (name.size() < 4 || !name.starts_with(" (") || !name.ends_with(')'))
        return false;
    name = name.substr(2, name.size() - 3);
    return name.front() != '0' && std::all_of(name.begin(), name.end(), IsDigit);
}

// A new record's name in folder: base, else "base (2)", "base (3)" … the first
// whose .txt this call creates, empty, and whose .pdf no one has. Creating the
// .txt exclusively is the claim: of two writers after one name, in threads or
// programs, one gets it and the other goes on to the next.
std::string ClaimName(const std::string& folder, const std::string& base) {
    for (int suffix = 1; suffix < 1000000; ++suffix) {
        const std::string name = suffix == 1 ? base : base + " (" + std::to_string(suffix) + ")";
        const std::string text = Join(folder, name + ".txt");
        if (const std::error_code error = CreateNewFile(text, kFilePermissions)) {
            if (error == std::errc::file_exists || PathExists(text))
                continue; // taken: by a file, a link or anything else
            throw WriteFailure{folder, ErrorText(error)};
        }
        if (!PathExists(Join(folder, name + ".pdf")))
            return name;
        // An earlier record's PDF without its text: the name stays its own.
        std::error_code error;
        std::filesystem::remove(FsPath(text), error);
    }
    throw WriteFailure{folder, "no free name for " + base};
}

// Removes folder/name (not a link's target); false when it is still there.
bool RemoveFile(const std::string& folder, const std::string& name) {
    std::error_code error;
    std::filesystem::remove(FsPath(Join(folder, name)), error);
    return !error;
}

// Puts line into the log at root/tests.csv as the record of key (before a
// rename, of previousKey), holding the log's lock from the read to the
// replacement, so that a writer at the same time, thread or program, reads
// the log with this record in it and loses no record.
void WriteLogRecord(const std::string& root, const std::string& key, const std::string& previousKey,
                    const std::string& line) {
    const std::string logPath = Join(root, "tests.csv");
    // Beside the file written: two archives that link to one log share its lock.
    const std::filesystem::path target = FsPath(WriteTarget(logPath));
    std::string lockName(".");
    lockName += Utf8Path(target.filename());
    lockName += ".lock";
    std::error_code lockError;
    const std::unique_ptr<FileLock> lock =
        FileLock::Wait(Utf8Path(target.parent_path() / FsPath(lockName)), lockError);
    if (!lock)
        throw WriteFailure{root, ErrorText(lockError)};
    std::string log = ReadWhole(logPath, root);
    if (!log.empty() && HeaderFields(log) != HeaderFields(ArchiveCsvHeader())) {
        // Rows of this layout under another header would sit in the
        // wrong columns: the earlier log is kept as it is, beside.
        MoveAside(root, "tests.csv");
        log.clear();
    }
    WriteReplacing(root, "tests.csv",
                   WithCsvRecord(log, ArchiveCsvHeader(), key, previousKey, line));
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
    return WithCsvRecord(text, header, key, key, line);
}

std::string WithCsvRecord(const std::string& text, const std::string& header,
                          const std::string& key, const std::string& previousKey,
                          const std::string& line) {
    // The record of a key is the one that starts with the key's field.
    auto prefixOf = [](const std::string& field) {
        std::string prefix = CsvLine({field});
        prefix.resize(prefix.size() - 2); // without its CR LF
        return prefix + ',';
    };
    const std::string prefixes[] = {prefixOf(key), prefixOf(previousKey)};
    std::string in = text.empty() ? header : text;
    if (!in.empty() && in.back() != '\n')
        in += "\r\n";
    std::string out;
    out.reserve(in.size() + line.size());
    bool placed = false;
    for (std::size_t start = 0; start < in.size();) {
        const std::size_t next = RecordEnd(in, start);
        const bool ours =
            start > 0 &&
            std::any_of(std::begin(prefixes), std::end(prefixes), [&](const std::string& prefix) {
                return in.compare(start, prefix.size(), prefix) == 0;
            });
        if (!ours)
            out.append(in, start, next - start);
        else if (!placed)
            out += line;
        placed = placed || ours;
        start = next;
    }
    return placed ? out : out + line;
}

std::vector<std::vector<std::string>> ReadCsvRecords(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    bool any = false; // the record has begun
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (quoted) {
            if (c != '"')
                field += c;
            else if (at + 1 < text.size() && text[at + 1] == '"')
                field += text[++at];
            else
                quoted = false;
            continue;
        }
        any = true;
        if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.push_back(std::move(field));
            field.clear();
        } else if (c == '\n' || (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n')) {
            if (c == '\r')
                ++at;
            fields.push_back(std::move(field));
            field.clear();
            records.push_back(std::move(fields));
            fields.clear();
            any = false;
        } else {
            field += c;
        }
    }
    if (any || quoted) {
        fields.push_back(std::move(field));
        records.push_back(std::move(fields));
    }
    return records;
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
    in.deviceModel = TraitsOf(TesterModel::KD520).name;
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
    const std::string folder = Join(job.root, MonthFolderName(job.time));
    result.folder = job.root;
    // A new name's files that a failed write must not leave behind.
    std::vector<std::string> undo;
    bool renaming = false;
    try {
        // The archive folder itself is made too: absent means its first use.
        std::filesystem::path made;
        for (const std::filesystem::path& part : FsPath(job.root)) {
            made /= part;
            if (made.has_relative_path() && !PathExists(Utf8Path(made)))
                MakeFolderOrThrow(Utf8Path(made));
        }
        MakeFolderOrThrow(folder);
        result.folder = folder;

        const auto known = names.find(job.recordId);
        std::string previous; // the record's name before this write, when it changes
        std::string name;
        if (known != names.end() && IsNameOf(known->second, job.baseName)) {
            name = known->second;
        } else {
            if (known != names.end())
                previous = known->second;
            renaming = !previous.empty();
            name = ClaimName(folder, job.baseName);
            undo.push_back(name + ".txt");
        }
        result.baseName = name;

        WriteReplacing(folder, name + ".txt", job.rawBytes);
        result.kept.push_back(name + ".txt");
        if (!renaming) {
            undo.clear(); // the record's first text: kept whatever follows
            names[job.recordId] = name;
        }
        std::string pdf; // where this write's PDF comes from
        // A PDF already gone (moved in by an earlier write of the job) replaces nothing.
        if (!job.pdfPath.empty() && PathExists(job.pdfPath))
            pdf = job.pdfPath;
        else if (renaming && PathExists(Join(folder, previous + ".pdf")))
            pdf = Join(folder, previous + ".pdf"); // the record's PDF follows its name
        if (!pdf.empty()) {
            if (renaming)
                undo.push_back(name + ".pdf");
            WriteReplacing(folder, name + ".pdf", ReadWhole(pdf, folder));
            result.kept.push_back(name + ".pdf");
        }

        std::vector<std::string> row{name};
        row.insert(row.end(), job.csv.begin(), job.csv.end());
        WriteLogRecord(job.root, name, renaming ? previous : name, CsvLine(row));
        result.kept.emplace_back("tests.csv");
        undo.clear();
        result.ok = true;

        if (renaming) {
            // The new files and the row are in place: the earlier name goes.
            names[job.recordId] = name;
            for (const char* extension : {".txt", ".pdf"})
                if (!RemoveFile(folder, previous + extension))
                    result.reason +=
                        (result.reason.empty() ? "left behind: " : ", ") + previous + extension;
        }
    } catch (const WriteFailure& failure) {
        result.folder = failure.folder;
        result.reason = failure.reason;
        // A rename that failed half-way: the record stays whole under its
        // earlier name, the new name's files go.
        for (const std::string& file : undo) {
            if (RemoveFile(folder, file))
                result.kept.erase(std::remove(result.kept.begin(), result.kept.end(), file),
                                  result.kept.end());
        }
    }
    // Moved in: the caller's copy goes. After a failure it stays for another try.
    if (result.ok && !job.pdfPath.empty()) {
        std::error_code error;
        std::filesystem::remove(FsPath(job.pdfPath), error);
    }
    return result;
}

void RemoveStaleArchiveTemporaries(const std::string& root) {
    if (root.empty())
        return;
    const std::filesystem::path folder = FsPath(root);
    RemoveStaleIn(folder);
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code typeError;
        if (IsMonthFolderName(Utf8Path(it->path().filename())) &&
            it->symlink_status(typeError).type() == std::filesystem::file_type::directory)
            RemoveStaleIn(it->path());
    }
}

ScratchFolder::ScratchFolder(std::string path, std::unique_ptr<FileHold> hold)
    : path_(std::move(path)), hold_(std::move(hold)) {}

ScratchFolder::~ScratchFolder() {
    hold_.reset(); // Windows removes no file that is open
    std::error_code error;
    std::filesystem::remove_all(FsPath(path_), error);
}

std::unique_ptr<ScratchFolder> ScratchFolder::Create(const std::vector<std::string>& parents,
                                                     const std::string& own, std::uintmax_t room) {
    auto makeIn = [room](const std::string& parent,
                         bool needRoom) -> std::unique_ptr<ScratchFolder> {
        std::error_code error;
        if (parent.empty() || !std::filesystem::is_directory(FsPath(parent), error))
            return nullptr;
        if (needRoom && std::filesystem::space(FsPath(parent), error).available < room)
            return nullptr;
        if (error)
            return nullptr;
        std::string path = Utf8Path(FsPath(parent) / "Quillar-XXXXXX");
        if (MakeUniqueFolder(path))
            return nullptr;
        std::unique_ptr<FileHold> hold = FileHold::Take(Utf8Path(FsPath(path) / ".lock"), true);
        if (!hold) {
            std::filesystem::remove_all(FsPath(path), error);
            return nullptr;
        }
        return std::unique_ptr<ScratchFolder>(new ScratchFolder(std::move(path), std::move(hold)));
    };
    for (const std::string& parent : parents)
        if (auto folder = makeIn(parent, true))
            return folder;
    if (!own.empty()) {
        std::error_code error;
        std::filesystem::create_directories(FsPath(own), error);
        if (auto folder = makeIn(own, true))
            return folder;
    }
    for (const std::string& parent : parents)
        if (auto folder = makeIn(parent, false))
            return folder;
    return makeIn(own, false);
}

bool ScratchFolder::HasRoom(std::uintmax_t room) const {
    std::error_code error;
    const std::filesystem::space_info space = std::filesystem::space(FsPath(path_), error);
    return !error && space.available >= room;
}

void RemoveStaleScratchFolders(const std::string& parent) {
    if (parent.empty())
        return;
    const auto before = std::filesystem::file_time_type::clock::now() - StaleTemporaryAge;
    std::error_code error;
    for (std::filesystem::directory_iterator it(FsPath(parent), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = Utf8Path(it->path().filename());
        std::error_code entryError;
        if (name.size() != 14 || !name.starts_with("Quillar-") ||
            it->symlink_status(entryError).type() != std::filesystem::file_type::directory)
            continue;
        const std::string lock = Utf8Path(it->path() / ".lock");
        if (PathExists(lock)) {
            // Held: its program runs (or the lock is not this user's to open).
            if (!FileHold::Take(lock, false))
                continue;
        } else if (const auto changed = std::filesystem::last_write_time(it->path(), entryError);
                   entryError || changed >= before) {
            continue; // just made, its lock to come; or an earlier Quillar's still in use
        }
        std::filesystem::remove_all(it->path(), entryError);
    }
}

ArchiveWriter::ArchiveWriter(Done done, std::string tidyRoot, IndexFactory index)
    : done_(std::move(done)), tidyRoot_(std::move(tidyRoot)), indexFactory_(std::move(index)),
      busy_(!tidyRoot_.empty() || indexFactory_), thread_([this] { Run(); }) {}

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
    std::unique_ptr<ArchiveIndex> index;
    std::string indexProblem;
    if (!tidyRoot_.empty() || indexFactory_) {
        if (!tidyRoot_.empty())
            RemoveStaleArchiveTemporaries(tidyRoot_);
        if (indexFactory_) {
            index = indexFactory_();
            indexProblem = index ? index->Open() : std::string();
        }
        std::lock_guard lock(mutex_);
        busy_ = false;
        if (jobs_.empty())
            idle_.notify_all();
    }
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) {
            lock.unlock();
            index.reset(); // on the thread that made it
            return;        // stopping, and everything is written
        }
        ArchiveJob job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        ArchiveResult result = WriteArchiveJob(job, names_);
        if (result.ok && index) {
            // An index that could not open is tried again at the next record:
            // a folder that comes back takes the records from then on.
            if (!indexProblem.empty())
                indexProblem = index->Open();
            result.historyProblem =
                indexProblem.empty() ? index->Record(job, result) : indexProblem;
        }
        if (done_)
            done_(result);
        lock.lock();
        busy_ = false;
        if (jobs_.empty())
            idle_.notify_all();
    }
}

} // namespace quillar
