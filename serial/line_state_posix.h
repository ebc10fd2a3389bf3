#pragma once
// TSerialLink's line settings on POSIX: the terminal's termios record.

#include "serial/serial_link.h"

#include <termios.h>

namespace quillar {

struct LineStateRecord : termios {};

} // namespace quillar
