#include "app/report_archive.h"

#include "report/builtin_resources.h"
#include "report/device_chars.h"
#include "report/phrase_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quillar {
namespace {

namespace fs = std::filesystem;

constexpr ArchiveTime kMorning{2026, 12, 8, 9, 56};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ArchiveNames, baseNameJoinsTimeModelAndRegistration_unsafeCharactersReplaced) {
    EXPECT_EQ(ArchiveBaseName(kMorning, "KD520", "WX12345"), "2026-12-08 0956 KD520 WX12345");
    EXPECT_EQ(ArchiveBaseName({2027, 1, 2, 0, 5}, "QM", ""), "2027-01-02 0005 QM");
    // Blank registration, blanks around it, and a trailing dot that Windows drops.
    EXPECT_EQ(ArchiveBaseName(kMorning, "KD318", "  \t "), "2026-12-08 0956 KD318");
    EXPECT_EQ(ArchiveBaseName(kMorning, "KD318", " AB 12. "), "2026-12-08 0956 KD318 AB 12");
    // A path cannot be smuggled in; every refused character becomes '_'.
    EXPECT_EQ(ArchiveBaseName(kMorning, "KD520", "../x/y\\z:*?\"<>|\x01!"),
              "2026-12-08 0956 KD520 .._x_y_z________!");
    // Letters beyond ASCII stay, and a long entry is cut between letters.
    EXPECT_EQ(ArchiveBaseName(kMorning, "KD520", "KRĘ 4711"), "2026-12-08 0956 KD520 KRĘ 4711");
    const std::string longEntry = std::string(63, 'A') + "Ę" + "B";
    const std::string name = ArchiveBaseName(kMorning, "KD520", longEntry);
    EXPECT_EQ(name, "2026-12-08 0956 KD520 " + std::string(63, 'A'));
    EXPECT_EQ(MonthFolderName(kMorning), "2026-12");
    EXPECT_EQ(MonthFolderName({2027, 3, 1, 0, 0}), "2027-03");
}

// The sample printout as the shell reads it: device bytes translated, then
// the colon and language tables; and the values the log takes from it.
std::vector<std::string> SampleValues(std::int32_t language) {
    std::ostringstream bytes;
    bytes << std::ifstream(QUILLAR_SAMPLES_DIR "/kd520.txt", std::ios::binary).rdbuf();
    static const LineList languages = LoadLineList(BuiltinResource("utf8Text"));
    std::string text = TranslateDeviceBytes(bytes.str(), "KD520", language); // Ω is "&#937"
    ApplyPhraseTables(text, LoadLineList(BuiltinResource("colonText")), languages, language);
    return Kd520Values(text, language, &languages);
}

TEST(ArchiveLog, csvLineQuotesEverySeparator_andMakesFormulasText) {
    EXPECT_EQ(CsvLine({"a", "b c", "", "12.54", "1+1=2"}), "a,b c,,12.54,1+1=2\r\n");
    EXPECT_EQ(CsvLine({"12,5", "say \"hi\"", "a;b", "a\tb", "two\r\nlines"}),
              "\"12,5\",\"say \"\"hi\"\"\",\"a;b\",\"a\tb\",\"two\r\nlines\"\r\n");
    EXPECT_EQ(CsvLine({"=1+1", "+49", "-5", "@SUM(A1)", "\tx", "\rx", "=\"x\";y"}),
              "\"'=1+1\",\"'+49\",\"'-5\",\"'@SUM(A1)\",\"'\tx\",\"'\rx\",\"'=\"\"x\"\";y\"\r\n");
}

TEST(ArchiveLog, recordOfTheSameKeyIsReplaced_newKeysAppended_headerWrittenOnce) {
    const std::string header = "File,Value\r\n";
    std::string log = WithCsvRecord("", header, "t1", CsvLine({"t1", "first"}));
    EXPECT_EQ(log, header + "t1,first\r\n");
    log = WithCsvRecord(log, header, "t2", CsvLine({"t2", "second"}));
    log = WithCsvRecord(log, header, "t1", CsvLine({"t1", "again"}));
    EXPECT_EQ(log, header + "t1,again\r\nt2,second\r\n");
    // A key that is a prefix of another, and a key that must be quoted.
    log = WithCsvRecord(log, header, "t", CsvLine({"t", "short"}));
    log = WithCsvRecord(log, header, "a,b", CsvLine({"a,b", "1"}));
    log = WithCsvRecord(log, header, "a,b", CsvLine({"a,b", "2"}));
    EXPECT_EQ(log, header + "t1,again\r\nt2,second\r\nt,short\r\n\"a,b\",2\r\n");
    // A quoted line break does not begin a record, even one that looks like
    // another key's: t3 is found after it, t1's field stays whole.
    log = WithCsvRecord(header, header, "t1", CsvLine({"t1", "x\r\nt3,fake"}));
    log = WithCsvRecord(log, header, "t3", CsvLine({"t3", "real"}));
    log = WithCsvRecord(log, header, "t3", CsvLine({"t3", "new"}));
    EXPECT_EQ(log, header + "t1,\"x\r\nt3,fake\"\r\nt3,new\r\n");
    log = WithCsvRecord(log, header, "t1", CsvLine({"t1", "y"}));
    EXPECT_EQ(log, header + "t1,y\r\nt3,new\r\n");
    // A renamed record's row takes the place of its earlier name's; another
    // row of either name goes, the rest stay in order.
    EXPECT_EQ(WithCsvRecord(header + "a,1\r\nb,2\r\nc,3\r\na,5\r\n", header, "c", "a",
                            CsvLine({"c", "4"})),
              header + "c,4\r\nb,2\r\n");
    // A header equal to a key's field is not taken for a record; a log a user
    // saved without its last line end gets one.
    EXPECT_EQ(WithCsvRecord("File,Value", header, "File", CsvLine({"File", "v"})),
              "File,Value\r\nFile,v\r\n");
}

