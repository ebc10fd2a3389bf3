#include "history/database_address.h"

#include <QUrl>
#include <QUrlQuery>

#include <utility>
#include <vector>

namespace quillar {

namespace {

[[noreturn]] void Refuse(const QString& why) {
    throw HistoryError(QStringLiteral("Database= names no PostgreSQL server Quillar can use: %1")
                           .arg(why)
                           .toStdString());
}

using Pairs = std::vector<std::pair<QString, QString>>;

// key = value pairs; a value may be in single quotes, with \' and \\ inside.
Pairs ParseConnectionString(const QString& text) {
    Pairs pairs;
    int i = 0;
    const int n = text.size();
    auto skipBlanks = [&] {
        while (i < n && text[i].isSpace())
            ++i;
    };
    while (true) {
        skipBlanks();
        if (i >= n)
            return pairs;
        const int keyStart = i;
        while (i < n && text[i] != QLatin1Char('=') && !text[i].isSpace())
            ++i;
        const QString key = text.mid(keyStart, i - keyStart);
        skipBlanks();
        if (i >= n || text[i] != QLatin1Char('='))
            Refuse(QStringLiteral("\"%1\" has no value (key=value)").arg(key));
        ++i;
        skipBlanks();
        QString value;
        if (i < n && text[i] == QLatin1Char('\'')) {
            ++i;
            bool closed = false;
            while (i < n) {
                if (text[i] == QLatin1Char('\\') && i + 1 < n) {
                    value += text[i + 1];
                    i += 2;
                } else if (text[i] == QLatin1Char('\'')) {
                    ++i;
                    closed = true;
                    break;
                } else {
                    value += text[i++];
                }
            }
            if (!closed)
                Refuse(QStringLiteral("the quote after %1= is not closed").arg(key));
        } else {
            while (i < n && !text[i].isSpace()) {
                if (text[i] == QLatin1Char('\\') && i + 1 < n)
                    ++i;
                value += text[i++];
            }
        }
        pairs.emplace_back(key, value);
    }
}

Pairs ParseUri(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        Refuse(QStringLiteral("the URI does not parse (%1)").arg(url.errorString()));
    Pairs pairs;
    if (!url.host().isEmpty())
        pairs.emplace_back(QStringLiteral("host"), url.host());
    if (url.port() != -1)
        pairs.emplace_back(QStringLiteral("port"), QString::number(url.port()));
    const QString database = url.path(QUrl::FullyDecoded).mid(1);
    if (!database.isEmpty())
        pairs.emplace_back(QStringLiteral("dbname"), database);
    if (!url.userName().isEmpty())
        pairs.emplace_back(QStringLiteral("user"), url.userName(QUrl::FullyDecoded));
    if (!url.password().isEmpty())
        pairs.emplace_back(QStringLiteral("password"), url.password(QUrl::FullyDecoded));
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
        pairs.emplace_back(key, value);
    return pairs;
}

} // namespace

ServerAddress ParseServerAddress(const QString& address, int connectSeconds) {
    const QString text = address.trimmed();
    if (text.isEmpty())
        Refuse(QStringLiteral("it is empty"));
    const bool uri = text.startsWith(QLatin1String("postgresql://")) ||
                     text.startsWith(QLatin1String("postgres://"));
    ServerAddress server;
    QStringList options;
    bool timeoutGiven = false;
    for (const auto& [key, value] : uri ? ParseUri(text) : ParseConnectionString(text)) {
        if (key == QLatin1String("host") || key == QLatin1String("hostaddr")) {
            server.host = value;
        } else if (key == QLatin1String("port")) {
            bool ok = false;
            server.port = value.toInt(&ok);
            if (!ok || server.port <= 0 || server.port > 65535)
                Refuse(QStringLiteral("port \"%1\" is no port number").arg(value));
        } else if (key == QLatin1String("dbname")) {
            server.database = value;
        } else if (key == QLatin1String("user")) {
            server.user = value;
        } else if (key == QLatin1String("password")) {
            server.password = value;
        } else {
            // The driver joins its options with blanks after turning ';' into
            // one, so an option value can hold neither.
            if (value.contains(QLatin1Char(';')) || value.contains(QLatin1Char(' ')) ||
                value.contains(QLatin1Char('\'')) || value.contains(QLatin1Char('\\')))
                Refuse(QStringLiteral("the value of %1 holds a blank, ';', a quote or a backslash")
                           .arg(key));
            if (key == QLatin1String("connect_timeout"))
                timeoutGiven = true;
            options << key + QLatin1Char('=') + value;
        }
    }
    if (!timeoutGiven && connectSeconds > 0)
        options << QStringLiteral("connect_timeout=%1").arg(connectSeconds);
    server.options = options.join(QLatin1Char(';'));
    return server;
}

} // namespace quillar
