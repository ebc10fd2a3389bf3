#include "app/report_archive.h"

#include "report/builtin_resources.h"
#include "report/device_chars.h"
#include "report/phrase_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

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

// The shell's reading of a printout: device bytes translated, then the
// colon and language tables.
std::string ReceivedText(std::string_view bytes, std::int32_t language) {
    std::string text = TranslateDeviceBytes(bytes, "KD520", language);
    ApplyPhraseTables(text, LoadLineList(BuiltinResource("colonText")),
                      LoadLineList(BuiltinResource("utf8Text")), language);
    return text;
}

TEST(ArchiveLog, csvLineQuotesEverySeparator_andMakesFormulasText) {
    EXPECT_EQ(CsvLine({"a", "b c", "", "12.54"}), "a,b c,,12.54\r\n");
    EXPECT_EQ(CsvLine({"12,5 V", "say \"hi\"", "a;b", "a\tb"}),
              "\"12,5 V\",\"say \"\"hi\"\"\",\"a;b\",\"a\tb\"\r\n");
    // A line break stays in its quoted field.
    EXPECT_EQ(CsvLine({"two\r\nlines", "x"}), "\"two\r\nlines\",x\r\n");
    // What a spreadsheet would evaluate reads as text; the same characters
    // later in a field are harmless.
    EXPECT_EQ(CsvLine({"=1+1", "+49 30", "-5", "@SUM(A1)", "\tx", "\rx", "1+1=2", "a-b"}),
              "\"'=1+1\",\"'+49 30\",\"'-5\",\"'@SUM(A1)\",\"'\tx\",\"'\rx\",1+1=2,a-b\r\n");
    EXPECT_EQ(CsvLine({"=\"x\";y"}), "\"'=\"\"x\"\";y\"\r\n");
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
    // A header equal to a key's field is not taken for a record; a log a user
    // saved without its last line end gets one.
    EXPECT_EQ(WithCsvRecord("File,Value", header, "File", CsvLine({"File", "v"})),
              "File,Value\r\nFile,v\r\n");
}

