#include "view/page_bytes.h"

#include <algorithm>
#include <cstdint>

namespace quillar {

namespace {

// ASCII letters in either case, as the HTML parser reads tag names.
qsizetype FindCaseless(const QByteArray& bytes, std::string_view what, qsizetype from) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    const auto found = std::search(bytes.begin() + from, bytes.end(), what.begin(), what.end(),
                                   [&](char a, char b) { return lower(a) == b; });
    return found == bytes.end() ? -1 : found - bytes.begin();
}

// The rule of PageHeadOf (page_update.h), on bytes: "utf-8" somewhere before
// the end of the opening body tag.
bool DeclaresUtf8(const QByteArray& page) {
    const qsizetype body = FindCaseless(page, "<body", 0);
    const qsizetype close = body < 0 ? -1 : page.indexOf('>', body);
    return close >= 0 && FindCaseless(page.left(close + 1), "utf-8", 0) >= 0;
}

// The engine's (and the Encoding Standard's) UTF-8 decoder, written back as
// UTF-8: each maximal part of a sequence that cannot be completed is one
// U+FFFD, and the byte that broke it starts afresh. Qt's own decoder gives a
// U+FFFD per byte instead, so the page must reach both as valid UTF-8.
QByteArray WithReplacementCharacters(const QByteArray& bytes) {
    static const char kReplacement[] = "\xEF\xBF\xBD";
    QByteArray out;
    out.reserve(bytes.size());
    qsizetype start = 0; // of the sequence being read
    int needed = 0, seen = 0;
    std::uint8_t lower = 0x80, upper = 0xBF;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        if (needed == 0) {
            start = i;
            if (b < 0x80) {
                out.append(static_cast<char>(b));
            } else if (b >= 0xC2 && b <= 0xDF) {
                needed = 1;
            } else if (b >= 0xE0 && b <= 0xEF) {
                needed = 2;
                lower = b == 0xE0 ? 0xA0 : 0x80;
                upper = b == 0xED ? 0x9F : 0xBF;
            } else if (b >= 0xF0 && b <= 0xF4) {
                needed = 3;
                lower = b == 0xF0 ? 0x90 : 0x80;
                upper = b == 0xF4 ? 0x8F : 0xBF;
            } else {
                out.append(kReplacement, 3);
            }
            continue;
        }
        if (b < lower || b > upper) {
            out.append(kReplacement, 3);
            needed = seen = 0;
            lower = 0x80;
            upper = 0xBF;
            --i; // read again as the start of a sequence
            continue;
        }
        lower = 0x80;
        upper = 0xBF;
        if (++seen == needed) {
            out.append(bytes.constData() + start, i + 1 - start);
            needed = seen = 0;
        }
    }
    if (needed > 0) {
        out.append(kReplacement, 3);
    }
    return out;
}

} // namespace

QByteArray PageBytesForEngine(std::string_view page) {
    QByteArray out;
    // Lone CRs or LFs grow the page; room for a few avoids most reallocations.
    out.reserve(static_cast<qsizetype>(page.size() + page.size() / 16 + 2));
    bool lineOpen = false;
    for (std::size_t i = 0; i < page.size(); ++i) {
        const char c = page[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r') {
                // NULs count as absent, also between the CR and LF of one line end.
                std::size_t next = i + 1;
                while (next < page.size() && page[next] == '\0') {
                    ++next;
                }
                if (next < page.size() && page[next] == '\n') {
                    i = next;
                }
            }
            out.append("\r\n", 2);
            lineOpen = false;
        } else if (c != '\0') {
            // A NUL from the device is dropped rather than ending the page, so
            // that everything received after it still shows.
            out.append(c);
            lineOpen = true;
        }
    }
    if (lineOpen) {
        out.append("\r\n", 2);
    }
    // Without NULs: a NUL inside a sequence is not there for the engine either.
    if (DeclaresUtf8(out) && !QByteArrayView(out).isValidUtf8()) {
        return WithReplacementCharacters(out);
    }
    return out;
}

} // namespace quillar
