// OS error texts on POSIX: strerror's.
#include "serial/os_error.h"

#include <cerrno>
#include <cstring>

namespace quillar {

namespace {

// strerror_r comes in two flavours (XSI returns int, GNU returns the text);
// overloads pick whichever this C library has.
[[maybe_unused]] std::string FromStrerror(int result, const char* buffer) {
    return result == 0 ? buffer : "";
}
[[maybe_unused]] std::string FromStrerror(const char* text, const char*) {
    return text != nullptr ? text : "";
}

bool KnownCode(int code) {
    // glibc names every code it has a message for; for the rest strerror
    // makes up "Unknown error N", which is no message.
    return strerrorname_np(code) != nullptr;
}

} // namespace

std::string OsErrorDescription(int code) {
    if (!KnownCode(code)) {
        return "";
    }
    char buffer[256] = {};
    std::string text =
        detail::TrimMessageTail(FromStrerror(strerror_r(code, buffer, sizeof buffer), buffer));
    if (code == EACCES) {
        text += " (add the user to the \"dialout\" group and log in again)";
    } else if (code == EBUSY) {
        text += " (another program holds the port)";
    }
    return text;
}

} // namespace quillar
