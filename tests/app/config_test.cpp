#include "app/braille_conflict.h"
#include "app/config.h"
#include "app/file_locations.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillar {
namespace {

namespace fs = std::filesystem;

// A new, empty folder of the test's own under the system's temporary folder.
fs::path NewTestFolder(const std::string& prefix) {
    std::random_device random;
    for (;;) {
        const fs::path folder = fs::temp_directory_path() / (prefix + std::to_string(random()));
        if (fs::create_directory(folder))
            return folder;
    }
}

class ConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = NewTestFolder("quillar-config-");
        path_ = (dir_ / "quillar.ini").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Write(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_;
    std::string path_;
};

TEST(IniPathTest, extensionIsReplacedOrAdded) {
    EXPECT_EQ(IniPathForExecutable("/opt/quillar/quillar"), "/opt/quillar/quillar.ini");
    EXPECT_EQ(IniPathForExecutable("/opt/quillar/quillar.bin"), "/opt/quillar/quillar.ini");
    // A dot in a folder name or a leading dot is no extension.
    EXPECT_EQ(IniPathForExecutable("/opt/v1.6/quillar"), "/opt/v1.6/quillar.ini");
    EXPECT_EQ(IniPathForExecutable("/opt/.quillar"), "/opt/.quillar.ini");
}

TEST(IniIntegerTest, decimalAndHexadecimalForms) {
    EXPECT_EQ(ParseIniInteger("6"), 6);
    EXPECT_EQ(ParseIniInteger("-1"), -1);
    EXPECT_EQ(ParseIniInteger("+12"), 12);
    EXPECT_EQ(ParseIniInteger("0x6"), 6);
    EXPECT_EQ(ParseIniInteger("0XB"), 11);
    EXPECT_EQ(ParseIniInteger("$6"), 6);
    EXPECT_EQ(ParseIniInteger("$FFFFFFFF"), -1);
    EXPECT_EQ(ParseIniInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseIniInteger("-2147483648"), -2147483647 - 1);
}

TEST(IniIntegerTest, anythingElseIsNoInteger) {
    for (const char* text : {"", "-", "$", "0x", "x", "6x", " 6", "6 ", "1.5", "0x1G", "2147483648",
                             "-2147483649", "$100000000", "99999999999999999999"})
        EXPECT_FALSE(ParseIniInteger(text).has_value()) << '"' << text << '"';
}

TEST(LanguageOptionTest, itemsBlanksQuotesAndEmptyItems) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitLanguageOptions("3, 1,,x"), (V{"3", "1", "", "x"}));
    EXPECT_EQ(SplitLanguageOptions("1,2,3"), (V{"1", "2", "3"}));
    EXPECT_EQ(SplitLanguageOptions("  1 2\t3  "), (V{"1", "2", "3"}));
    EXPECT_EQ(SplitLanguageOptions(""), V{});
    EXPECT_EQ(SplitLanguageOptions("   "), V{});
    EXPECT_EQ(SplitLanguageOptions("1,"), (V{"1", ""}));
    EXPECT_EQ(SplitLanguageOptions(",1"), (V{"", "1"}));
    EXPECT_EQ(SplitLanguageOptions("\"1, 2\",3"), (V{"1, 2", "3"}));
    EXPECT_EQ(SplitLanguageOptions("\"a\"\"b\""), (V{"a\"b"}));
    EXPECT_EQ(SplitLanguageOptions("\"unterminated"), (V{"unterminated"}));
}

