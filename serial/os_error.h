#pragma once
// The one place where an OS error code (errno on POSIX, GetLastError on
// Windows) becomes the text a person reads.

#include <string>

namespace quillar {

// The OS's message for code with trailing blanks, control characters and
// periods removed, plus what to do about it where that is known; the empty
// string for a code the OS has no message for. On POSIX the text is strerror's
// (with hints for permission denied and port busy), on Windows FormatMessage's
// in the system's language.
std::string OsErrorDescription(int code);

namespace detail {
// text without its trailing characters of code 0 to 32 and periods.
std::string TrimMessageTail(std::string text);
} // namespace detail

} // namespace quillar
