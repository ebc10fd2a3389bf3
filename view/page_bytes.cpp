#include "view/page_bytes.h"

namespace quillar {

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
    return out;
}

} // namespace quillar
