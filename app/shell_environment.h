#pragma once
// What the shell takes from the machine. The real program uses the defaults;
// tests replace the port list, the serial link, the clock and the files.

#include "app/report_archive.h"
#include "serial/serial_link.h"

#include <functional>
#include <memory>
#include <string>

namespace quillar {

struct ShellEnvironment {
    std::string iniPath;       // the configuration file
    std::string executableDir; // UTF-8, ends with '/'
    // Where logo.bmp and the state images are (ending with '/'); empty = executableDir.
    std::string logoDir;
    std::string stateImageDir;
    // The comma-separated port list; may throw on a discovery failure.
    std::function<std::string()> listSerialPorts;
    // A new, closed serial connection object.
    std::function<std::unique_ptr<TSerialLink>()> makeSerialLink;
    // The local date and time for the report, UTF-8.
    std::function<std::string()> dateText;
    // Pauses between automatic connection attempts.
    std::function<void(int milliseconds)> sleep;
    // Whether the braille display service is likely to have taken a port that
    // vanished right after it appeared; empty = never asked.
    std::function<bool()> brailleDaemonTookPort;
    // The user's documents folder, where the report archive is unless the
    // configuration names another; empty = no archive by default.
    std::string documentsDir;
    // The user's state folder for Quillar ($XDG_STATE_HOME/quillar): tests
    // that could not be kept wait there for the next start; empty = none.
    std::string stateDir;
    // The local time that names an archived test; empty = the computer's clock.
    std::function<ArchiveTime()> archiveClock;

    // The running program's files (beside it, or per user when installed),
    // the real ports and clock.
    static ShellEnvironment ForRunningProgram();
};

} // namespace quillar
