// The bytes handed to the engine: line ends and NUL bytes.

#include "view/page_bytes.h"

#include <QTest>

#include <memory>
#include <string>

using namespace std::string_literals;

namespace quillar::test {

class PageBytesTest : public QObject {
    Q_OBJECT
private slots:
    void lineEnds_becomeCrLf_data();
    void lineEnds_becomeCrLf();
    void nulBytes_areDroppedNotTheRest_data();
    void nulBytes_areDroppedNotTheRest();
    void highBytes_passUnchanged();
    void invalidUtf8_inAUtf8Page_becomesWhatTheEngineReads();
};

void PageBytesTest::lineEnds_becomeCrLf_data() {
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("empty text gives nothing") << QByteArray() << QByteArray();
    QTest::newRow("one line without end") << QByteArray("abc") << QByteArray("abc\r\n");
    QTest::newRow("end at the end opens no line") << QByteArray("abc\r\n") << QByteArray("abc\r\n");
    QTest::newRow("lone LF") << QByteArray("a\nb") << QByteArray("a\r\nb\r\n");
    QTest::newRow("lone CR") << QByteArray("a\rb") << QByteArray("a\r\nb\r\n");
    QTest::newRow("CR LF is one end") << QByteArray("a\r\nb") << QByteArray("a\r\nb\r\n");
    QTest::newRow("LF CR is two ends") << QByteArray("a\n\rb") << QByteArray("a\r\n\r\nb\r\n");
    QTest::newRow("mixed") << QByteArray("1\r2\n3\r\n4\n\r5\r\r\n")
                           << QByteArray("1\r\n2\r\n3\r\n4\r\n\r\n5\r\n\r\n");
    QTest::newRow("empty lines kept") << QByteArray("\n\n") << QByteArray("\r\n\r\n");
    QTest::newRow("trailing lone CR") << QByteArray("a\r") << QByteArray("a\r\n");
}

void PageBytesTest::lineEnds_becomeCrLf() {
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, expected);
    QCOMPARE(PageBytesForEngine(std::string_view(page.constData(), page.size())), expected);
}

void PageBytesTest::nulBytes_areDroppedNotTheRest_data() {
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("inside a line") << QByteArray("ab\0cd"s.c_str(), 5) << QByteArray("abcd\r\n");
    QTest::newRow("closing tags after NUL")
        << QByteArray("<p>x\0</p>\n</body>"s.c_str(), 17) << QByteArray("<p>x</p>\r\n</body>\r\n");
    QTest::newRow("only NULs give nothing") << QByteArray("\0\0"s.c_str(), 2) << QByteArray();
    QTest::newRow("NUL after the last end opens no line")
        << QByteArray("a\n\0"s.c_str(), 3) << QByteArray("a\r\n");
    QTest::newRow("NUL between CR and LF: still one end")
        << QByteArray("a\r\0\nb"s.c_str(), 5) << QByteArray("a\r\nb\r\n");
}

void PageBytesTest::nulBytes_areDroppedNotTheRest() {
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, expected);
    QCOMPARE(PageBytesForEngine(std::string_view(page.constData(), page.size())), expected);
}

void PageBytesTest::highBytes_passUnchanged() {
    // UTF-8, a lone 0xFC of a Latin-1 page and 0xFF: no charset conversion, no BOM.
    std::string page = "\xC3\xBC \xFC \xFF";
    QCOMPARE(PageBytesForEngine(page), QByteArray("\xC3\xBC \xFC \xFF\r\n"));
}

void PageBytesTest::invalidUtf8_inAUtf8Page_becomesWhatTheEngineReads() {
    // One U+FFFD per maximal part of a sequence that cannot be completed; the
    // byte that breaks a sequence starts the next one. A NUL inside a
    // sequence is not there. U+FFFD is EF BF BD.
    const std::string head = "<html><head><meta charset=UTF-8></head><BODY>";
    const std::string body =
        "a\xF0\x9F\x94z\xED\xA0\xBD\xC0\xAF\xE2\x82\xAC\xFF\xC3\0\xBC\xE2\x82"s;
    const std::string fffd = "\xEF\xBF\xBD";
    QCOMPARE(PageBytesForEngine(head + body),
             QByteArray::fromStdString(head + "a" + fffd + "z" + fffd + fffd + fffd + fffd + fffd +
                                       "\xE2\x82\xAC" + fffd + "\xC3\xBC" + fffd + "\r\n"));
    // A page of another charset keeps its bytes.
    const std::string latin1 = "<html><head><meta charset=iso-8859-1></head><body>\xFC\xC3";
    QCOMPARE(PageBytesForEngine(latin1), QByteArray::fromStdString(latin1 + "\r\n"));
}

std::unique_ptr<QObject> MakePageBytesTest() {
    return std::make_unique<PageBytesTest>();
}

} // namespace quillar::test

#include "page_bytes_test.moc"
