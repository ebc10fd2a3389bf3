#include "history/record_files.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace quillar {

namespace {

// A record read from a shared server names its files; it must not be able to
// point this PC at a file outside the archive folders.
bool StaysInside(const QString& relativePath) {
    if (relativePath.isEmpty() || QDir::isAbsolutePath(relativePath) ||
        relativePath.startsWith(QLatin1Char('/')) || relativePath.startsWith(QLatin1Char('\\')))
        return false;
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    for (const QString& part : relativePath.split(separators))
        if (part == QLatin1String(".."))
            return false;
    return true;
}

} // namespace

std::optional<QString> FindRecordFile(const QString& localArchive, const TestRecord& record,
                                      const QString& relativePath) {
    if (!StaysInside(relativePath))
        return std::nullopt;
    for (const QString& root : {localArchive, record.archiveRoot}) {
        if (root.isEmpty())
            continue;
        const QString path = QDir(root).filePath(relativePath);
        if (QFileInfo(path).isFile())
            return QDir::cleanPath(path);
    }
    return std::nullopt;
}

QString RecordBaseName(const TestRecord& record) {
    QString name = record.txtFile.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1);
    if (name.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive))
        name.chop(4);
    return name;
}

} // namespace quillar
