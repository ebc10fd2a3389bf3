#include "view/view_log.h"

namespace quillar {

Q_LOGGING_CATEGORY(lcView, "quillar.view", QtWarningMsg)

} // namespace quillar
