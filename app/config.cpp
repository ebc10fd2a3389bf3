#include "app/config.h"

#include "app/file_system.h"

#include <SimpleIni.h>

#include <filesystem>
#include <limits>
#include <stdexcept>
#include <system_error>

namespace quillar {

namespace {

bool IsBlankOrControl(unsigned char c) {
    return c >= 1 && c <= 32;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view TrimIniBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The configuration is a regular file. A FIFO, a device or a folder under its
// name is treated as unreadable: opening a FIFO for reading would block
// start-up until a writer came. The open itself never blocks.
std::optional<std::string> ReadConfigurationFile(const std::string& path) {
    std::string text;
    if (ReadRegularFile(path, text))
        return std::nullopt;
    return text;
}

// Puts "<key>=<value>" into the text of an INI file: the first such key
// (in any case) of the first "Config" section is rewritten in place, otherwise the key is
// added at the end of that section, otherwise the section is appended.
std::string WithConfigKey(const std::string& text, std::string_view key, const std::string& value) {
    const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    struct Line {
        std::size_t begin, end; // [begin, end) without the line end
    };
    std::vector<Line> lines;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t nl = text.find('\n', pos);
        std::size_t end = nl == std::string::npos ? text.size() : nl;
        std::size_t contentEnd = end > pos && text[end - 1] == '\r' ? end - 1 : end;
        lines.push_back({pos, contentEnd});
        pos = nl == std::string::npos ? text.size() : nl + 1;
    }
    auto content = [&](const Line& l) {
        return std::string_view(text).substr(l.begin, l.end - l.begin);
    };
    auto sectionName = [&](const Line& l) -> std::optional<std::string_view> {
        std::string_view s = TrimIniBlanks(content(l));
        if (s.size() < 2 || s.front() != '[')
            return std::nullopt;
        std::size_t close = s.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        return TrimIniBlanks(s.substr(1, close - 1));
    };

    std::optional<std::size_t> sectionLine;
    std::optional<std::size_t> lastEntryLine;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (auto name = sectionName(lines[i])) {
            if (sectionLine)
                break; // end of the Config section
            if (EqualsNoCase(*name, "Config"))
                sectionLine = i;
            continue;
        }
        if (!sectionLine)
            continue;
        std::string_view s = TrimIniBlanks(content(lines[i]));
        if (s.empty() || s.front() == ';' || s.front() == '#')
            continue;
        lastEntryLine = i;
        std::size_t eq = s.find('=');
        if (eq != std::string_view::npos && EqualsNoCase(TrimIniBlanks(s.substr(0, eq)), key)) {
            std::string out = text.substr(0, lines[i].begin);
            std::string_view raw = content(lines[i]);
            out += raw.substr(0, raw.find('=') + 1);
            out += value;
            out += text.substr(lines[i].end);
            return out;
        }
    }

    const std::string entry = std::string(key) + "=" + value;
    if (sectionLine) {
        const Line& after = lines[lastEntryLine.value_or(*sectionLine)];
        std::string out = text.substr(0, after.end);
        out += eol + entry;
        out += text.substr(after.end);
        if (after.end == text.size())
            out += eol;
        return out;
    }
    std::string out = text;
    if (!out.empty() && out.back() != '\n')
        out += eol;
    out += "[Config]" + eol + entry + eol;
    return out;
}

bool IsSeparator(char c) {
    return c == '/' || c == static_cast<char>(std::filesystem::path::preferred_separator);
}

[[noreturn]] void UnableToWrite(const std::string& path) {
    throw std::runtime_error("Unable to write to " + path);
}

} // namespace

std::string IniPathForExecutable(const std::string& executablePath) {
    const std::size_t slash = executablePath.find_last_of('/');
    const std::size_t dot = executablePath.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? executablePath.substr(0, dot) : executablePath) + ".ini";
}

std::optional<std::string> ResolveArchiveFolder(std::string_view value, const std::string& iniPath,
                                                const std::optional<std::string>& home) {
    value = TrimIniBlanks(value);
    if (!value.empty() && (value.front() == '"' || value.front() == '\'')) {
        if (value.size() < 2 || value.back() != value.front())
            return std::nullopt; // a quote left open
        value = value.substr(1, value.size() - 2);
    }
    if (value.empty())
        return std::string();
    std::string folder;
    std::size_t homeLength = 0;
    if (value.front() == '~')
        homeLength = 1;
    else if (value.starts_with("${HOME}"))
        homeLength = 7;
    else if (value.starts_with("$HOME"))
        homeLength = 5;
    if (homeLength > 0) {
        const std::string_view rest = value.substr(homeLength);
        // "~user", "$HOMEDIR": nothing Quillar expands, and no folder to make literally.
        if ((!rest.empty() && !IsSeparator(rest.front())) || !home || home->empty())
            return std::nullopt;
        folder = *home;
        while (!rest.empty() && !folder.empty() && IsSeparator(folder.back()))
            folder.pop_back();
        folder += rest;
    } else if (value.front() == '$') {
        return std::nullopt; // another variable: nothing Quillar expands
    } else {
        folder = std::string(value);
        if (!FsPath(folder).is_absolute())
            folder = Utf8Path(FsPath(iniPath).parent_path() / FsPath(folder));
    }
    if (!UsableArchiveFolder(folder))
        return std::nullopt;
    return folder;
}