TEST(ArchiveLog, characterReferencesDecodedAsTheyRead) {
    // The device's five characters without ';' (a digit after one is the
    // printout's); with ';' every digit, decimal or hexadecimal.
    EXPECT_EQ(DecodeCharacterReferences("5.92m&#937 M&#252nchen &#2521 &#2521;&#x3A9;&#128512;"),
              "5.92mΩ München ü1 \u09D9Ω😀");
    EXPECT_EQ(DecodeCharacterReferences("a&nbspb&nbsp;&amp;&lt;b&gt;&quot;&apos;"), "a b &<b>\"'");
    // No reference stays as written; no letter becomes U+FFFD.
    EXPECT_EQ(DecodeCharacterReferences("R&D &copy; &# &#x; &#;&"), "R&D &copy; &# &#x; &#;&");
    EXPECT_EQ(DecodeCharacterReferences("&#0;&#xD800;&#99999999999;"), "\uFFFD\uFFFD\uFFFD");
}

TEST(ArchiveLog, kd520ValuesAreNumbersInTheirColumnsUnit_alsoWithTranslatedLabels) {
    const std::vector<std::string> numbers{"480",   "505",  "12.54", "5.92",  "90", "100",
                                           "10.00", "2000", "13.70", "14.70", "10"};
    for (std::int32_t language = 0; language <= 3; ++language) {
        const std::vector<std::string> values = SampleValues(language);
        ASSERT_EQ(values.size(), Kd520ValueCount());
        // The verdict as the page shows it, translated for languages 1 to 3.
        EXPECT_TRUE(language == 0 ? values[0] == "GOOD"
                                  : !values[0].empty() && values[0] != "GOOD");
        EXPECT_EQ(values[1], "GB");
        EXPECT_EQ(std::vector(values.begin() + 2, values.end()), numbers) << language;
    }
    // A value in another unit, or no number, is left empty rather than put
    // in the wrong column: a battery code, a decimal comma, ohms, seconds.
    EXPECT_EQ(Kd520Values("G&#214D BATTERY<br>Select Input: JIS<br>Rated: 55D23L<br>"
                          "Healthy: 87% 540 EN<br>Charge: 93% 12,71V<br>Internal R= 4.98 "
                          "&#937<br>Cranking Time 2.0S<br>Ripple 0.1V<br>",
                          0, nullptr),
              (std::vector<std::string>{"GÖD", "JIS", "", "540", "", "", "93", "87", "", "", "", "",
                                        ""}));
    EXPECT_EQ(Kd520Values("", 0, nullptr), std::vector<std::string>(Kd520ValueCount()));
}

class ArchiveFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        do
            dir_ = fs::temp_directory_path() / ("quillar-archive-" + std::to_string(random()));
        while (!fs::create_directory(dir_));
        root_ = dir_ / "reports" / "shop";
    }
    void TearDown() override {
        std::error_code error;
        fs::permissions(root_, fs::perms::owner_all, error);
        fs::remove_all(dir_);
    }

    ArchiveJob Job(std::uint64_t id, const std::string& raw, const std::string& value) const {
        ArchiveJob job;
        job.recordId = id;
        job.root = root_.string();
        job.time = kMorning;
        job.baseName = ArchiveBaseName(kMorning, "KD520", "WX12345");
        job.rawBytes = raw;
        job.csv = {value};
        return job;
    }
    std::string Pdf(const std::string& content) const {
        const fs::path path = dir_ / ("render-" + content + ".pdf");
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    std::vector<std::string> FilesIn(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
    fs::path root_;
};

TEST_F(ArchiveFilesTest, sameRecordRewritesItsFiles_otherRecordOfSameNameGetsSuffix) {
    std::map<std::uint64_t, std::string> names;
    const std::string raw("\x1b@GOOD\r\n\0\xff", 10);
    ArchiveJob first = Job(1, raw, "printed");
    first.pdfPath = Pdf("pdf-one");
    const ArchiveResult written = WriteArchiveJob(first, names);
    ASSERT_TRUE(written.ok) << written.reason;
    const fs::path month = root_ / "2026-12";
    EXPECT_EQ(written.folder, month.string());
    EXPECT_EQ(written.baseName, "2026-12-08 0956 KD520 WX12345");
    EXPECT_EQ(ReadFile(month / "2026-12-08 0956 KD520 WX12345.txt"), raw);
    EXPECT_EQ(ReadFile(month / "2026-12-08 0956 KD520 WX12345.pdf"), "pdf-one");
    EXPECT_FALSE(fs::exists(first.pdfPath)); // moved in, not left behind

    // Printed, then cleared: the same record rewrites its files.
    ArchiveJob again = Job(1, raw + "more", "cleared");
    again.pdfPath = Pdf("pdf-two");
    ASSERT_TRUE(WriteArchiveJob(again, names).ok);
    EXPECT_EQ(ReadFile(month / "2026-12-08 0956 KD520 WX12345.txt"), raw + "more");
    EXPECT_EQ(ReadFile(month / "2026-12-08 0956 KD520 WX12345.pdf"), "pdf-two");

    // Another test in the same minute of the same car: nothing is overwritten.
    const ArchiveResult second = WriteArchiveJob(Job(2, "second", "other"), names);
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(second.baseName, "2026-12-08 0956 KD520 WX12345 (2)");
    // After a restart the names map is empty: files on disk still count.
    std::map<std::uint64_t, std::string> restarted;
    EXPECT_EQ(WriteArchiveJob(Job(1, "third", "x"), restarted).baseName,
              "2026-12-08 0956 KD520 WX12345 (3)");
    EXPECT_EQ(ReadFile(month / "2026-12-08 0956 KD520 WX12345.txt"), raw + "more");

    // A spreadsheet reads the log as UTF-8: it starts with the byte-order mark.
    EXPECT_EQ(ReadFile(root_ / "tests.csv").substr(0, 8), "\xEF\xBB\xBF"
                                                          "File,");
    EXPECT_EQ(ReadFile(root_ / "tests.csv"), ArchiveCsvHeader() +
                                                 "2026-12-08 0956 KD520 WX12345,cleared\r\n" +
                                                 "2026-12-08 0956 KD520 WX12345 (2),other\r\n" +
                                                 "2026-12-08 0956 KD520 WX12345 (3),x\r\n");
    // No temporary file is left in either folder; the log's lock stays.
    EXPECT_EQ(FilesIn(root_),
              (std::vector<std::string>{".tests.csv.lock", "2026-12", "tests.csv"}));
    EXPECT_EQ(FilesIn(month).size(), 4u);
}

TEST_F(ArchiveFilesTest, registrationCorrectedBeforeClear_filesAndRowFollowTheNewName) {
    std::map<std::uint64_t, std::string> names;
    const fs::path month = root_ / "2026-12";
    const std::string car = "2026-12-08 0956 KD520 WX12345";
    const std::string van = "2026-12-08 0956 KD520 AB 123";
    // Printed under the registration typed then; another test of the van.
    ArchiveJob printed = Job(1, "raw", "printed");
    printed.pdfPath = Pdf("printed");
    ASSERT_TRUE(WriteArchiveJob(printed, names).ok);
    ArchiveJob other = Job(2, "other", "other");
    other.baseName = van;
    ASSERT_TRUE(WriteArchiveJob(other, names).ok);

    // Corrected to the van's registration, then cleared: the van's name is
    // taken, so the record gets the next; the car's files and row go.
    ArchiveJob cleared = Job(1, "raw more", "cleared");
    cleared.baseName = van;
    cleared.pdfPath = Pdf("cleared");
    const ArchiveResult moved = WriteArchiveJob(cleared, names);
    ASSERT_TRUE(moved.ok) << moved.reason;
    EXPECT_EQ(moved.baseName, van + " (2)");
    EXPECT_EQ(moved.kept,
              (std::vector<std::string>{van + " (2).txt", van + " (2).pdf", "tests.csv"}));
    EXPECT_TRUE(moved.reason.empty()) << moved.reason;
    EXPECT_EQ(FilesIn(month),
              (std::vector<std::string>{van + " (2).pdf", van + " (2).txt", van + ".txt"}));
    EXPECT_EQ(ReadFile(month / (van + " (2).txt")), "raw more");
    EXPECT_EQ(ReadFile(month / (van + " (2).pdf")), "cleared");
    EXPECT_FALSE(fs::exists(cleared.pdfPath));
    // Its row replaced where it stood.
    EXPECT_EQ(ReadFile(root_ / "tests.csv"),
              ArchiveCsvHeader() + van + " (2),cleared\r\n" + van + ",other\r\n");
    // The same proposal again keeps the suffixed name; its PDF, moved in
    // already, is not made empty.
    ASSERT_EQ(WriteArchiveJob(cleared, names).baseName, van + " (2)");
    EXPECT_EQ(ReadFile(month / (van + " (2).pdf")), "cleared");

    // Back to the car, without a PDF this time: the record's PDF follows.
    const ArchiveResult back = WriteArchiveJob(Job(1, "raw back", "back"), names);
    ASSERT_TRUE(back.ok) << back.reason;
    EXPECT_EQ(back.baseName, car);
    EXPECT_EQ(back.kept, (std::vector<std::string>{car + ".txt", car + ".pdf", "tests.csv"}));
    EXPECT_EQ(FilesIn(month), (std::vector<std::string>{van + ".txt", car + ".pdf", car + ".txt"}));
    EXPECT_EQ(ReadFile(month / (car + ".pdf")), "cleared");

    // A rename that fails half-way (the log cannot be replaced) leaves the
    // record whole under its name, nothing under the new one, and the PDF for
    // another try, which then succeeds.
    fs::remove(root_ / "tests.csv");
    fs::create_directory(root_ / "tests.csv");
    ArchiveJob failing = Job(1, "raw failing", "failing");
    failing.baseName = ArchiveBaseName(kMorning, "KD520", "ZZ 9");
    failing.pdfPath = Pdf("failing");
    const ArchiveResult failed = WriteArchiveJob(failing, names);
    EXPECT_FALSE(failed.ok);
    EXPECT_TRUE(failed.kept.empty());
    EXPECT_EQ(FilesIn(month), (std::vector<std::string>{van + ".txt", car + ".pdf", car + ".txt"}));
    EXPECT_EQ(ReadFile(month / (car + ".txt")), "raw back");
    EXPECT_TRUE(fs::exists(failing.pdfPath));
    fs::remove(root_ / "tests.csv");
    ASSERT_TRUE(WriteArchiveJob(failing, names).ok);
    EXPECT_EQ(FilesIn(month), (std::vector<std::string>{van + ".txt", failing.baseName + ".pdf",
                                                        failing.baseName + ".txt"}));
    EXPECT_EQ(ReadFile(root_ / "tests.csv"),
              ArchiveCsvHeader() + failing.baseName + ",failing\r\n");
    EXPECT_FALSE(fs::exists(failing.pdfPath));
}

TEST_F(ArchiveFilesTest, logOfAnEarlierLayoutIsMovedAsideUnchanged_andANewOneBegun) {
    std::map<std::uint64_t, std::string> names;
    const fs::path log = root_ / "tests.csv";
    fs::create_directories(root_);
    const std::string earlier = "\xEF\xBB\xBF"
                                "File,Model,Result,Rated CCA\r\nx,KD520,GOOD,480 A\r\n";
    std::ofstream(log, std::ios::binary) << earlier;
    ASSERT_TRUE(WriteArchiveJob(Job(1, "raw", "first"), names).ok);
    EXPECT_EQ(ReadFile(log), ArchiveCsvHeader() + "2026-12-08 0956 KD520 WX12345,first\r\n");
    // Saved again by a spreadsheet without the byte-order mark and with LF:
    // the same layout, extended.
    std::string resaved = ArchiveCsvHeader().substr(3);
    resaved.replace(resaved.size() - 2, 2, "\nx,y\n");
    std::ofstream(log, std::ios::binary) << resaved;
    ASSERT_TRUE(WriteArchiveJob(Job(2, "raw", "second"), names).ok);
    EXPECT_EQ(ReadFile(log), resaved + "2026-12-08 0956 KD520 WX12345 (2),second\r\n");
    // Another earlier log gets the next free name; an empty one is just begun.
    std::ofstream(log, std::ios::binary) << "File,Result\r\n";
    ASSERT_TRUE(WriteArchiveJob(Job(1, "raw", "third"), names).ok);
    std::ofstream(log, std::ios::binary).flush();
    ASSERT_TRUE(WriteArchiveJob(Job(1, "raw", "fourth"), names).ok);
    EXPECT_EQ(ReadFile(log), ArchiveCsvHeader() + "2026-12-08 0956 KD520 WX12345,fourth\r\n");
    EXPECT_EQ(ReadFile(root_ / "tests (earlier layout).csv"), earlier);
    EXPECT_EQ(ReadFile(root_ / "tests (earlier layout) (2).csv"), "File,Result\r\n");
    EXPECT_EQ(FilesIn(root_).size(), 5u); // and the log's lock
}

#ifndef _WIN32 // the reading programs are Linux's
// A shell command's standard output; nullopt when it fails.
std::optional<std::string> Output(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    for (std::size_t n; pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    return pipe != nullptr && pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (const char c : text)
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    return parts;
}

// Cells as read back, 0x1F after each but a row's last, 0x1E after each row:
// "csv FILE" by Python's csv module, "fods FILE" from Calc's saved sheet
// (a number as "=%g", a date as "@" and its value, text as shown).
constexpr const char* kReadCells = R"(import csv, sys, xml.etree.ElementTree as E
def out(row): print("\x1f".join(row), end="\x1e")
if sys.argv[1] == "csv":
    for row in csv.reader(open(sys.argv[2], newline="", encoding="utf-8-sig")): out(row)
    sys.exit()
t, o, x = ("{urn:oasis:names:tc:opendocument:xmlns:%s:1.0}" % n for n in ("table", "office", "text"))
def text(e): return (e.text or "") + "".join({x + "tab": "\t", x + "s": " "}.get(c.tag, "") + text(c) + (c.tail or "") for c in e)
for r in E.parse(sys.argv[2]).iter(t + "table-row"):
    row = []
    for c in r.findall(t + "table-cell"):
        k = c.get(o + "value-type")
        v = "=%g" % float(c.get(o + "value")) if k == "float" else "@" + c.get(o + "date-value") if k == "date" else "\n".join(text(p) for p in c.findall(x + "p"))
        row += [v] * min(int(c.get(t + "number-columns-repeated", "1")), 99)
    while row and not row[-1]: row.pop()
    if row: out(row)
)";

TEST_F(ArchiveFilesTest, spreadsheetsReadTheLogAsWritten_pythonCsvAndLibreOfficeImport) {
    // A user's traps in the boxes, and the sample's values.
    ArchiveJob job = Job(1, "raw", "");
    job.csv = {"2026-12-08 09:56", "KD520",   "Garage; North",     "=1+1",
               "北京 Ω, \"Ost\"",  "-5\tJan", "@SUM(A1)\nline two"};
    const std::vector<std::string> values = SampleValues(0);
    job.csv.insert(job.csv.end(), values.begin(), values.end());
    std::map<std::uint64_t, std::string> names;
    ASSERT_TRUE(WriteArchiveJob(job, names).ok);
    std::ofstream(dir_ / "cells.py") << kReadCells;
    auto cells = [&](const std::string& kind, const fs::path& file) {
        return Output("python3 '" + (dir_ / "cells.py").string() + "' " + kind + " '" +
                      file.string() + "'")
            .value_or("failed");
    };
    auto join = [](const std::vector<std::string>& row) {
        std::string text;
        for (const std::string& cell : row)
            text += (text.empty() ? "" : "\x1f") + cell;
        return text + "\x1e";
    };
    const std::vector<std::string> header = Split(
        "File,Date and time,Model,Store name,Vehicle registration,Company,Technician,Test date,"
        "Result,Battery type,Rated CCA (A),Measured CCA (A),Voltage (V),Internal resistance (mΩ),"
        "SOC (%),SOH (%),Cranking voltage (V),Cranking time (ms),Loaded voltage (V),Unloaded "
        "voltage (V),Ripple (mV)",
        ',');
    const std::vector<std::string> row =
        Split("2026-12-08 0956 KD520 WX12345|2026-12-08 09:56|KD520|Garage; North|'=1+1|北京 Ω, "
              "\"Ost\"|'-5\tJan|'@SUM(A1)\nline two|GOOD|GB|480|505|12.54|5.92|90|100|10.00|2000|"
              "13.70|14.70|10",
              '|');
    EXPECT_EQ(cells("csv", root_ / "tests.csv"), join(header) + join(row));

    if (!Output("command -v soffice"))
        GTEST_SKIP() << "LibreOffice (soffice) is not installed: scripts/install-deps installs it";
    // Calc's Text Import as it first opens (tab, comma and semicolon
    // separate, '"' quotes, UTF-8 from the byte-order mark, formulas
    // evaluated), and a headless conversion's import without options.
    const std::string soffice = "soffice -env:UserInstallation=file://" + dir_.string() +
                                "/profile --headless --convert-to fods --outdir ";
    ASSERT_TRUE(Output(soffice + "'" + (dir_ / "dialog").string() +
                       "' --infilter='Text - txt - csv (StarCalc):9/44/59,34,76,1,,0,false,true,"
                       "false,false,false,-1,true' '" +
                       (root_ / "tests.csv").string() + "' >/dev/null 2>&1"));
    ASSERT_TRUE(Output(soffice + "'" + (dir_ / "plain").string() + "' '" +
                       (root_ / "tests.csv").string() + "' >/dev/null 2>&1"));
    // The measurements are numbers, the time a date, every typed trap text.
    std::vector<std::string> shown = row;
    shown[1] = "@2026-12-08T09:56:00";
    for (std::size_t i = 10; i < shown.size(); ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "=%g", std::stod(row[i]));
        shown[i] = number;
    }
    EXPECT_EQ(cells("fods", dir_ / "dialog/tests.fods"), join(header) + join(shown));
    // Without options Calc takes no character set from the byte-order mark
    // (letters beyond ASCII are not ours to check there) and leaves the time
    // as text; the rest reads the same.
    std::vector<std::string> plain =
        Split(Split(cells("fods", dir_ / "plain/tests.fods"), '\x1e').at(1), '\x1f');
    ASSERT_EQ(plain.size(), shown.size());
    plain[5] = shown[5];
    shown[1] = row[1];
    EXPECT_EQ(plain, shown);
}

