#include "view/page_update.h"

#include <algorithm>

namespace quillar {

QString PageHeadOf(const QString& page) {
    const qsizetype body = page.indexOf(QLatin1String("<body"), 0, Qt::CaseInsensitive);
    if (body < 0)
        return {};
    const qsizetype close = page.indexOf(QLatin1Char('>'), body);
    if (close < 0)
        return {};
    const QString head = page.left(close + 1);
    if (!head.contains(QLatin1String("utf-8"), Qt::CaseInsensitive))
        return {};
    return head;
}

qsizetype SharedHeadLength(const QString& shown, const QString& next) {
    const QString head = PageHeadOf(next);
    const bool shared =
        !head.isEmpty() && shown.startsWith(head) && PageHeadOf(shown).size() == head.size();
    return shared ? head.size() : 0;
}

PageEdit DiffPages(const QString& shown, const QString& next) {
    const qsizetype limit = std::min(shown.size(), next.size());
    qsizetype from = 0;
    while (from < limit && shown[from] == next[from])
        ++from;
    if (from > 0 && next[from - 1].isHighSurrogate())
        --from;
    qsizetype tail = 0;
    while (tail < limit - from && shown[shown.size() - 1 - tail] == next[next.size() - 1 - tail])
        ++tail;
    if (tail > 0 && next[next.size() - tail].isLowSurrogate())
        --tail;
    PageEdit edit;
    edit.from = from;
    edit.tail = tail;
    edit.text = next.mid(from, next.size() - tail - from);
    return edit;
}

QString JsStringLiteral(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '"' || u == '\\') {
            out += QLatin1Char('\\');
            out += c;
        } else if (u >= 0x20 && u < 0x7f) {
            out += c;
        } else {
            static const char kHex[] = "0123456789abcdef";
            const char escape[] = {
                '\\',        'u', kHex[(u >> 12) & 15], kHex[(u >> 8) & 15], kHex[(u >> 4) & 15],
                kHex[u & 15]};
            out += QLatin1String(escape, sizeof escape);
        }
    }
    out += QLatin1Char('"');
    return out;
}

QString InPlaceUpdateScript(const PageEdit& edit, qsizetype baseLength, qsizetype headLength,
                            bool startFresh, int linesPerPart) {
    // Plain concatenation: each argument goes in once and is never read
    // again, so nothing in the device's text can turn into another argument.
    // (QString::arg would scan text inserted by an earlier call for "%5".)
    const QString comma = QStringLiteral(", ");
    return QStringLiteral("quillarUpdate(") + QString::number(baseLength) + comma +
           QString::number(edit.from) + comma + QString::number(edit.tail) + comma +
           JsStringLiteral(edit.text) + comma + QString::number(headLength) + comma +
           (startFresh ? QStringLiteral("true") : QStringLiteral("false")) + comma +
           QString::number(linesPerPart) + QLatin1Char(')');
}

} // namespace quillar
