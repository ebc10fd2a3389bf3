// The in-place page update against a fresh load. Printouts of random and
// hostile device text grow a report tick by tick, with corrections in the
// middle; after each tick the document brought in place must be the one a
// fresh load of the same page gives, and must still be the same document (a
// script that fails makes the view load the page afresh, which would hide it).
//
// QUILLAR_DIFFERENTIAL_ROUNDS sets the number of random printouts (default 4),
// QUILLAR_DIFFERENTIAL_SEED replays a failed run.

#include "view/report_browser.h"
#include "view_test_support.h"

#include <QMainWindow>
#include <QRandomGenerator>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace quillar::test {

namespace {

// The plain page's frame, as the page builder writes it.
const std::string kHead =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
    "<style type='text/css'>body{font-family: 'Courier New', Courier, monospace; "
    "line-height:1.2;}</style></head><body>";
const std::string kFoot = "</body></html>";

// The document as a structure: node kinds and names, attributes in a fixed
// order, texts and comments, template contents, and the parser's mode.
const char* const kDocumentStructure = R"JS(
(function () {
  function walk(n) {
    var out = [n.nodeType, n.nodeName], children = [];
    if (n.nodeType === Node.ELEMENT_NODE) {
      var attributes = [];
      for (var i = 0; i < n.attributes.length; ++i) {
        var a = n.attributes[i];
        attributes.push((a.namespaceURI || '') + ' ' + a.name + '=' + a.value);
      }
      out.push(attributes.sort());
    } else {
      out.push(n.nodeValue);
    }
    for (var c = n.firstChild; c; c = c.nextSibling) children.push(walk(c));
    if (n.content instanceof DocumentFragment) children.push(walk(n.content));
    out.push(children);
    return out;
  }
  return JSON.stringify([document.compatMode, walk(document)]);
})()
)JS";

// Device text that a script built by formatting would read as something else,
// and the bytes that the page builder passes on as they came.
const char* const kHostile[] = {"%0",
                                "%1",
                                "%5",
                                "%7",
                                "%9",
                                "%10",
                                "%99",
                                "%%",
                                "%",
                                "%L1",
                                "$&",
                                "$'",
                                "$`",
                                "$1",
                                "$$",
                                "\\",
                                "\\\\",
                                "\\u0041",
                                "\\x00",
                                "\\n",
                                "\"",
                                "'",
                                "`",
                                "${x}",
                                "</script>",
                                "<script>",
                                "<!--",
                                "-->",
                                "<b>",
                                "</b>",
                                "&#252",
                                "&amp;",
                                "&",
                                "<",
                                ">",
                                "<br>",
                                "<br>",
                                "<br>",
                                "\n",
                                "\r",
                                "\r\n",
                                "\xE2\x80\xA8",     // U+2028 LINE SEPARATOR
                                "\xE2\x80\xA9",     // U+2029 PARAGRAPH SEPARATOR
                                "\xED\xA0\xBD",     // a lone high surrogate, as 8-bit bytes
                                "\xED\xB4\x8B",     // a lone low surrogate
                                "\xF0\x9F\x94\x8B", // U+1F50B, a pair in UTF-16
                                "\xF0\x9F\x94",     // the same, cut short
                                "\xC3",
                                "\xFF",
                                "\x80",
                                "\xFC",
                                "\xC0\xAF",
                                "\xE6\x97\xA5\xE6\x9C\xAC",             // 日本
                                "\xE7\x94\xB5\xE6\xB1\xA0",             // 电池
                                "\xEB\xB0\xB0\xED\x84\xB0\xEB\xA6\xAC", // 배터리
                                "SOC ",
                                "SOH ",
                                "R ",
                                "12.5V",
                                " ",
                                "CCA 540"};

std::string HostilePiece(std::mt19937_64& random) {
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kHostile) - 1);
    switch (random() % 10) {
    case 0: // a percent sign before any number
        return "%" + std::to_string(random() % 100);
    case 1: // any byte at all
        return std::string(1, static_cast<char>(random() % 256));
    case 2:
        return std::string(1, '\0');
    default:
        return kHostile[pick(random)];
    }
}

// A tick's worth of printout: a few pieces and line ends, sometimes a long
// line or a burst of many short lines (a report long enough to be laid out in
// parts).
std::string Chunk(std::mt19937_64& random) {
    std::string chunk;
    switch (random() % 10) {
    case 0: {
        const std::size_t length = 500 + random() % 4000;
        while (chunk.size() < length) {
            chunk += random() % 3 ? std::string(1 + random() % 40, 'v') : HostilePiece(random);
        }
        return chunk;
    }
    case 1:
        for (int line = 0, lines = 200 + random() % 400; line < lines; ++line) {
            chunk += "R %" + std::to_string(line % 100) + HostilePiece(random) + "<br>";
        }
        return chunk;
    default:
        for (int piece = 0, pieces = 1 + random() % 30; piece < pieces; ++piece) {
            chunk += HostilePiece(random);
        }
        return chunk;
    }
}

// A correction in the middle of what was received: bytes replaced by others
// (possibly cutting a character in two).
void ChangeInTheMiddle(std::mt19937_64& random, std::string& received) {
    if (received.empty()) {
        return;
    }
    const std::size_t at = random() % received.size();
    const std::size_t length = std::min<std::size_t>(random() % 12, received.size() - at);
    std::string instead;
    for (int piece = 0, pieces = random() % 3; piece < pieces; ++piece) {
        instead += HostilePiece(random);
    }
    received.replace(at, length, instead);
}