TEST_F(ConfigFileTest, missingFileGivesDefaultsAndIsNotCreated) {
    const ShellConfig config = ReadShellConfig(path_);
    EXPECT_EQ(config.language, 0);
    EXPECT_TRUE(config.languageOptions.empty());
    EXPECT_EQ(config.model, "");
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(ConfigFileTest, namesMatchRegardlessOfCaseValuesDoNot) {
    Write("[config]\r\nLANGUAGE=0x6\r\nlanguageoption=3, 1,,x\r\nmodel=kd520\r\n");
    const ShellConfig config = ReadShellConfig(path_);
    EXPECT_EQ(config.language, 6);
    EXPECT_EQ(config.languageOptions, (std::vector<std::string>{"3", "1", "", "x"}));
    EXPECT_EQ(config.model, "kd520"); // compared exactly by the shell: no model
}

TEST_F(ConfigFileTest, archiveFolderAbsentEmptyOrNamed) {
    Write("[Config]\r\nModel=KD520\r\n[Other]\r\nArchiveFolder=/elsewhere\r\n");
    EXPECT_FALSE(ReadShellConfig(path_).archiveFolder.has_value()); // absent: the default
    Write("[Config]\r\nArchiveFolder=\r\n");
    EXPECT_EQ(ReadShellConfig(path_).archiveFolder, std::optional<std::string>(""));
    const std::string named = (dir_ / "Workshop Reports").string();
    Write("[config]\r\narchivefolder = " + named + " \r\n");
    EXPECT_EQ(ReadShellConfig(path_).archiveFolder, std::optional<std::string>(named));
}

TEST_F(ConfigFileTest, archiveFolderAsPeopleWriteIt_anUnusableOneNamesNoFolder) {
    const std::string home = (dir_ / "home" / "ann").string();
    const std::string absolute = (dir_ / "srv" / "reports").string();
    const std::string longName(MaxArchiveFolderLength, 'x');
    using Folder = std::optional<std::string>;
    const struct {
        std::string value;
        Folder folder; // nullopt: no folder Quillar can use
    } cases[] = {
        {absolute, absolute},
        {"\"" + absolute + "\"", absolute},
        {"'" + absolute + " '", absolute + " "}, // inside quotes blanks belong to the name
        {"~", home},
        {"~/reports", home + "/reports"},
        {"$HOME/reports", home + "/reports"},
        {"${HOME}/Workshop Reports", home + "/Workshop Reports"},
        {"\"~/reports\"", home + "/reports"},
        // Taken from the configuration file's folder, not the working directory.
        {"reports", (dir_ / "reports").string()},
        {"../shared/reports", (dir_ / "../shared/reports").string()},
        {"", ""},
        {"\"\"", ""},
        {"~ann/reports", Folder()},
        {"$HOMEDIR/reports", Folder()},
        {"$USER/reports", Folder()},
        {"\"" + absolute, Folder()},
        {"'" + absolute + "\"", Folder()},
        {absolute + "/" + longName, Folder()},
        {"reports/" + longName.substr(10), Folder()}, // too long once taken from the folder
    };
    for (const auto& c : cases) {
        const std::string shown = c.value.substr(0, 60);
        EXPECT_EQ(ResolveArchiveFolder(c.value, path_, home), c.folder) << shown;
        if (c.value.starts_with('~') || c.value.starts_with('$') || c.value.starts_with("\"~"))
            continue; // the file is read with the real home
        // Read from the file: resolved, or kept whole as written and refused.
        Write("[Config]\r\nArchiveFolder=" + c.value + "\r\n");
        const Folder read = ReadShellConfig(path_).archiveFolder;
        EXPECT_EQ(read, c.folder.value_or(c.value)) << shown;
        if (!c.folder) {
            EXPECT_FALSE(UsableArchiveFolder(read.value_or(absolute))) << shown;
        }
    }
    // A home written with its separator; no home; no folder to take a relative path from.
    EXPECT_EQ(ResolveArchiveFolder("~/reports", path_, home + "/"), home + "/reports");
    EXPECT_EQ(ResolveArchiveFolder("$HOME", path_, std::nullopt), Folder());
    EXPECT_EQ(ResolveArchiveFolder("reports", "quillar.ini", home), Folder());
}

TEST_F(ConfigFileTest, garbageAndHugeValues) {
    const std::string huge(100 * 1024, '1');
    Write("[Config]\nLanguage=twelve\nLanguageOption=" + huge + "\nModel=" + huge + "\n");
    const ShellConfig config = ReadShellConfig(path_);
    EXPECT_EQ(config.language, 0);
    ASSERT_EQ(config.languageOptions.size(), 1u);
    EXPECT_EQ(config.languageOptions[0].size(), MaxIniStringLength);
    EXPECT_EQ(config.model.size(), MaxIniStringLength);
}

TEST_F(ConfigFileTest, languageWriteKeepsEverythingElse) {
    const std::string before = "; workshop PC\r\n[Printer]\r\nName=Front desk\r\n\r\n"
                               "[Config]\r\n; chosen in the menu\r\nLanguage = 1\r\nModel=KD520\r\n"
                               "[Other]\r\nLanguage=9\r\n";
    Write(before);
    WriteLanguage(path_, 3);
    std::string expected = before;
    expected.replace(expected.find("Language = 1"), 12, "Language =3");
    EXPECT_EQ(Read(), expected);
    EXPECT_EQ(ReadShellConfig(path_).language, 3);
    EXPECT_EQ(ReadShellConfig(path_).model, "KD520");
}

TEST_F(ConfigFileTest, languageWriteAddsKeyOrSectionOrFile) {
    WriteLanguage(path_, 3); // no file yet
    EXPECT_EQ(Read(), "[Config]\nLanguage=3\n");

    Write("[Config]\r\nModel=QM\r\n[Other]\r\nx=1\r\n");
    WriteLanguage(path_, 11);
    EXPECT_EQ(Read(), "[Config]\r\nModel=QM\r\nLanguage=11\r\n[Other]\r\nx=1\r\n");

    Write("[Other]\nx=1");
    WriteLanguage(path_, 0);
    EXPECT_EQ(Read(), "[Other]\nx=1\n[Config]\nLanguage=0\n");
    EXPECT_EQ(ReadShellConfig(path_).language, 0);

    // No temporary files are left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(ConfigFileTest, failedWriteNamesTheFileAndLeavesItAlone) {
    // A folder that cannot be made: a file stands where it would go.
    std::ofstream(dir_ / "not-a-folder") << "x";
    const std::string unwritable = (dir_ / "not-a-folder" / "quillar.ini").string();
    try {
        WriteLanguage(unwritable, 4);
        FAIL() << "the write should fail";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + unwritable);
    }
    EXPECT_FALSE(fs::exists(unwritable));
}