TEST(ArchiveLog, characterReferencesDecodedAsTheyRead) {
    // The device's five-character references, without ';'.
    EXPECT_EQ(DecodeCharacterReferences("5.92m&#937"), "5.92mΩ");
    EXPECT_EQ(DecodeCharacterReferences("M&#252nchen &#321&#243d&#378"), "München Łódź");
    // A digit after a device letter is the printout's; with ';' a reference
    // takes every digit, decimal or hexadecimal, up to four UTF-8 bytes.
    EXPECT_EQ(DecodeCharacterReferences("&#2521"), "ü1");
    EXPECT_EQ(DecodeCharacterReferences("&#2521;&#937;&#x3A9;&#X4E2D;&#128512;&#65"),
              "\u09D9ΩΩ中😀A");
    // Named ones with or without ';'; the non-breaking blank is a blank.
    EXPECT_EQ(DecodeCharacterReferences("a&nbspb&nbsp;c &amp;&lt;b&gt; &quot;q&quot &apos;"),
              "a b c &<b> \"q\" '");
    // What is no reference stays as written; what no letter is becomes U+FFFD.
    EXPECT_EQ(DecodeCharacterReferences("R&D &copy; &# &#x; &#;&"), "R&D &copy; &# &#x; &#;&");
    EXPECT_EQ(DecodeCharacterReferences("&#0;&#xD800;&#99999999999999;&#x110000;"),
              "\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(ArchiveLog, kd520ValuesAreNumbersInTheirColumnsUnit_verdictAndTypeAsText) {
    std::ifstream sample(QUILLAR_SAMPLES_DIR "/kd520.txt", std::ios::binary);
    std::ostringstream bytes;
    bytes << sample.rdbuf();
    ASSERT_FALSE(bytes.str().empty());
    const std::string received = ReceivedText(bytes.str(), 0);
    ASSERT_NE(received.find("&#937"), std::string::npos); // the device's Ω, as the page has it
    const LineList languages = LoadLineList(BuiltinResource("utf8Text"));
    EXPECT_EQ(Kd520Values(received, 0, &languages),
              (std::vector<std::string>{"GOOD", "GB", "480", "505", "12.54", "5.92", "90", "100",
                                        "10.00", "2000", "13.70", "14.70", "10"}));
    EXPECT_EQ(Kd520ValueCount(), 13u);
    // In Chinese, Japanese and Korean the labels are translated: the same
    // measurements, found through the language and its table.
    for (std::int32_t language = 1; language <= 3; ++language) {
        const std::vector<std::string> translated =
            Kd520Values(ReceivedText(bytes.str(), language), language, &languages);
        ASSERT_EQ(translated.size(), Kd520ValueCount());
        EXPECT_EQ(std::vector<std::string>(translated.begin() + 2, translated.end()),
                  (std::vector<std::string>{"480", "505", "12.54", "5.92", "90", "100", "10.00",
                                            "2000", "13.70", "14.70", "10"}))
            << "language " << language;
        EXPECT_NE(translated[0], "");
        EXPECT_NE(translated[0], "GOOD"); // the translated verdict, as the page shows it
    }

    // Another standard's units, an accented verdict; a value in another unit
    // or no number at all is left empty rather than put in the wrong column.
    const std::string other = "G&#214D BATTERY<br>Select Input: JIS<br>Rated: 55D23L<br>"
                              "Healthy: 87% 540 EN<br>Charge: 93% 12,71V<br>"
                              "Internal R= 4.98 &#937<br>Cranking Time 2.0S<br>"
                              "Ripple 0.1V<br>";
    const std::vector<std::string> values = Kd520Values(other, 0, nullptr);
    ASSERT_EQ(values.size(), Kd520ValueCount());
    EXPECT_EQ(values[0], "GÖD");
    EXPECT_EQ(values[1], "JIS");
    EXPECT_EQ(values[2], "");    // a battery code
    EXPECT_EQ(values[3], "540"); // EN amperes
    EXPECT_EQ(values[4], "");    // a decimal comma is no number here
    EXPECT_EQ(values[5], "");    // ohms, not milliohms
    EXPECT_EQ(values[6], "93");
    EXPECT_EQ(values[7], "87");
    EXPECT_EQ(values[9], "");  // seconds
    EXPECT_EQ(values[12], ""); // volts
    // Nothing received: every field empty, no placeholder leaks into the log.
    EXPECT_EQ(Kd520Values("", 0, nullptr), std::vector<std::string>(Kd520ValueCount()));
}

class ArchiveFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quillar-archive-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        root_ = dir_ / "reports" / "shop";
    }
    void TearDown() override {
        chmod(dir_.c_str(), 0755);
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

    // Printed, then cleared: the same record, a later name proposal ignored.
    ArchiveJob again = Job(1, raw + "more", "cleared");
    again.baseName = "2026-12-08 0956 KD520 OTHER";
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
    // No temporary file is left in either folder.
    EXPECT_EQ(FilesIn(root_), (std::vector<std::string>{"2026-12", "tests.csv"}));
    EXPECT_EQ(FilesIn(month).size(), 4u);
}

