#include "app/shell_log.h"

namespace quillar {

Q_LOGGING_CATEGORY(lcShell, "quillar.shell", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSerial, "quillar.serial", QtWarningMsg)
Q_LOGGING_CATEGORY(lcArchive, "quillar.archive", QtWarningMsg)

} // namespace quillar
