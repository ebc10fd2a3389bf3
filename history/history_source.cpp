#include "history/history_source.h"

namespace quillar {

namespace {

// The reason goes inside a sentence of ours: its own closing period would double.
QString Reason(const std::exception& error) {
    // One line: the driver's message comes in several.
    QString reason = QString::fromUtf8(error.what()).simplified();
    while (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    return reason;
}

} // namespace

QString ProbeHistoryServer(const QString& serverAddress, int connectSeconds) {
    try {
        HistoryDatabase::OpenServer(serverAddress, connectSeconds);
        return {};
    } catch (const std::exception& error) {
        return Reason(error);
    }
}

HistorySource OpenHistory(const QString& localArchive, const QString& serverAddress,
                          int connectSeconds, const QString& serverProblem) {
    HistorySource source;
    if (!serverAddress.trimmed().isEmpty()) {
        QString reason = serverProblem;
        if (reason.isEmpty()) {
            try {
                source.database = HistoryDatabase::OpenServer(serverAddress, connectSeconds);
                return source;
            } catch (const std::exception& error) {
                reason = Reason(error);
            }
        }
        // The database's own words may already say so; they are not said twice.
        const QString lead = QStringLiteral("The history server could not be reached");
        source.notice = (reason.startsWith(lead) ? reason : lead + QStringLiteral(": ") + reason) +
                        QLatin1Char('.');
    }
    const auto add = [&source](const QString& sentence) {
        source.notice += (source.notice.isEmpty() ? QString() : QStringLiteral(" ")) + sentence;
    };
    if (localArchive.isEmpty()) {
        add(QStringLiteral("There is no archive folder, so this PC has no test history."));
        return source;
    }
    try {
        source.database = HistoryDatabase::OpenLocal(localArchive);
        if (!source.notice.isEmpty())
            add(QStringLiteral("This PC's tests are shown."));
    } catch (const std::exception& error) {
        add(QStringLiteral("This PC's test history could not be opened: %1.").arg(Reason(error)));
    }
    return source;
}

} // namespace quillar
