// OS error texts on Windows: the system's own messages, in its language.
#include "serial/os_error.h"

#include <windows.h>

namespace quillar {

std::string OsErrorDescription(int code) {
    char buffer[256] = {};
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
        nullptr, static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
    if (length == 0) {
        return ""; // the system has no message for the code
    }
    return detail::TrimMessageTail(std::string(buffer, length));
}

} // namespace quillar