#endif

TEST_F(ArchiveFilesTest, unwritableFolderFailsWithFolderAndReason_andLeavesNothing) {
#ifdef _WIN32
    if (true) { // a folder's read-only mark does not stop Windows from adding files
#else
    if (geteuid() == 0) {
#endif
        // root writes into a read-only folder; a file in the folder's place fails for anyone.
        fs::create_directories(root_.parent_path());
        std::ofstream(root_) << "not a folder";
    } else {
        fs::create_directories(root_);
        fs::permissions(root_, fs::perms::owner_read | fs::perms::owner_exec |
                                   fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
    }
    std::map<std::uint64_t, std::string> names;
    ArchiveJob job = Job(1, "raw", "v");
    job.pdfPath = Pdf("pdf");
    const ArchiveResult result = WriteArchiveJob(job, names);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.folder.find(root_.string()), std::string::npos) << result.folder;
    EXPECT_FALSE(result.reason.empty());
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(result.kept.empty());
    EXPECT_TRUE(fs::exists(job.pdfPath)); // kept for another try
}

TEST_F(ArchiveFilesTest, writerWritesInOrderOffTheCallersThread_andFinishesAtDestruction) {
    std::mutex mutex;
    std::vector<ArchiveResult> results;
    std::vector<std::thread::id> threads;
    {
        ArchiveWriter writer([&](const ArchiveResult& result) {
            std::lock_guard lock(mutex);
            results.push_back(result);
            threads.push_back(std::this_thread::get_id());
        });
        for (std::uint64_t id = 1; id <= 5; ++id)
            writer.Submit(Job(id, "raw " + std::to_string(id), std::to_string(id)));
        writer.Submit(Job(1, "raw 1 again", "1b"));
    } // the destructor writes the queue out
    ASSERT_EQ(results.size(), 6u);
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_TRUE(results[i].ok);
        EXPECT_NE(threads[i], std::this_thread::get_id());
    }
    EXPECT_EQ(results[5].baseName, results[0].baseName);
    const std::string log = ReadFile(root_ / "tests.csv");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 6); // header and five records
    EXPECT_NE(log.find("WX12345,1b\r\n"), std::string::npos);
    EXPECT_EQ(ReadFile(root_ / "2026-12" / (results[0].baseName + ".txt")), "raw 1 again");
}