TEST_F(ArchiveFilesTest, logOfAnEarlierLayoutIsMovedAsideUnchanged_andANewOneBegun) {
    std::map<std::uint64_t, std::string> names;
    fs::create_directories(root_);
    const std::string earlier = "\xEF\xBB\xBF"
                                "File,Date and time,Model,Store name,Vehicle registration,"
                                "Company,Technician,Test date,Result,Rated CCA,Measured CCA,"
                                "Voltage,Internal resistance,SOC,SOH\r\n"
                                "2026-11-30 1200 KD520,2026-11-30 12:00,KD520,,,,,,GOOD,480 A,"
                                "505CCA,12.54V,5.92m&#937,90%,100%\r\n";
    std::ofstream(root_ / "tests.csv", std::ios::binary) << earlier;
    ASSERT_TRUE(WriteArchiveJob(Job(1, "raw", "first"), names).ok);
    EXPECT_EQ(ReadFile(root_ / "tests (earlier layout).csv"), earlier);
    const std::string current = ArchiveCsvHeader() + "2026-12-08 0956 KD520 WX12345,first\r\n";
    EXPECT_EQ(ReadFile(root_ / "tests.csv"), current);
    // The log of this layout is extended, the one moved aside left alone.
    ASSERT_TRUE(WriteArchiveJob(Job(2, "raw", "second"), names).ok);
    EXPECT_EQ(ReadFile(root_ / "tests.csv"),
              current + "2026-12-08 0956 KD520 WX12345 (2),second\r\n");
    EXPECT_EQ(ReadFile(root_ / "tests (earlier layout).csv"), earlier);

    // A spreadsheet saved it again without the byte-order mark and with LF
    // line ends: the same layout, so kept and extended.
    std::string resaved = ArchiveCsvHeader().substr(3);
    resaved.resize(resaved.size() - 2);
    resaved += "\nsomething,else\n";
    std::ofstream(root_ / "tests.csv", std::ios::binary) << resaved;
    ASSERT_TRUE(WriteArchiveJob(Job(3, "raw", "third"), names).ok);
    EXPECT_EQ(ReadFile(root_ / "tests.csv"),
              resaved + "2026-12-08 0956 KD520 WX12345 (3),third\r\n");

    // Another earlier log (a backup put back): a name not yet taken. An empty
    // file is no layout at all and is simply begun.
    std::ofstream(root_ / "tests.csv", std::ios::binary) << "File,Result\r\nx,GOOD\r\n";
    ASSERT_TRUE(WriteArchiveJob(Job(1, "raw", "again"), names).ok);
    EXPECT_EQ(ReadFile(root_ / "tests (earlier layout) (2).csv"), "File,Result\r\nx,GOOD\r\n");
    EXPECT_EQ(ReadFile(root_ / "tests (earlier layout).csv"), earlier);
    std::ofstream(root_ / "tests.csv", std::ios::binary).flush();
    ASSERT_TRUE(WriteArchiveJob(Job(1, "raw", "fresh"), names).ok);
    EXPECT_EQ(ReadFile(root_ / "tests.csv"),
              ArchiveCsvHeader() + "2026-12-08 0956 KD520 WX12345,fresh\r\n");
    EXPECT_EQ(FilesIn(root_),
              (std::vector<std::string>{"2026-12", "tests (earlier layout) (2).csv",
                                        "tests (earlier layout).csv", "tests.csv"}));
}

