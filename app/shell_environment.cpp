#include "app/shell_environment.h"

#include "app/braille_conflict.h"
#include "app/file_locations.h"
#include "serial/port_discovery.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QStandardPaths>
#include <QThread>

namespace quillar {

ShellEnvironment ShellEnvironment::ForRunningProgram() {
    ShellEnvironment env;
    const FileLocations files =
        LocateFiles(QCoreApplication::applicationFilePath().toUtf8().toStdString(), SystemProbe());
    env.iniPath = files.iniPath;
    env.executableDir = QCoreApplication::applicationDirPath().toUtf8().toStdString() + "/";
    env.logoDir = files.logoDir;
    env.stateImageDir = files.stateImageDir;
    env.listSerialPorts = [] { return ListSerialPorts(); };
    env.makeSerialLink = [] { return std::make_unique<TSerialLink>(); };
    env.dateText = [] {
        return QLocale::system()
            .toString(QDateTime::currentDateTime(), QStringLiteral("d MMMM yyyy HH:mm"))
            .toUtf8()
            .toStdString();
    };
    env.sleep = [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); };
    env.brailleDaemonTookPort = [] { return BrailleDaemonLikelyTookPort(); };
    env.documentsDir =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
    const QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    const QString home = QDir::homePath();
    if (stateHome.startsWith(QLatin1Char('/')))
        env.stateDir = (stateHome + QStringLiteral("/quillar")).toStdString();
    else if (!home.isEmpty())
        env.stateDir = (home + QStringLiteral("/.local/state/quillar")).toStdString();
    return env;
}

} // namespace quillar
