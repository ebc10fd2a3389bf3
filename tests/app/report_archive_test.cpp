#include "app/report_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
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

TEST(ArchiveLog, csvLineQuotesOnlyWhatNeedsIt_andKeepsOneLinePerRecord) {
    EXPECT_EQ(CsvLine({"a", "b c", ""}), "a,b c,\r\n");
    EXPECT_EQ(CsvLine({"12,5 V", "say \"hi\""}), "\"12,5 V\",\"say \"\"hi\"\"\"\r\n");
    EXPECT_EQ(CsvLine({"two\r\nlines", "x"}), "two  lines,x\r\n");
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
    // A header equal to a key's field is not taken for a record; a log a user
    // saved without its last line end gets one.
    EXPECT_EQ(WithCsvRecord("File,Value", header, "File", CsvLine({"File", "v"})),
              "File,Value\r\nFile,v\r\n");
}

TEST(ArchiveLog, kd520ValuesAreThoseThePageShows) {
    const std::string received = "GOOD BATTERY<br>Select Input: CCA<br>Rated: 600CCA<br>"
                                 "Healthy: 87% 540CCA<br>Charge: 93% 12.71V<br>"
                                 "Internal R= 4.98mΩ<br>";
    const std::vector<std::string> values = Kd520Values(received);
    ASSERT_EQ(values.size(), 7u);
    EXPECT_EQ(values[0], "GOOD");
    EXPECT_EQ(values[1], "600CCA");
    EXPECT_EQ(values[2], "540CCA");
    EXPECT_EQ(values[3], "12.71V");
    EXPECT_EQ(values[4], "4.98mΩ");
    EXPECT_NE(values[5].find("93"), std::string::npos);
    EXPECT_NE(values[6].find("87"), std::string::npos);
    // Nothing received: every field empty, no placeholder leaks into the log.
    for (const std::string& value : Kd520Values(""))
        EXPECT_EQ(value, "");
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