// Runs a shell command; its standard output, or nullopt when it fails.
std::optional<std::string> Output(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return std::nullopt;
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    return pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

// Rows of cells as a reader's script prints them: cells end with 0x1F, rows with 0x1E.
std::vector<std::vector<std::string>> Cells(const std::string& out) {
    std::vector<std::vector<std::string>> rows(1);
    std::string cell;
    for (const char c : out) {
        if (c == '\x1f') {
            rows.back().push_back(cell);
            cell.clear();
        } else if (c == '\x1e') {
            rows.emplace_back();
        } else {
            cell += c;
        }
    }
    rows.pop_back();
    return rows;
}

TEST_F(ArchiveFilesTest, spreadsheetsReadTheLogAsWritten_pythonCsvAndLibreOfficeDefaultImport) {
    std::ifstream sample(QUILLAR_SAMPLES_DIR "/kd520.txt", std::ios::binary);
    std::ostringstream bytes;
    bytes << sample.rdbuf();
    const LineList languages = LoadLineList(BuiltinResource("utf8Text"));
    const std::vector<std::string> values =
        Kd520Values(ReceivedText(bytes.str(), 0), 0, &languages);
    // What a user may type into the boxes, one trap in each.
    const std::vector<std::string> typed{"Garage; North", "=1+1", "北京汽修 Ω, \"Ost\"", "-5\tJan",
                                         "@SUM(A1)\nline two"};
    ArchiveJob job = Job(1, "raw", "");
    job.csv = {"2026-12-08 09:56", "KD520"};
    job.csv.insert(job.csv.end(), typed.begin(), typed.end());
    job.csv.insert(job.csv.end(), values.begin(), values.end());
    std::map<std::uint64_t, std::string> names;
    ASSERT_TRUE(WriteArchiveJob(job, names).ok);
    const fs::path log = root_ / "tests.csv";

    std::vector<std::string> header{"File",
                                    "Date and time",
                                    "Model",
                                    "Store name",
                                    "Vehicle registration",
                                    "Company",
                                    "Technician",
                                    "Test date",
                                    "Result",
                                    "Battery type",
                                    "Rated CCA (A)",
                                    "Measured CCA (A)",
                                    "Voltage (V)",
                                    "Internal resistance (mΩ)",
                                    "SOC (%)",
                                    "SOH (%)",
                                    "Cranking voltage (V)",
                                    "Cranking time (ms)",
                                    "Loaded voltage (V)",
                                    "Unloaded voltage (V)",
                                    "Ripple (mV)"};
    std::vector<std::string> row{"2026-12-08 0956 KD520 WX12345",
                                 "2026-12-08 09:56",
                                 "KD520",
                                 "Garage; North",
                                 "'=1+1",
                                 "北京汽修 Ω, \"Ost\"",
                                 "'-5\tJan",
                                 "'@SUM(A1)\nline two",
                                 "GOOD",
                                 "GB",
                                 "480",
                                 "505",
                                 "12.54",
                                 "5.92",
                                 "90",
                                 "100",
                                 "10.00",
                                 "2000",
                                 "13.70",
                                 "14.70",
                                 "10"};

    const std::optional<std::string> python =
        Output("python3 -c 'import csv, sys\n"
               "for row in csv.reader(open(sys.argv[1], newline=\"\", encoding=\"utf-8-sig\")):\n"
               "    sys.stdout.write(\"\".join(c + \"\\x1f\" for c in row) + \"\\x1e\")' " +
               Quoted(log));
    ASSERT_TRUE(python.has_value());
    EXPECT_EQ(Cells(*python), (std::vector<std::vector<std::string>>{header, row}));

    if (!Output("command -v soffice"))
        GTEST_SKIP() << "LibreOffice (soffice) is not installed: scripts/install-deps installs it";
    // Calc's Text Import as it first opens: tab, comma and semicolon separate,
    // '"' quotes, UTF-8, formulas evaluated. And the import with no options
    // at all, as a headless conversion takes it.
    const std::string profile = "-env:UserInstallation=file://" + (dir_ / "lo-profile").string();
    const std::string dialog = "--infilter='Text - txt - csv (StarCalc):9/44/59,34,76,1,,0,"
                               "false,true,false,false,false,-1,true'";
    ASSERT_TRUE(Output("soffice " + profile + " --headless " + dialog +
                       " --convert-to fods --outdir " + Quoted(dir_ / "dialog") + " " +
                       Quoted(log) + " >/dev/null 2>&1"));
    ASSERT_TRUE(Output("soffice " + profile + " --headless --convert-to fods --outdir " +
                       Quoted(dir_ / "plain") + " " + Quoted(log) + " >/dev/null 2>&1"));
    // Each cell as its type (float for a number) and its text or value.
    const std::string readCells =
        "python3 -c '\n"
        "import sys, xml.etree.ElementTree as ET\n"
        "T = \"{urn:oasis:names:tc:opendocument:xmlns:table:1.0}\"\n"
        "X = \"{urn:oasis:names:tc:opendocument:xmlns:text:1.0}\"\n"
        "O = \"{urn:oasis:names:tc:opendocument:xmlns:office:1.0}\"\n"
        "def text(e):\n"
        "    s = e.text or \"\"\n"
        "    for c in e:\n"
        "        s += {X + \"tab\": \"\\t\", X + \"line-break\": \"\\n\"}.get(c.tag, \"\")\n"
        "        s += \" \" * int(c.get(X + \"c\", \"1\")) if c.tag == X + \"s\" else \"\"\n"
        "        s += text(c) + (c.tail or \"\")\n"
        "    return s\n"
        "for r in ET.parse(sys.argv[1]).iter(T + \"table-row\"):\n"
        "    cells = []\n"
        "    for c in r.findall(T + \"table-cell\"):\n"
        "        kind = c.get(O + \"value-type\") or \"\"\n"
        "        v = c.get(O + \"value\") if kind == \"float\" else \"\\n\".join(text(p) for p in "
        "c.findall(X + \"p\"))\n"
        "        cells += [kind + \":\" + v] * min(int(c.get(T + \"number-columns-repeated\", "
        "\"1\")), 50)\n"
        "    while cells and cells[-1] == \":\": cells.pop()\n"
        "    if cells: sys.stdout.write(\"\".join(c + \"\\x1f\" for c in cells) + \"\\x1e\")' ";
    const std::optional<std::string> dialogCells =
        Output(readCells + Quoted(dir_ / "dialog/tests.fods"));
    const std::optional<std::string> plainCells =
        Output(readCells + Quoted(dir_ / "plain/tests.fods"));
    ASSERT_TRUE(dialogCells && plainCells);
    const std::vector<std::vector<std::string>> dialogRows = Cells(*dialogCells);
    const std::vector<std::vector<std::string>> plainRows = Cells(*plainCells);
    ASSERT_EQ(dialogRows.size(), 2u);
    ASSERT_EQ(plainRows.size(), 2u);
    for (const auto* rows : {&dialogRows, &plainRows}) {
        ASSERT_EQ((*rows)[0].size(), header.size());
        ASSERT_EQ((*rows)[1].size(), header.size());
        // Every measurement is a number, the others text; nothing was evaluated.
        for (std::size_t i = 10; i < header.size(); ++i) {
            const std::string& cell = (*rows)[1][i];
            ASSERT_TRUE(cell.starts_with("float:")) << header[i] << ": " << cell;
            EXPECT_DOUBLE_EQ(std::stod(cell.substr(6)), std::stod(row[i])) << header[i];
        }
        for (std::size_t i : {0, 2, 3, 4, 6, 7, 8, 9})
            EXPECT_EQ((*rows)[1][i], "string:" + row[i]) << header[i];
    }
    // The headless import without options takes no character set from the
    // byte-order mark; the dialog's UTF-8 reads the letters beyond ASCII.
    for (std::size_t i = 0; i < header.size(); ++i)
        EXPECT_EQ(dialogRows[0][i], "string:" + header[i]);
    EXPECT_EQ(dialogRows[1][5], "string:" + row[5]);
}

TEST_F(ArchiveFilesTest, unwritableFolderFailsWithFolderAndReason_andLeavesNothing) {
    if (geteuid() == 0) {
        // root writes into a read-only folder; a file in the folder's place fails for anyone.
        fs::create_directories(root_.parent_path());
        std::ofstream(root_) << "not a folder";
    } else {
        fs::create_directories(root_);
        chmod(root_.c_str(), 0555);
    }
    std::map<std::uint64_t, std::string> names;
    ArchiveJob job = Job(1, "raw", "v");
    job.pdfPath = Pdf("pdf");
    const ArchiveResult result = WriteArchiveJob(job, names);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.folder.find(root_.string()), std::string::npos) << result.folder;
    EXPECT_FALSE(result.reason.empty());
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(fs::exists(job.pdfPath)); // the engine's temporary file is not left behind
    chmod(root_.c_str(), 0755);
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

} // namespace
} // namespace quillar
