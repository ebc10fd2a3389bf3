#pragma once
// The bytes the engine receives for one report page.

#include <QByteArray>

#include <string_view>

namespace quillar {

// Splits page into lines at CR LF, a lone CR or a lone LF (LF CR is two line
// ends) and writes each line followed by CR LF; a line end at the very end
// opens no further line. NUL bytes are dropped so that text after one still
// shows. Nothing else is converted: the page declares its own charset.
QByteArray PageBytesForEngine(std::string_view page);

} // namespace quillar
