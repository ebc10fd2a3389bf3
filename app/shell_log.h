#pragma once
// The shell's logging categories: warnings and errors go to standard error
// (and so to the desktop's journal), one category per subsystem; below warnings only
// when QT_LOGGING_RULES asks ("quillar.*.info=true"). No log file.

#include <QLoggingCategory>

namespace quillar {

Q_DECLARE_LOGGING_CATEGORY(lcShell)   // "quillar.shell": the window, configuration, signals
Q_DECLARE_LOGGING_CATEGORY(lcSerial)  // "quillar.serial": opening, losing and reading the port
Q_DECLARE_LOGGING_CATEGORY(lcArchive) // "quillar.archive": keeping tests

} // namespace quillar
