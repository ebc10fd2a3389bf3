#pragma once
// Reads the page shown by the report view, from the application's script
// world (the page's own scripts are off).

#include <QString>
#include <QVariant>

class QWebEnginePage;

namespace quillar::test {

// Runs script in the application world and waits up to timeoutMs for its
// result; an invalid QVariant (and a warning) when no answer came in time.
QVariant RunPageScript(QWebEnginePage* page, const QString& script, int timeoutMs);

} // namespace quillar::test
