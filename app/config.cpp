#include "app/config.h"

#include "app/file_replace.h"

#include <SimpleIni.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

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
std::optional<std::string> ReadRegularFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return std::nullopt;
    }
    std::string text;
    const int error = ReadRest(fd, text);
    close(fd);
    if (error != 0)
        return std::nullopt;
    return text;
}

// The file that a write to path must replace: path itself, or, when path is a
// symbolic link (also a chain of them, or one whose target does not exist
// yet), the file it finally points to, so that the link stays a link.
std::string WriteTarget(const std::string& path) {
    std::string target = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return target;
        std::vector<char> link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = readlink(target.c_str(), link.data(), link.size());
        if (n < 0 || static_cast<std::size_t>(n) >= link.size())
            return target;
        const std::string next(link.data(), static_cast<std::size_t>(n));
        const std::size_t slash = target.find_last_of('/');
        target = next.front() == '/' || slash == std::string::npos
                     ? next
                     : target.substr(0, slash + 1) + next;
    }
    return target; // a loop of links: the write fails with the usual message
}

// The user's read-only mark on the file is respected, also by root, whom the
// kernel would let write anyway.
bool IsWritableFile(const std::string& path, const struct stat& st) {
    return (st.st_mode & 0222) != 0 && access(path.c_str(), W_OK) == 0;
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
    const std::optional<std::string> text = ReadRegularFile(iniPath);
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
    if (ini.GetValue("Config", "ArchiveFolder", nullptr) != nullptr)
        config.archiveFolder = std::string(TrimIniBlanks(readString("ArchiveFolder")));
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
    struct stat st {};
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists && (!S_ISREG(st.st_mode) || !IsWritableFile(target, st)))
        UnableToWrite(iniPath);
    if (!exists) {
        // A user's first choice creates the configuration folder too.
        const std::filesystem::path folder = std::filesystem::path(target).parent_path();
        std::error_code error;
        if (!folder.empty() && !std::filesystem::is_directory(folder, error) &&
            (!std::filesystem::create_directories(folder, error) || error))
            UnableToWrite(iniPath);
    }
    std::optional<std::string> current;
    if (exists) {
        current = ReadRegularFile(target);
        if (!current)
            UnableToWrite(iniPath); // not readable: the rest of it would be lost
    }
    const std::string updated = WithConfigKey(current.value_or(""), key, value);

    // Written beside the real file and renamed over it: a reader never sees
    // half a file, and a symbolic link keeps pointing at it.
    if (ReplaceFile(target, target + ".tmp-XXXXXX", updated, exists ? st.st_mode & 07777 : 0644))
        UnableToWrite(iniPath);
}

} // namespace quillar
