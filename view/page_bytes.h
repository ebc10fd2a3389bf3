#pragma once
// The bytes the engine receives for one report page.

#include <QByteArray>

#include <string_view>

namespace quillar {

// Splits page into lines at CR LF, a lone CR or a lone LF (LF CR is two line
// ends) and writes each line followed by CR LF; a line end at the very end
// opens no further line. NUL bytes are dropped so that text after one still
// shows. In a page whose head (up to its body tag) declares UTF-8, each byte
// sequence that is not UTF-8 becomes U+FFFD, as the engine reads it: the view
// reads such a page itself for in-place updates, and must read what a load
// shows. Nothing else is converted: the page declares its own charset.
QByteArray PageBytesForEngine(std::string_view page);

} // namespace quillar
