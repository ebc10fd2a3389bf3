// The comma text of a port list, written and read by the same rule.
#include "serial/comma_text.h"

namespace quillar {

namespace {

// Blanks and control characters, which surround names and end a bare one. A
// NUL is none of them: it stays inside a bare name, so the reading moves on.
bool IsBlank(unsigned char c) {
    return c >= 1 && c <= 32;
}

bool NeedsQuotes(const std::string& name) {
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 32 || c == '"' || c == ',') {
            return true;
        }
    }
    return false;
}

void AppendQuoted(std::string& out, const std::string& name) {
    out += '"';
    for (char c : name) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    out += '"';
}

} // namespace

std::string JoinCommaText(const std::vector<std::string>& names) {
    if (names.size() == 1 && names.front().empty()) {
        return "\"\"";
    }
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        if (NeedsQuotes(names[i])) {
            AppendQuoted(out, names[i]);
        } else {
            out += names[i];
        }
    }
    return out;
}

std::vector<std::string> SplitCommaText(std::string_view text) {
    std::vector<std::string> names;
    std::size_t i = 0;
    const auto at = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const auto skipBlanks = [&] {
        while (i < text.size() && IsBlank(at(i))) {
            ++i;
        }
    };
    skipBlanks();
    while (i < text.size()) {
        std::string name;
        if (text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    ++i;
                    if (i == text.size() || text[i] != '"') {
                        break; // the closing quote
                    }
                }
                name += text[i++];
            }
        } else {
            while (i < text.size() && text[i] != ',' && !IsBlank(at(i))) {
                name += text[i++];
            }
        }
        names.push_back(std::move(name));
        skipBlanks();
        if (i < text.size() && text[i] == ',') {
            ++i;
            if (i == text.size()) {
                names.emplace_back(); // the text ends in a comma: a last, empty name
                break;
            }
            skipBlanks();
        }
    }
    return names;
}

} // namespace quillar
