#include "app/quillar_application.h"

#include "quillar_version.h"

#include "app/message_boxes.h"

#include <exception>

namespace quillar {

QuillarApplication::QuillarApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The task-bar text and the caption of the error box (the display name
    // falls back to it). A display name set explicitly would be appended to
    // the window's caption by the platform ("... — Quillar").
    setApplicationName(QStringLiteral("Quillar"));
    setApplicationVersion(QStringLiteral(QUILLAR_VERSION));
    // Ties the windows to the installed desktop entry (icon, task bar).
    setDesktopFileName(QStringLiteral("org.quillar.Quillar"));
}

bool QuillarApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ReportError(QString::fromUtf8(error.what()));
    } catch (...) {
        ReportError(QStringLiteral("Unknown error"));
    }
    return false;
}

} // namespace quillar
