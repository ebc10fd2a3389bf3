// JoinCommaText: the list format that the port menu splits on ",".
#include "serial/port_discovery.h"

namespace quillar {

namespace {

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

} // namespace quillar