void ExpectUnableToWrite(const std::string& path, std::int32_t language) {
    try {
        WriteLanguage(path, language);
        ADD_FAILURE() << "the write to " << path << " should fail";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + path);
    }
}

#ifndef _WIN32 // FIFOs, and a mode that root is held to, are POSIX's
TEST_F(ConfigFileTest, onlyARegularFileIsConfiguration) {
    // A FIFO would block a reader until a writer comes: start-up must not hang
    // on it, and a write must not replace it.
    ASSERT_EQ(mkfifo(path_.c_str(), 0644), 0);
    const ShellConfig fromFifo = ReadShellConfig(path_);
    EXPECT_EQ(fromFifo.language, 0);
    EXPECT_TRUE(fromFifo.model.empty());
    ExpectUnableToWrite(path_, 2);
    struct stat st {};
    ASSERT_EQ(lstat(path_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    fs::remove(path_);
    fs::create_directory(path_);
    EXPECT_EQ(ReadShellConfig(path_).language, 0);
    ExpectUnableToWrite(path_, 2);
    EXPECT_TRUE(fs::is_directory(path_));
}
#endif

TEST_F(ConfigFileTest, readOnlyFileIsLeftAloneEvenForRoot) {
    Write("[Config]\nLanguage=1\n");
    fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ExpectUnableToWrite(path_, 3);
    EXPECT_EQ(Read(), "[Config]\nLanguage=1\n");
    EXPECT_EQ(ReadShellConfig(path_).language, 1);
    fs::permissions(path_, fs::perms::owner_all); // Windows removes no read-only file
}

TEST_F(ConfigFileTest, symbolicLinkIsWrittenThroughAndStaysALink) {
    // The real file elsewhere, reached by a chain of a relative and an absolute link.
    fs::create_directory(dir_ / "shared");
    const fs::path real = dir_ / "shared" / "workshop.ini";
    std::ofstream(real, std::ios::binary) << "[Config]\nModel=KD520\nLanguage=1\n";
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    std::error_code linkError;
    fs::create_symlink(real, dir_ / "middle.ini", linkError);
    if (linkError)
        GTEST_SKIP() << "no symbolic links here: " << linkError.message();
    fs::create_symlink("middle.ini", path_);

    WriteLanguage(path_, 5);
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_TRUE(fs::is_symlink(dir_ / "middle.ini"));
    EXPECT_EQ(Read(), "[Config]\nModel=KD520\nLanguage=5\n");
    EXPECT_EQ(ReadShellConfig(path_).language, 5);
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // The temporary file lived beside the real one and is gone.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "shared"), fs::directory_iterator()), 1);

    // A link whose target does not exist yet: the target is created.
    fs::remove(path_);
    fs::create_symlink("shared/new.ini", path_);
    WriteLanguage(path_, 2);
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(ReadShellConfig((dir_ / "shared" / "new.ini").string()).language, 2);
}

} // namespace
} // namespace quillar