TEST_F(ArchiveFilesTest, symbolicLinkLogIsWrittenThroughAndMovedAsideAtItsTarget) {
    // The log kept on a shared folder, reached by a relative link.
    fs::create_directories(root_);
    fs::create_directory(dir_ / "shared");
    const fs::path shared = dir_ / "shared" / "workshop.csv";
    std::ofstream(shared, std::ios::binary) << "File,Result\r\nx,GOOD\r\n"; // an earlier layout
    std::error_code linkError;
    fs::create_symlink("../../shared/workshop.csv", root_ / "tests.csv", linkError);
    if (linkError)
        GTEST_SKIP() << "no symbolic links here: " << linkError.message();

    std::map<std::uint64_t, std::string> names;
    ASSERT_TRUE(WriteArchiveJob(Job(1, "raw", "first"), names).ok);
    ASSERT_TRUE(WriteArchiveJob(Job(2, "raw", "second"), names).ok);
    EXPECT_TRUE(fs::is_symlink(root_ / "tests.csv"));
    EXPECT_EQ(ReadFile(shared), ArchiveCsvHeader() + "2026-12-08 0956 KD520 WX12345,first\r\n" +
                                    "2026-12-08 0956 KD520 WX12345 (2),second\r\n");
    // The earlier log is kept beside the file the link names, under its name.
    EXPECT_EQ(ReadFile(dir_ / "shared" / "workshop (earlier layout).csv"),
              "File,Result\r\nx,GOOD\r\n");
    EXPECT_EQ(FilesIn(dir_ / "shared"),
              (std::vector<std::string>{".workshop.csv.lock", "workshop (earlier layout).csv",
                                        "workshop.csv"}));
    EXPECT_EQ(FilesIn(root_), (std::vector<std::string>{"2026-12", "tests.csv"}));
}

