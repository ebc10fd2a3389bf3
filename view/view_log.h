#pragma once
// The view's logging category, "quillar.view": pages the engine did not take,
// refused requests, printing.

#include <QLoggingCategory>

namespace quillar {

Q_DECLARE_LOGGING_CATEGORY(lcView)

} // namespace quillar