namespace quillar {
namespace {

LocationProbe FakeProbe(std::map<std::string, std::string> environment,
                        std::set<std::string> files) {
    LocationProbe probe;
    probe.environment = [environment](const std::string& name) -> std::optional<std::string> {
        const auto found = environment.find(name);
        if (found == environment.end())
            return std::nullopt;
        return found->second;
    };
    probe.exists = [files](const std::string& path) { return files.count(path) > 0; };
    return probe;
}

TEST(FileLocationsTest, portableCopyWinsElsePerUserConfigAndInstalledImages) {
    // quillar.ini beside the executable: everything from there, as always.
    const auto beside = LocateFiles("/opt/q/bin/quillar",
                                    FakeProbe({{"HOME", "/home/ann"}}, {"/opt/q/bin/quillar.ini"}));
    EXPECT_TRUE(beside.portable);
    EXPECT_EQ(beside.iniPath, "/opt/q/bin/quillar.ini");
    EXPECT_EQ(beside.logoDir, "/opt/q/bin/");
    EXPECT_EQ(beside.stateImageDir, "/opt/q/bin/");

    // Installed: the user's folder, the images of the data folder.
    const auto installed = LocateFiles(
        "/usr/bin/quillar", FakeProbe({{"HOME", "/home/ann"}}, {"/usr/share/quillar/0.png"}));
    EXPECT_FALSE(installed.portable);
    EXPECT_EQ(installed.iniPath, "/home/ann/.config/quillar/quillar.ini");
    EXPECT_EQ(installed.logoDir, "/home/ann/.config/quillar/");
    EXPECT_EQ(installed.stateImageDir, "/usr/share/quillar/");

    // XDG_CONFIG_HOME wins when absolute, a relative one is ignored; a build
    // tree without a data folder shows the images beside the program.
    EXPECT_EQ(LocateFiles("/b/bin/quillar",
                          FakeProbe({{"HOME", "/h"}, {"XDG_CONFIG_HOME", "/x/cfg/"}}, {}))
                  .iniPath,
              "/x/cfg/quillar/quillar.ini");
    const auto relative =
        LocateFiles("/b/bin/quillar", FakeProbe({{"HOME", "/h"}, {"XDG_CONFIG_HOME", "cfg"}}, {}));
    EXPECT_EQ(relative.iniPath, "/h/.config/quillar/quillar.ini");
    EXPECT_EQ(relative.stateImageDir, "/b/bin/");
    // No home at all: nowhere per user to go, so the copy stays portable.
    EXPECT_TRUE(LocateFiles("/b/bin/quillar", FakeProbe({}, {})).portable);
}

TEST_F(ConfigFileTest, firstWriteCreatesTheUsersFolder) {
    const std::string nested = (dir_ / "config" / "quillar" / "quillar.ini").string();
    ASSERT_FALSE(fs::exists(dir_ / "config"));
    WriteLanguage(nested, 3);
    EXPECT_EQ(ReadShellConfig(nested).language, 3);
}

#ifndef _WIN32
TEST_F(ConfigFileTest, readOnlyConfigurationParentGivesTheMessage) {
    if (geteuid() == 0)
        GTEST_SKIP() << "the kernel lets root create folders in a read-only one";
    const fs::path locked = dir_ / "locked";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    const std::string inside = (locked / "quillar" / "quillar.ini").string();
    try {
        WriteLanguage(inside, 1);
        ADD_FAILURE() << "no error for a folder that cannot be created";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + inside);
    }
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_FALSE(fs::exists(locked / "quillar"));
}
#endif

} // namespace
} // namespace quillar