// Writes count records as one program would (its own record ids and names),
// each of its own registration among a few that the other writer uses too;
// every fourth is written again after its registration was corrected. The
// .txt of each record and the last field of its row hold "<writer> <i>".
// Gives how many writes failed.
int WriteRecords(const std::string& root, const std::string& writer, int count) {
    std::map<std::uint64_t, std::string> names;
    int failed = 0;
    auto write = [&](int i, const std::string& registration) {
        ArchiveJob job;
        job.recordId = static_cast<std::uint64_t>(i + 1);
        job.root = root;
        job.time = kMorning;
        job.baseName = ArchiveBaseName(kMorning, "KD520", registration);
        job.rawBytes = writer + " " + std::to_string(i);
        job.csv = {job.rawBytes};
        failed += WriteArchiveJob(job, names).ok ? 0 : 1;
    };
    for (int i = 0; i < count; ++i) {
        write(i, "CAR" + std::to_string(i % 8));
        if (i % 4 == 0)
            write(i, "FIXED" + std::to_string(i % 3));
    }
    return failed;
}

// The month folder's records and the log's rows of root: every row names a
// .txt whose text is the row's last field, no name twice. Gives the number of
// .txt files, of rows, and of .txt files under a corrected registration.
std::array<std::size_t, 3> CountRecords(const fs::path& root) {
    std::map<std::string, std::string> texts; // name -> its .txt
    std::size_t corrected = 0;
    for (const auto& entry : fs::directory_iterator(root / "2026-12")) {
        EXPECT_EQ(entry.path().extension(), ".txt") << entry.path(); // nothing else left
        texts[entry.path().stem().string()] = ReadFile(entry.path());
        corrected += entry.path().stem().string().find("FIXED") != std::string::npos;
    }
    std::string log = ReadFile(root / "tests.csv");
    std::set<std::string> rows;
    std::size_t lineEnd = log.find("\r\n");
    for (std::size_t at = lineEnd + 2; (lineEnd = log.find("\r\n", at)) != std::string::npos;
         at = lineEnd + 2) {
        const std::string row = log.substr(at, lineEnd - at);
        const std::size_t comma = row.rfind(',');
        const std::string name = row.substr(0, comma);
        EXPECT_TRUE(rows.insert(name).second) << "twice: " << name;
        EXPECT_EQ(texts[name], row.substr(comma + 1)) << name;
    }
    return {texts.size(), rows.size(), corrected};
}

