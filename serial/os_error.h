#pragma once
// The one place where an errno value becomes the text a person reads.

#include <string>

namespace quillar {

// strerror's text for code with trailing blanks, control characters and
// periods removed, plus what to do about it where that is known (permission
// denied, port busy); the empty string for a code the OS has no message for.
std::string OsErrorDescription(int code);

namespace detail {
// text without its trailing characters of code 0 to 32 and periods.
std::string TrimMessageTail(std::string text);
} // namespace detail

} // namespace quillar
