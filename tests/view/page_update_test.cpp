// The pieces of the in-place page update that need no engine: which pages
// qualify, the span that changed, and the text literal the engine is sent.

#include "view/page_update.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <memory>

namespace quillar::test {

class PageUpdateTest : public QObject {
    Q_OBJECT
private slots:
    void head_isUpToTheBodyTag_andMustDeclareUtf8();
    void diff_isTheOneChangedSpan_neverHalfASurrogatePair();
    void literal_readsBackAsTheSameText();
};

void PageUpdateTest::head_isUpToTheBodyTag_andMustDeclareUtf8() {
    const QString head = QStringLiteral(
        "<html><head><meta charset=\"UTF-8\"><style>p{}</style></head><BODY class=x>");
    QCOMPARE(PageHeadOf(head + QStringLiteral("text<body>")), head);
    QVERIFY(PageHeadOf(QStringLiteral("<html><head></head><body>text")).isEmpty()); // no charset
    QVERIFY(PageHeadOf(QStringLiteral("<meta charset=utf-8>no body")).isEmpty());
    QVERIFY(PageHeadOf(QString()).isEmpty());

    QCOMPARE(
        SharedHeadLength(head + QStringLiteral("a</body>"), head + QStringLiteral("ab</body>")),
        head.size());
    // Another head (the template after the plain page, or a changed style) loads afresh.
    const QString other = QStringLiteral("<html><head><meta charset=utf-8></head><body>");
    QCOMPARE(SharedHeadLength(head + QStringLiteral("a"), other + QStringLiteral("a")),
             qsizetype{0});
    QCOMPARE(SharedHeadLength(other + QStringLiteral("a"), head + QStringLiteral("a")),
             qsizetype{0});
    // An empty page (a model that builds none) has no head to keep.
    QCOMPARE(SharedHeadLength(head, QString()), qsizetype{0});
    QCOMPARE(SharedHeadLength(QString(), head), qsizetype{0});
}

void PageUpdateTest::diff_isTheOneChangedSpan_neverHalfASurrogatePair() {
    auto apply = [](const QString& shown, const PageEdit& e) {
        return shown.left(e.from) + e.text + shown.right(e.tail);
    };
    const QString pairs[][2] = {
        {QStringLiteral("head<br>abc</body>"), QStringLiteral("head<br>abcdef</body>")},
        {QStringLiteral("Sto-red<br>x"), QStringLiteral("Stored<br>x")},
        {QStringLiteral("aaaa"), QStringLiteral("aa")}, // shrinking, repeated letters
        {QStringLiteral("same"), QStringLiteral("same")},
        {QString(), QStringLiteral("new")},
        {QStringLiteral("old"), QString()},
        // U+1F50B and U+1F50C share their high surrogate; U+1F600/U+1F700 their low one.
        {QStringLiteral("a\U0001F50Bz"), QStringLiteral("a\U0001F50Cz")},
        {QStringLiteral("a\U0001F600"), QStringLiteral("a\U0001F700")},
    };
    for (const auto& [shown, next] : pairs) {
        const PageEdit edit = DiffPages(shown, next);
        QCOMPARE(apply(shown, edit), next);
        QVERIFY(edit.from + edit.tail <= std::min(shown.size(), next.size()));
        QVERIFY(edit.text.isEmpty() || !edit.text.front().isLowSurrogate());
        QVERIFY(edit.text.isEmpty() || !edit.text.back().isHighSurrogate());
    }
    // Growth at the end of a report sends only what is new.
    const PageEdit grown = DiffPages(QStringLiteral("<body>line 1<br></body>"),
                                     QStringLiteral("<body>line 1<br>line 2<br></body>"));
    QCOMPARE(grown.text, QStringLiteral("line 2<br>"));
    QCOMPARE(grown.tail, qsizetype{7});
}

void PageUpdateTest::literal_readsBackAsTheSameText() {
    // Quotes, backslashes, line ends, line separators, NUL and a script end tag.
    QString text = QStringLiteral("a\"b\\c\r\n\u2028\u2029</script>\u00e6\u96fb x");
    text += QChar(0);
    const QString literal = JsStringLiteral(text);
    for (const QChar c : literal)
        QVERIFY2(c.unicode() >= 0x20 && c.unicode() < 0x7f, qPrintable(literal));
    // A JSON string is a JavaScript string literal; JSON reads this one back.
    const QJsonDocument doc = QJsonDocument::fromJson(("[" + literal + "]").toUtf8());
    QVERIFY(doc.isArray());
    QCOMPARE(doc.array().at(0).toString(), text);
    // An edit may begin or end with half a pair: it travels as an escape.
    QCOMPARE(JsStringLiteral(QString(QChar(0xDC00))), QStringLiteral("\"\\udc00\""));
}

std::unique_ptr<QObject> MakePageUpdateTest() {
    return std::make_unique<PageUpdateTest>();
}

} // namespace quillar::test

#include "page_update_test.moc"