namespace quillar {
namespace {

TEST(BrailleConflictTest, ch34xPluggedAndBrlttyPresent_onlyThen) {
    const fs::path root = NewTestFolder("quillar-brltty-");
    auto write = [&](const fs::path& file, const std::string& text) {
        fs::create_directories((root / file).parent_path());
        std::ofstream(root / file) << text << "\n";
    };
    BrailleProbeRoots roots{(root / "sys").string(), (root / "proc").string(),
                            (root / "fs").string()};
    write("sys/bus/usb/devices/1-1/idVendor", "0403"); // an FTDI adapter
    write("sys/bus/usb/devices/1-1/idProduct", "6001");
    write("proc/77/comm", "brltty");
    EXPECT_FALSE(BrailleDaemonLikelyTookPort(roots)); // no CH34x plugged

    write("sys/bus/usb/devices/1-2/idVendor", "1a86");
    write("sys/bus/usb/devices/1-2/idProduct", "7523");
    EXPECT_TRUE(BrailleDaemonLikelyTookPort(roots)); // running

    fs::remove_all(root / "proc");
    write("proc/12/comm", "brltty-helper");
    write("proc/self/comm", "brltty"); // not a process number
    EXPECT_FALSE(BrailleDaemonLikelyTookPort(roots));
    write("fs/usr/bin/brltty", "");
    EXPECT_TRUE(BrailleDaemonLikelyTookPort(roots)); // installed, not running
    fs::remove_all(root);
}

TEST(BrailleConflictTest, flickerIsAPortGoneWithinTheWindowOfItsAppearance) {
    using namespace std::chrono_literals;
    PortFlickerWatch watch;
    const auto t0 = PortFlickerWatch::Clock::time_point{} + 1h;
    EXPECT_FALSE(watch.Update({"/dev/ttyS0"}, t0));
    EXPECT_FALSE(watch.Update({"/dev/ttyS0", "/dev/ttyUSB0"}, t0 + 250ms));
    EXPECT_TRUE(watch.Update({"/dev/ttyS0"}, t0 + 1000ms)); // gone 750 ms after it came
    // A port that stayed a while and is then unplugged is no flicker.
    EXPECT_FALSE(watch.Update({"/dev/ttyS0", "/dev/ttyUSB0"}, t0 + 2s));
    EXPECT_FALSE(watch.Update({"/dev/ttyS0", "/dev/ttyUSB0"}, t0 + 5s));
    EXPECT_FALSE(watch.Update({"/dev/ttyS0"}, t0 + 6s));
    // An empty list (nothing plugged) also counts as the port being gone.
    EXPECT_FALSE(watch.Update({"/dev/ttyACM0"}, t0 + 7s));
    EXPECT_TRUE(watch.Update({""}, t0 + 7500ms));
}

} // namespace
} // namespace quillar