TEST_F(ArchiveFilesTest, twoWritersInOneFolderAtOnce_keepEveryRecordAndRow) {
    // Two Quillars on one shared folder, as threads here.
    int failed[2] = {};
    std::thread first([&] { failed[0] = WriteRecords(root_.string(), "A", 200); });
    std::thread second([&] { failed[1] = WriteRecords(root_.string(), "B", 200); });
    first.join();
    second.join();
    EXPECT_EQ(failed[0] + failed[1], 0);
    EXPECT_EQ(CountRecords(root_), (std::array<std::size_t, 3>{400, 400, 100}));
}

#ifndef _WIN32
TEST_F(ArchiveFilesTest, twoWriterProgramsInOneFolderAtOnce_keepEveryRecordAndRow) {
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        ASSERT_GE(children[i], 0);
        if (children[i] == 0)
            _exit(WriteRecords(root_.string(), i == 0 ? "A" : "B", 200) == 0 ? 0 : 1);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(CountRecords(root_), (std::array<std::size_t, 3>{400, 400, 100}));
}
#endif

// A file of the given age, in seconds.
void WriteAged(const fs::path& path, int ageSeconds) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << "partial";
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(ageSeconds));
}

TEST_F(ArchiveFilesTest, killedWritesLeftovers_removedAtTheNextStart_othersKept) {
    const int old = std::chrono::seconds(StaleTemporaryAge).count() + 60;
    const fs::path month = root_ / "2026-11";
    WriteAged(root_ / ".tests.csv.tmp-a1B2c3", old);
    WriteAged(month / ".2026-11-02 0800 QM.pdf.tmp-Zz9yY8", old);
    WriteAged(root_ / "2026-10" / ".2026-10-01 0700 QM.txt.tmp-qwerty", old);
    // Another program's write in progress; the user's own files, also in
    // folders that are no month's.
    WriteAged(root_ / ".tests.csv.tmp-Fresh1", 0);
    WriteAged(root_ / "tests.csv.tmp-abcdef", old);
    WriteAged(root_ / ".notes.tmp-abc", old);
    WriteAged(month / "2026-11-02 0800 QM.txt", old);
    WriteAged(root_ / "photos" / ".car.jpg.tmp-abcdef", old);

    std::vector<ArchiveResult> results;
    {
        ArchiveWriter writer([&](const ArchiveResult& result) { results.push_back(result); },
                             root_.string());
        writer.WaitIdle(); // the tidying is done before the writer is idle
        EXPECT_EQ(FilesIn(root_),
                  (std::vector<std::string>{".notes.tmp-abc", ".tests.csv.tmp-Fresh1", "2026-10",
                                            "2026-11", "photos", "tests.csv.tmp-abcdef"}));
        EXPECT_EQ(FilesIn(month), std::vector<std::string>{"2026-11-02 0800 QM.txt"});
        EXPECT_TRUE(FilesIn(root_ / "2026-10").empty());
        EXPECT_EQ(FilesIn(root_ / "photos"), std::vector<std::string>{".car.jpg.tmp-abcdef"});
        writer.Submit(Job(1, "raw", "v"));
    }
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].ok) << results[0].reason;
    // No archive yet: nothing to tidy, nothing made.
    ArchiveWriter(nullptr, (dir_ / "none").string()).WaitIdle();
    EXPECT_FALSE(fs::exists(dir_ / "none"));
}