bool UsableArchiveFolder(const std::string& folder) {
    return folder.size() <= MaxArchiveFolderLength && FsPath(folder).is_absolute();
}

std::optional<std::int32_t> ParseIniInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (base == 16) {
        // Hexadecimal is a 32-bit pattern: $FFFFFFFF is -1.
        auto bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        return negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(bits)) : bits;
    }
    const std::uint64_t limit =
        negative ? std::uint64_t{1} << 31 : std::uint64_t{std::numeric_limits<std::int32_t>::max()};
    if (value > limit)
        return std::nullopt;
    return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(value))
                    : static_cast<std::int32_t>(value);
}

std::vector<std::string> SplitLanguageOptions(std::string_view value) {
    std::vector<std::string> items;
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < value.size() && IsBlankOrControl(static_cast<unsigned char>(value[i])))
            ++i;
    };
    skipBlanks();
    if (i >= value.size())
        return items;
    while (true) {
        std::string item;
        if (value[i] == '"') {
            ++i;
            while (i < value.size()) {
                if (value[i] == '"') {
                    if (i + 1 < value.size() && value[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += value[i++];
            }
        } else {
            while (i < value.size() && value[i] != ',' &&
                   !(static_cast<unsigned char>(value[i]) <= 32 && value[i] != '\0'))
                item += value[i++];
        }
        items.push_back(std::move(item));
        skipBlanks();
        if (i < value.size() && value[i] == ',') {
            ++i;
            if (i >= value.size()) {
                items.emplace_back(); // a comma at the very end gives a last, empty item
                break;
            }
            skipBlanks();
            if (i >= value.size())
                break;
            continue;
        }
        if (i >= value.size())
            break;
        // An item followed by another without a comma: blanks alone separate them.
    }
    return items;
}

ShellConfig ReadShellConfig(const std::string& iniPath) {
    ShellConfig config;
    CSimpleIniA ini; // the "A" flavour matches names regardless of case
    ini.SetUnicode(false);
    ini.SetMultiKey(false);
    const std::optional<std::string> text = ReadConfigurationFile(iniPath);
    if (!text || ini.LoadData(text->data(), text->size()) < 0)
        return config;
    auto readString = [&](const char* key) {
        std::string value = ini.GetValue("Config", key, "");
        if (value.size() > MaxIniStringLength)
            value.resize(MaxIniStringLength);
        return value;
    };
    config.language = ParseIniInteger(readString("Language")).value_or(0);
    config.languageOptions = SplitLanguageOptions(readString("LanguageOption"));
    config.model = readString("Model");
    config.manualPorts = readString("ManualPorts");
    config.database = std::string(TrimIniBlanks(ini.GetValue("Config", "Database", "")));
    if (const char* archive = ini.GetValue("Config", "ArchiveFolder", nullptr)) {
        // Read whole; a value that names no usable folder stays as written, so
        // that the archive is off and says why, instead of going elsewhere.
        const std::string written(TrimIniBlanks(archive));
        config.archiveFolder =
            ResolveArchiveFolder(written, iniPath, HomeFolder()).value_or(written);
    }
    return config;
}

void WriteLanguage(const std::string& iniPath, std::int32_t language) {
    WriteConfigKey(iniPath, "Language", std::to_string(language));
}

void WriteModel(const std::string& iniPath, const std::string& model) {
    WriteConfigKey(iniPath, "Model", model);
}

void WriteConfigKey(const std::string& iniPath, std::string_view key, const std::string& value) {
    const std::string target = WriteTarget(iniPath);
    std::error_code statusError;
    const std::filesystem::file_status status =
        std::filesystem::status(FsPath(target), statusError);
    const bool exists = std::filesystem::exists(status);
    // The user's read-only mark on the file is respected, also by root.
    if (exists && (!std::filesystem::is_regular_file(status) || !MayWriteFile(target)))
        UnableToWrite(iniPath);
    if (!exists) {
        // A user's first choice creates the configuration folder too.
        const std::filesystem::path folder = FsPath(target).parent_path();
        std::error_code error;
        if (!folder.empty() && !std::filesystem::is_directory(folder, error) &&
            (!std::filesystem::create_directories(folder, error) || error))
            UnableToWrite(iniPath);
    }
    std::optional<std::string> current;
    if (exists) {
        current = ReadConfigurationFile(target);
        if (!current)
            UnableToWrite(iniPath); // not readable: the rest of it would be lost
    }
    const std::string updated = WithConfigKey(current.value_or(""), key, value);

    // Written beside the real file and renamed over it: a reader never sees
    // half a file, and a symbolic link keeps pointing at it.
    const std::filesystem::perms permissions =
        exists ? status.permissions() & std::filesystem::perms::mask
               : static_cast<std::filesystem::perms>(0644);
    if (ReplaceWholeFile(target, target + ".tmp-XXXXXX", updated, permissions))
        UnableToWrite(iniPath);
}

} // namespace quillar