QString Excerpt(const QString& text, qsizetype at) {
    return text.mid(std::max<qsizetype>(at - 60, 0), 160);
}

} // namespace

class PageUpdateDifferentialTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void inPlaceUpdates_giveWhatAFreshLoadGives_forAnyDeviceText();

private:
    // Shows page in place and afresh; false (with the difference reported)
    // when the two documents differ or the shown one was replaced.
    bool ShowAndCompare(const std::string& page, const QString& where);

    std::unique_ptr<QMainWindow> window_;
    TReportBrowser* live_ = nullptr;  // brought from page to page in place
    TReportBrowser* fresh_ = nullptr; // loads every page afresh
    QString document_;                // a token in the live document's window
};

void PageUpdateDifferentialTest::init() {
    window_ = std::make_unique<QMainWindow>();
    window_->resize(800, 600);
    live_ = new TReportBrowser(window_.get());
    fresh_ = new TReportBrowser(window_.get());
    live_->SetHostWindow(window_.get());
    fresh_->SetHostWindow(window_.get());
    live_->SetSize(800, 600);
    fresh_->SetSize(800, 600);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void PageUpdateDifferentialTest::cleanup() {
    delete live_;
    delete fresh_;
    live_ = nullptr;
    fresh_ = nullptr;
    window_.reset();
}

bool PageUpdateDifferentialTest::ShowAndCompare(const std::string& page, const QString& where) {
    // The empty page in between has no head: the page after it loads afresh.
    if (ShowAndWait(*live_, page) != 0 || ShowAndWait(*fresh_, "") != 0 ||
        ShowAndWait(*fresh_, page) != 0) {
        qWarning("%s: a page was not shown", qPrintable(where));
        return false;
    }
    QWebEnginePage* livePage = live_->View()->page();
    if (RunScript(livePage, "window.quillarDifferentialDocument").toString() != document_) {
        qWarning("%s: the page was loaded afresh instead of brought in place", qPrintable(where));
        return false;
    }
    const QString shown = RunScript(livePage, kDocumentStructure).toString();
    const QString expected = RunScript(fresh_->View()->page(), kDocumentStructure).toString();
    if (!shown.contains(QLatin1String("\"BODY\"")) || shown != expected) {
        qsizetype at = 0;
        while (at < shown.size() && at < expected.size() && shown[at] == expected[at]) {
            ++at;
        }
        qWarning("%s: the document differs from a fresh load at %lld\n  in place: %s\n  fresh:    "
                 "%s",
                 qPrintable(where), static_cast<long long>(at), qPrintable(Excerpt(shown, at)),
                 qPrintable(Excerpt(expected, at)));
        return false;
    }
    return true;
}

void PageUpdateDifferentialTest::inPlaceUpdates_giveWhatAFreshLoadGives_forAnyDeviceText() {
    bool ok = false;
    const int asked = qEnvironmentVariableIntValue("QUILLAR_DIFFERENTIAL_ROUNDS", &ok);
    const int rounds = ok && asked > 0 ? asked : 4;
    const quint64 seed = qEnvironmentVariableIsSet("QUILLAR_DIFFERENTIAL_SEED")
                             ? qgetenv("QUILLAR_DIFFERENTIAL_SEED").toULongLong()
                             : QRandomGenerator::system()->generate64();
    std::mt19937_64 random(seed);
    const QString replay =
        QStringLiteral("QUILLAR_DIFFERENTIAL_SEED=%1 QUILLAR_DIFFERENTIAL_ROUNDS=%2")
            .arg(seed)
            .arg(rounds);

    // The document that every later page is brought to in place.
    QCOMPARE(ShowAndWait(*live_, kHead + kFoot), 0);
    document_ = QString::number(seed) + QStringLiteral("-document");
    QVERIFY(
        RunScript(live_->View()->page(), "window.quillarDifferentialDocument = '" + document_ + "'")
            .isValid());

    // Round 0 is the printout that formatting used to turn into other text
    // and into a script error; the others are random.
    for (int round = 0; round <= rounds; ++round) {
        // Each printout is a new report: the document is emptied in place.
        live_->ForgetTypedValues();
        std::string received;
        const std::vector<std::string> known = {"SOC 50%5 SOH 80%6 R %7<br>",
                                                "%0 %1 %99 $& $' \\ \" </script> <!-- x --><br>",
                                                "\xE2\x80\xA8\xE2\x80\xA9\xED\xA0\xBD\xFF<br>"};
        const int ticks = round == 0 ? static_cast<int>(known.size()) : 4 + random() % 8;
        const int change = round == 0 ? -1 : static_cast<int>(random() % ticks);
        for (int tick = 0; tick < ticks; ++tick) {
            received += round == 0 ? known[tick] : Chunk(random);
            if (tick == change) {
                ChangeInTheMiddle(random, received);
            }
            const QString where =
                QStringLiteral("round %1 tick %2 (replay: %3)").arg(round).arg(tick).arg(replay);
            QVERIFY2(ShowAndCompare(kHead + received + kFoot, where), qPrintable(where));
        }
    }
    qInfo("%d rounds clean (%s)", rounds, qPrintable(replay));
}

std::unique_ptr<QObject> MakePageUpdateDifferentialTest() {
    return std::make_unique<PageUpdateDifferentialTest>();
}

} // namespace quillar::test

#include "page_update_differential_test.moc"