TEST_F(ArchiveFilesTest, scratchFolderInTheFirstUsableParent_leftoversOfEndedRunsRemoved) {
    const fs::path temp = dir_ / "temp";
    const fs::path own = dir_ / "cache" / "quillar";
    fs::create_directories(temp);
    std::ofstream(dir_ / "a-file") << "x";
    const std::vector<std::string> parents{(dir_ / "missing").string(), (dir_ / "a-file").string(),
                                           temp.string()};
    auto parentOf = [](const std::unique_ptr<ScratchFolder>& folder) {
        return fs::path(folder->Path()).parent_path();
    };
    {
        // A missing temporary folder or a file in its place is passed over.
        const auto live = ScratchFolder::Create(parents, own.string(), 1);
        ASSERT_NE(live, nullptr);
        EXPECT_EQ(parentOf(live), temp);
        EXPECT_EQ(fs::path(live->Path()).filename().string().substr(0, 8), "Quillar-");
        EXPECT_FALSE(fs::exists(own)); // not needed, not made
        // None with the room: the user's own folder is made and tried, then
        // the first that can be written in.
        const auto roomless = ScratchFolder::Create(parents, own.string(), std::uintmax_t(-1));
        ASSERT_NE(roomless, nullptr);
        EXPECT_EQ(parentOf(roomless), temp);
        EXPECT_TRUE(fs::is_directory(own));
        const auto ownOnly = ScratchFolder::Create({(dir_ / "missing").string()}, own.string(), 1);
        ASSERT_NE(ownOnly, nullptr);
        EXPECT_EQ(parentOf(ownOnly), own);
        EXPECT_EQ(ScratchFolder::Create({(dir_ / "missing").string()}, "", 1), nullptr);

        // Left behind: a killed run's (its lock held by no one), an earlier
        // Quillar's without a lock; kept: the live ones, one just being made,
        // and anything else.
        const int old = std::chrono::seconds(StaleTemporaryAge).count() + 60;
        WriteAged(temp / "Quillar-kiLLed" / "1-1.pdf", 0);
        WriteAged(temp / "Quillar-kiLLed" / ".lock", 0);
#ifndef _WIN32 // where a folder's time can be set
        WriteAged(temp / "Quillar-earli1" / "3-2.pdf", old);
        fs::last_write_time(temp / "Quillar-earli1",
                            fs::file_time_type::clock::now() - std::chrono::seconds(old));
#endif
        fs::create_directory(temp / "Quillar-making");
        WriteAged(temp / "Quillar-notes" / "x", old);
        WriteAged(temp / "Quillar-file01", old);
        std::ofstream(fs::path(live->Path()) / "2-1.pdf") << "in progress";
        RemoveStaleScratchFolders(temp.string());
        std::vector<std::string> expected{fs::path(live->Path()).filename().string(),
                                          fs::path(roomless->Path()).filename().string(),
                                          "Quillar-file01", "Quillar-making", "Quillar-notes"};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(FilesIn(temp), expected);
        EXPECT_EQ(ReadFile(fs::path(live->Path()) / "2-1.pdf"), "in progress");
    }
    // Gone with their objects.
    EXPECT_EQ(FilesIn(temp),
              (std::vector<std::string>{"Quillar-file01", "Quillar-making", "Quillar-notes"}));
    EXPECT_TRUE(FilesIn(own).empty());
}

} // namespace
} // namespace quillar
