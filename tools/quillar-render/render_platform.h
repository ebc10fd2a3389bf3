#pragma once
// What quillar-render needs from the OS, defined once per OS
// (render_platform_posix.cpp, render_platform_win32.cpp).

#include <ctime>
#include <string>

namespace quillar::render {

// Standard input and output carry bytes as they are: no CR added before LF
// on the way out, none dropped on the way in.
void UseBinaryStdio();

// The folder of the running program, UTF-8, with the OS's separators.
std::string OwnDirectory();

// The local time of t; false when the OS cannot say.
bool LocalTime(std::time_t t, std::tm& local);

} // namespace quillar::render
