#pragma once
// TSerialLink's line settings on Windows: the driver's DCB record.

#include "serial/serial_link.h"

#include <windows.h>

namespace quillar {

struct LineStateRecord : DCB {};

} // namespace quillar
