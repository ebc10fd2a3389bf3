#pragma once
// The configuration file beside the executable: section "Config" with the keys
// "Language", "LanguageOption", "Model", "ArchiveFolder", "ManualPorts" and
// "Database". No Qt here, so tests
// run without a GUI.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillar {

struct ShellConfig {
    std::int32_t language = 0;                // "Language", default 0
    std::vector<std::string> languageOptions; // "LanguageOption", split into items
    std::string model;                        // "Model", compared exactly by the callers
    // "ArchiveFolder": where tests are kept, as ResolveArchiveFolder gives it;
    // empty = no archive, absent = the default. A value that names no folder
    // Quillar can use stays as written, which UsableArchiveFolder refuses.
    std::optional<std::string> archiveFolder;
    // "ManualPorts": ports opened only when chosen from the menu, as the port
    // list writes them (comma text); empty = none.
    std::string manualPorts;
    // "Database": the workshop's PostgreSQL server for the test history, a
    // libpq connection string or a postgresql:// URI; empty = this PC's
    // index in the archive folder only. Read whole (a password may be long).
    std::string database;
};

// The longest string value that is read; longer values are cut (but for
// "ArchiveFolder": a cut path would name another folder).
inline constexpr std::size_t MaxIniStringLength = 2047;

// The longest archive folder that Quillar takes.
inline constexpr std::size_t MaxArchiveFolderLength = MaxIniStringLength;

// The folder that an "ArchiveFolder" value names, read as people write paths:
// blanks and one pair of quotes (" or ') around it go; a leading "~", "$HOME"
// or "${HOME}", alone or before a separator, stands for home; a relative path
// is taken from the folder of the configuration file iniPath. An empty value
// gives "" (no archive). nullopt when the value names no folder that Quillar
// can use: a leading ~ or $ of another form, a quote left open, ~ without a
// home, or a result that is still not absolute or is longer than
// MaxArchiveFolderLength. Such a value, as written, is never usable either.
std::optional<std::string> ResolveArchiveFolder(std::string_view value, const std::string& iniPath,
                                                const std::optional<std::string>& home);

// Whether folder can be the archive: an absolute path of at most
// MaxArchiveFolderLength bytes.
bool UsableArchiveFolder(const std::string& folder);

// The executable's path with its extension, if any, replaced by ".ini".
std::string IniPathForExecutable(const std::string& executablePath);

// An integer as the file writes it: decimal with an optional sign, or
// hexadecimal after "0x" or "$" (also with a sign). Nothing else, no blanks;
// values outside 32 bits fail.
std::optional<std::int32_t> ParseIniInteger(std::string_view text);

// Splits a "LanguageOption" value: blanks and control characters separate and
// surround items, a comma after an item starts the next one (empty items are
// kept), a double-quoted item runs to its closing quote ("" inside is one quote).
std::vector<std::string> SplitLanguageOptions(std::string_view value);

// Reads the file; a missing file or missing keys give the defaults. Section and
// key names match regardless of case.
ShellConfig ReadShellConfig(const std::string& iniPath);

// Writes "Language" in section "Config" as decimal text, keeping every other
// line of the file as it was; creates the file when missing. The file is
// replaced atomically (temporary file in the same folder, then rename).
// Throws std::runtime_error("Unable to write to <path>") on failure.
void WriteLanguage(const std::string& iniPath, std::int32_t language);

// Writes "Model" the same way.
void WriteModel(const std::string& iniPath, const std::string& model);

// Writes key in section "Config" the same way (a key already there, in any
// case, keeps its spelling and place).
void WriteConfigKey(const std::string& iniPath, std::string_view key, const std::string& value);

} // namespace quillar
