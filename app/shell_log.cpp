#include "app/shell_log.h"

namespace quillar {

Q_LOGGING_CATEGORY(lcShell, "quillar.shell")
Q_LOGGING_CATEGORY(lcSerial, "quillar.serial")
Q_LOGGING_CATEGORY(lcArchive, "quillar.archive")

} // namespace quillar
