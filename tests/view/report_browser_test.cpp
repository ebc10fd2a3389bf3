// TReportBrowser on the engine: showing pages, what pages may do, typed
// values, keys and hosting.

#include "view/pdf_printing.h"
#include "view/report_browser.h"
#include "view/report_page_filter.h"
#include "view_test_support.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMainWindow>
#include <QMap>
#include <QPageLayout>
#include <QPageRanges>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace std::string_literals;

namespace quillar::test {

namespace {

const std::string kHead = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                          "charset=utf-8\"></head><body>";
const std::string kFoot = "</body></html>";

std::string Page(const std::string& body) {
    return kHead + body + kFoot;
}

// The files opened in the watched folders, as "folder/name", from inotify.
class OpenWatch {
public:
    explicit OpenWatch(const QStringList& folders) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        for (const QString& folder : folders) {
            const int wd = inotify_add_watch(fd_, QFile::encodeName(folder).constData(), IN_OPEN);
            names_[wd] = QFileInfo(folder).fileName();
        }
    }
    ~OpenWatch() { close(fd_); }
    bool Watching() const { return fd_ >= 0 && !names_.contains(-1); }
    std::set<QString> Opened() {
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
            for (char* at = buffer; at < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                opened_.insert(names_[event->wd] + '/' +
                               QString::fromUtf8(event->len ? event->name : ""));
                at += sizeof(inotify_event) + event->len;
            }
        }
        return opened_;
    }

private:
    int fd_;
    QMap<int, QString> names_;
    std::set<QString> opened_;
};

// Whether a reader has (or waits on) the FIFO at path; a waiting reader is
// let go with end of file, so that it cannot hold the test's process.
bool FifoHasReader(const QString& path) {
    const int fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) {
        return errno != ENXIO;
    }
    close(fd);
    return true;
}

bool SaveImage(const QString& path, int width, const char* format) {
    QImage image(width, 5, QImage::Format_RGB32);
    image.fill(Qt::red);
    return QDir().mkpath(QFileInfo(path).path()) && image.save(path, format);
}

} // namespace

class ReportBrowserTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void showPage_bytesReachTheDom();
    void showPage_emptyTextGivesEmptyDocument();
    void showPage_replacesThePage_newestWins();
    void showPage_fiveMegabytePageShows();
    void fileUrls_onlyRegularFilesOfTheImageFoldersLoad_nothingElseIsOpened();
    void imageFolderFile_urlNamesTheFileTheEngineWouldOpen();
    void pageScripts_doNotRun();
    void remoteRequests_areNeverMade();
    void navigationAwayFromTheReport_isRefused();
    void typedValues_surviveTheNextPage_untilForgotten();
    void inPlaceUpdate_isWhatAFreshLoadGives_andTypingGoesOn();
    void longReport_laidOutInParts_documentTextAndPrintUnchanged();
    void ctrlN_isSwallowed_otherKeysAreNot();
    void enter_reachesThePage_notTheMainWindow();
    void hostWindow_viewAtOriginOutsideLayout();
    void destruction_whileLoading_releasesCleanly();

private:
    QWebEnginePage* EnginePage() const { return browser_->View()->page(); }

    std::unique_ptr<QMainWindow> window_;
    QWidget* panel_ = nullptr;
    TReportBrowser* browser_ = nullptr;
};

void ReportBrowserTest::init() {
    // As the shell does: a main window, a panel in it, the view hosted in the panel.
    window_ = std::make_unique<QMainWindow>();
    panel_ = new QWidget;
    window_->setCentralWidget(panel_);
    window_->resize(800, 600);
    browser_ = new TReportBrowser(window_.get());
    browser_->SetHostWindow(panel_);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    browser_->SetSize(panel_->width(), panel_->height());
}

void ReportBrowserTest::cleanup() {
    delete browser_;
    browser_ = nullptr;
    window_.reset();
}

void ReportBrowserTest::showPage_bytesReachTheDom() {
    // A NUL from the device used to hide everything after it, closing tags included.
    const std::string body =
        "<p id=a>before\0after</p>\r<p id=b>cr\n</p>\n\r<p id=c>u\xC3\xBC</p>"s;
    QCOMPARE(ShowAndWait(*browser_, Page(body)), 0);
    QCOMPARE(TextOf(EnginePage(), "a").toString(), QStringLiteral("beforeafter"));
    QCOMPARE(TextOf(EnginePage(), "b").toString(), QStringLiteral("cr\n"));
    QCOMPARE(TextOf(EnginePage(), "c").toString(), QStringLiteral("u\u00FC"));

    // The page's meta decides the charset: a Latin-1 page keeps its 0xFC as "ü".
    const std::string latin1 = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                               "charset=iso-8859-1\"></head><body><p id=l>\xFC</p></body></html>";
    QCOMPARE(ShowAndWait(*browser_, latin1), 0);
    QCOMPARE(TextOf(EnginePage(), "l").toString(), QStringLiteral("\u00FC"));
}

void ReportBrowserTest::showPage_emptyTextGivesEmptyDocument() {
    QCOMPARE(ShowAndWait(*browser_, Page("<p id=old>old</p>")), 0);
    QCOMPARE(ShowAndWait(*browser_, ""), 0);
    QCOMPARE(RunScript(EnginePage(), "document.body ? document.body.innerHTML : 'no body'"),
             QVariant(QString()));
    QVERIFY(!TextOf(EnginePage(), "old").isValid() || TextOf(EnginePage(), "old").isNull());
}

void ReportBrowserTest::showPage_replacesThePage_newestWins() {
    QCOMPARE(ShowAndWait(*browser_, Page("<p id=first>1</p>")), 0);
    // Pages arriving faster than the engine loads them: only the newest must end up shown,
    // and pageShown is announced for it alone.
    QSignalSpy shown(browser_, &TReportBrowser::pageShown);
    QCOMPARE(browser_->ShowPage(Page("<p id=m>2</p>")), 0);
    QCOMPARE(browser_->ShowPage(Page("<p id=m>3</p>")), 0);
    QCOMPARE(browser_->ShowPage(Page("<p id=m>4</p>")), 0);
    QVERIFY(shown.wait(kWaitMs));
    QCOMPARE(shown.count(), 1);
    QCOMPARE(TextOf(EnginePage(), "m").toString(), QStringLiteral("4"));
    QVERIFY(TextOf(EnginePage(), "first").isNull());
}

void ReportBrowserTest::showPage_fiveMegabytePageShows() {
    // setHtml gives up near 1.1 MB; a long printout must still show. Printout
    // lines in blocks of twenty: one block of 100 000 lines takes the engine's
    // line layout far longer than the page takes to arrive.
    std::string block = "<div>";
    for (int i = 0; i < 20; ++i) {
        block += "Internal R= 5.92m&#937 Healthy: 100% 505CCA<br>";
    }
    block += "</div>\r\n";
    std::string body;
    while (body.size() < 5'000'000) {
        body += block;
    }
    body += "<p id=last>end of report</p>";
    QCOMPARE(ShowAndWait(*browser_, Page(body)), 0);
    QCOMPARE(TextOf(EnginePage(), "last").toString(), QStringLiteral("end of report"));
}

void ReportBrowserTest::fileUrls_onlyRegularFilesOfTheImageFoldersLoad_nothingElseIsOpened() {
    // A printout asking for a FIFO once held a thread in open() and the
    // program at exit; any other file of the machine was read as well.
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString logo = root.filePath("logo");
    const QString states = root.filePath("states");
    const QString outside = root.filePath("outside");
    QVERIFY(SaveImage(logo + "/logo.bmp", 9, "BMP"));
    QVERIFY(SaveImage(states + "/7.png", 7, "PNG"));
    // Images that would load if let through: outside, in a subfolder, in a
    // folder whose name starts with the state folder's.
    QVERIFY(SaveImage(outside + "/passwd", 3, "PNG"));
    QVERIFY(SaveImage(states + "/sub/6.png", 3, "PNG"));
    QVERIFY(SaveImage(states + "2/8.png", 3, "PNG"));
    const QStringList fifos{states + "/3.png", outside + "/fifo"};
    for (const QString& fifo : fifos) {
        QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    }
    // Also when a check below fails: a reader left waiting would hold the exit.
    const auto releaseReaders = qScopeGuard([&] {
        for (const QString& fifo : fifos) {
            FifoHasReader(fifo);
        }
    });
    std::filesystem::create_symlink((outside + "/passwd").toStdString(),
                                    (states + "/4.png").toStdString());
    std::filesystem::create_symlink("/dev/zero", (states + "/5.png").toStdString());
    OpenWatch watch({states, outside, states + "/sub", states + "2"});
    QVERIFY(watch.Watching());

    browser_->SetImageFolders({logo + "/", states + "/"});
    std::string body = "<link rel=stylesheet href=\"file://" + outside.toStdString() + "/fifo\">";
    for (const QString& path :
         {logo + "/logo.bmp", states + "/7.png", states + "/3.png", states + "/4.png",
          states + "/5.png", QStringLiteral("/dev/zero"), outside + "/fifo", outside + "/passwd",
          states + "/sub/6.png", states + "2/8.png"}) {
        body += "<img src=\"file://" + path.toStdString() + "\">";
    }
    QCOMPARE(ShowAndWait(*browser_, Page(body)), 0);
    const QString widths = "Array.prototype.every.call(document.images, function (i) {"
                           "  return i.complete; }) && Array.prototype.map.call(document.images,"
                           "  function (i) { return i.naturalWidth; }).join(' ')";
    QTRY_COMPARE_WITH_TIMEOUT(RunScript(EnginePage(), widths).toString(),
                              QStringLiteral("9 7 0 0 0 0 0 0 0 0"), kWaitMs);

    // The state image is the one file opened in the watched folders: the
    // watch sees opens, and the engine opened nothing else there.
    QCOMPARE(watch.Opened(), std::set<QString>{"states/7.png"});
    for (const QString& fifo : fifos) {
        QVERIFY2(!FifoHasReader(fifo), qPrintable(fifo));
    }
    // Nothing waits on a file: the view goes at once.
    delete browser_;
    browser_ = nullptr;
}

void ReportBrowserTest::imageFolderFile_urlNamesTheFileTheEngineWouldOpen() {
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString folder = root.filePath("states");
    QVERIFY(SaveImage(folder + "/7.png", 7, "PNG"));
    QVERIFY(SaveImage(root.filePath("passwd"), 3, "PNG"));
    QVERIFY(QDir().mkpath(folder + "/sub"));
    std::filesystem::create_symlink("7.png", (folder + "/link.png").toStdString());
    // Qt reads the invalid UTF-8 of %FF as this name; the engine asks for byte 0xFF.
    const QString fromFF = QUrl("file://" + folder + "/%FF.png").toLocalFile();
    QVERIFY(SaveImage(fromFF, 3, "PNG"));

    const QStringList folders{folder};
    const QString base = "file://" + folder;
    QVERIFY(IsImageFolderFile(QUrl(base + "/7.png"), folders));
    QVERIFY(IsImageFolderFile(QUrl(base + "/link.png"), folders));
    QVERIFY(IsImageFolderFile(QUrl::fromLocalFile(fromFF), folders));
    QVERIFY(!IsImageFolderFile(QUrl(base + "/7.png"), {}));
    QVERIFY(!IsImageFolderFile(QUrl(base + "/%FF.png"), folders));
    QVERIFY(!IsImageFolderFile(QUrl(base + "/../passwd"), folders));
    QVERIFY(!IsImageFolderFile(QUrl("file://" + root.path() + "/states%2F7.png"), folders));
    QVERIFY(!IsImageFolderFile(QUrl("file://server" + folder + "/7.png"), folders));
    QVERIFY(!IsImageFolderFile(QUrl(base + "/sub"), folders));
}

void ReportBrowserTest::pageScripts_doNotRun() {
    const std::string page = "<html><head><title>report</title></head><body>"
                             "<script>document.title = 'ran';"
                             "document.body.setAttribute('data-ran', '1');</script>"
                             "<img id=x src=\"data:,\" onerror=\"document.title='handler ran'\">"
                             "</body></html>";
    QCOMPARE(ShowAndWait(*browser_, page), 0);
    QCOMPARE(EnginePage()->title(), QStringLiteral("report"));
    QCOMPARE(RunScript(EnginePage(), "document.body.hasAttribute('data-ran')"), QVariant(false));
}

void ReportBrowserTest::remoteRequests_areNeverMade() {
    // The view's server must hear nothing; the control's proves that the
    // engine does fetch such a page when nothing stops it.
    auto remoteBody = [](const QTcpServer& server) {
        const std::string base = "http://127.0.0.1:" + std::to_string(server.serverPort());
        return "<img src=\"" + base + "/x.png\"><link rel=stylesheet href=\"" + base +
               "/s.css\"><iframe src=\"" + base + "/f.html\"></iframe>";
    };
    QTcpServer server;
    QTcpServer controlServer;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QVERIFY(controlServer.listen(QHostAddress::LocalHost));
    QSignalSpy connections(&server, &QTcpServer::newConnection);
    QSignalSpy controlConnections(&controlServer, &QTcpServer::newConnection);
    {
        QWebEngineProfile profile;
        QWebEnginePage control(&profile);
        control.setHtml(QString::fromStdString(Page(remoteBody(controlServer))));
        QVERIFY(controlConnections.wait(kWaitMs));
    }
    // The view's request filter alone stops such a page, before any setting
    // about local content comes into play (a data: page is not local).
    {
        QTcpServer filteredServer;
        QVERIFY(filteredServer.listen(QHostAddress::LocalHost));
        QSignalSpy filteredConnections(&filteredServer, &QTcpServer::newConnection);
        QWebEngineProfile profile;
        TReportRequestFilter filter;
        profile.setUrlRequestInterceptor(&filter);
        QWebEnginePage filtered(&profile);
        QSignalSpy loaded(&filtered, &QWebEnginePage::loadFinished);
        filtered.setHtml(QString::fromStdString(Page(remoteBody(filteredServer))));
        // Not asserted: a request that got through would hold the load open
        // (the server never answers), and the count below tells.
        loaded.wait(kWaitMs);
        QTest::qWait(500);
        QCOMPARE(filteredConnections.count(), 0);
    }

    const std::string body = remoteBody(server);
    QCOMPARE(ShowAndWait(*browser_, Page(body)), 0);
    // Subresources are requested before the load finishes; a short grace for stragglers.
    QTest::qWait(500);
    QCOMPARE(connections.count(), 0);
}

void ReportBrowserTest::navigationAwayFromTheReport_isRefused() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string body =
        "<p id=marker>report</p>"
        "<a id=link href=\"file://" +
        dir.path().toStdString() +
        "/\">local link</a>"
        "<form id=form action=\"http://127.0.0.1:9/submit\"><input name=q></form>";
    QCOMPARE(ShowAndWait(*browser_, Page(body)), 0);
    const QUrl shownUrl = EnginePage()->url();
    auto* page = qobject_cast<TReportPage*>(EnginePage());
    QVERIFY(page != nullptr);
    const int refusedBefore = page->RefusedNavigations();

    RunScript(EnginePage(), "document.getElementById('link').click(); true");
    QTRY_COMPARE_WITH_TIMEOUT(page->RefusedNavigations(), refusedBefore + 1, kWaitMs);
    RunScript(EnginePage(), "document.getElementById('form').submit(); true");
    QTRY_COMPARE_WITH_TIMEOUT(page->RefusedNavigations(), refusedBefore + 2, kWaitMs);
    // As a dropped URL or a reload would ask: also refused.
    EnginePage()->load(QUrl::fromLocalFile(dir.path()));
    QTRY_COMPARE_WITH_TIMEOUT(page->RefusedNavigations(), refusedBefore + 3, kWaitMs);
    EnginePage()->triggerAction(QWebEnginePage::Reload);
    QTRY_COMPARE_WITH_TIMEOUT(page->RefusedNavigations(), refusedBefore + 4, kWaitMs);

    QCOMPARE(EnginePage()->url(), shownUrl);
    QCOMPARE(TextOf(EnginePage(), "marker").toString(), QStringLiteral("report"));
    QVERIFY(!browser_->View()->acceptDrops());
}

void ReportBrowserTest::typedValues_surviveTheNextPage_untilForgotten() {
    auto form = [](const std::string& marker, const std::string& dateDefault) {
        return Page("<p id=marker>" + marker + "</p>" +
                    "<input id=\"a\" size=40><input type=text><input id=\"d\" value=\"" +
                    dateDefault + "\"><div style=\"height:5000px\">tall</div>");
    };
    QCOMPARE(ShowAndWait(*browser_, form("1", "1 May")), 0);
    // Quotes, angle brackets and a backslash must reach the box as typed.
    const QString typed = QStringLiteral("Acme \"Batteries\" </script> \\ \u00E6");
    QVERIFY(RunScript(EnginePage(),
                      "document.getElementById('a').value = " +
                          QString::fromUtf8(
                              QJsonDocument(QJsonArray{typed}).toJson(QJsonDocument::Compact)) +
                          "[0];"
                          "document.querySelectorAll('input')[1].value = 'AB 12 CDE';"
                          "window.scrollTo(0, 700); true")
                .toBool());

    // The tester sends more: the page is rebuilt, a new default date with it.
    QCOMPARE(ShowAndWait(*browser_, form("2", "2 May")), 0);
    QCOMPARE(TextOf(EnginePage(), "marker").toString(), QStringLiteral("2"));
    QCOMPARE(RunScript(EnginePage(), "document.getElementById('a').value"), QVariant(typed));
    QCOMPARE(RunScript(EnginePage(), "document.querySelectorAll('input')[1].value"),
             QVariant(QStringLiteral("AB 12 CDE")));
    QCOMPARE(RunScript(EnginePage(), "document.getElementById('d').value"),
             QVariant(QStringLiteral("2 May")));
    QCOMPARE(RunScript(EnginePage(), "window.scrollY").toInt(), 700);

    // Several pages in a row while values are being carried: none is lost.
    browser_->ShowPage(form("3", "2 May"));
    QCOMPARE(ShowAndWait(*browser_, form("4", "2 May")), 0);
    QCOMPARE(TextOf(EnginePage(), "marker").toString(), QStringLiteral("4"));
    QCOMPARE(RunScript(EnginePage(), "document.getElementById('a').value"), QVariant(typed));

    // Clear: the next page starts empty and at the top.
    browser_->ForgetTypedValues();
    QCOMPARE(ShowAndWait(*browser_, form("5", "")), 0);
    QCOMPARE(RunScript(EnginePage(), "document.getElementById('a').value"), QVariant(QString()));
    QCOMPARE(RunScript(EnginePage(), "document.querySelectorAll('input')[1].value"),
             QVariant(QString()));
    QCOMPARE(RunScript(EnginePage(), "window.scrollY").toInt(), 0);
}

void ReportBrowserTest::inPlaceUpdate_isWhatAFreshLoadGives_andTypingGoesOn() {
    // A report that grows as the tester's text does, device markup included:
    // an unclosed <b>, a table, a comment still open, a fix-up far back, text
    // after the foot. Each page must look as a fresh parse of it would.
    const std::string form = "<input id=\"a\" size=40></br>";
    const std::vector<std::string> bodies = {
        "Battery Test<br>",
        "Battery Test<br>Sto-red 12.5V<br>x<b>bold<br>more",
        "Battery Test<br>Sto-red 12.5V<br>x<b>bold<br>more</b> plain<br>",
        "Battery Test<br>Stored 12.5V<br>x<b>bold<br>more</b> plain<br><table><tr><td>c<br>",
        "Battery Test<br>Stored 12.5V<br>x<b>bold<br>more</b> "
        "plain<br><table><tr><td>c<br>d</table>"
        "<br>&#252 ok<br><!--open<br>",
        "Battery Test<br>Stored 12.5V<br>x<b>bold<br>more</b> "
        "plain<br><table><tr><td>c<br>d</table>"
        "<br>&#252 ok<br><!--open<br>closed--> after<br>",
    };
    QCOMPARE(ShowAndWait(*browser_, Page(form)), 0);
    RunScript(EnginePage(), "window.quillarFirstDocument = true;"
                            "document.getElementById('a').focus(); true");
    QWidget* input = browser_->View()->focusProxy();
    QVERIFY(input != nullptr);
    input->setFocus();

    QString typed;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const std::string page = Page(form + bodies[i]) + "<p>after the foot</p>";
        // Keys typed while the page is being replaced, not only between pages.
        browser_->ShowPage(page);
        const QString keys = QStringLiteral("k%1").arg(i);
        QTest::keyClicks(input, keys);
        typed += keys;
        // As the engine gets it: the view ends the last line with CR LF.
        const QString literal =
            QString::fromUtf8(QJsonDocument(QJsonArray{QString::fromStdString(page + "\r\n")})
                                  .toJson(QJsonDocument::Compact));
        const QString check = "var fresh = new DOMParser().parseFromString(" + literal +
                              "[0], 'text/html');"
                              "[fresh.body.innerHTML === document.body.innerHTML,"
                              " !!window.quillarFirstDocument, document.activeElement.id,"
                              " document.getElementById('a').value].join('|')";
        QTRY_COMPARE_WITH_TIMEOUT(RunScript(EnginePage(), check).toString(), "true|true|a|" + typed,
                                  kWaitMs);
    }
    // Loads of another head leave no way back to an old report.
    QCOMPARE(ShowAndWait(*browser_, "<html><head><meta charset=utf-8></head><body>x"), 0);
    QCOMPARE(ShowAndWait(*browser_, Page("y")), 0);
    QVERIFY(!EnginePage()->history()->canGoBack());
}

void ReportBrowserTest::longReport_laidOutInParts_documentTextAndPrintUnchanged() {
    // A long report is shown through parts of the body's shadow tree. The
    // document must stay what a fresh parse gives, every child of the body
    // must be shown once and in order, and the printout must hold all of it.
    auto lines = [](int from, int to) {
        std::string text;
        for (int i = from; i < to; ++i) {
            text += "line " + std::to_string(i) + " " + std::string(180, 'v') + "<br>";
        }
        return text;
    };
    const QString check =
        QStringLiteral("var fresh = new DOMParser().parseFromString(%1[0], 'text/html');"
                       "var root = document.body.shadowRoot, shown = [];"
                       "if (root) root.querySelectorAll('slot').forEach(function (s) {"
                       "  shown = shown.concat(s.assignedNodes()); });"
                       "var children = Array.prototype.slice.call(document.body.childNodes);"
                       "[fresh.body.innerHTML === document.body.innerHTML,"
                       " root ? root.children.length : 0,"
                       " !root || shown.length === children.length &&"
                       "   shown.every(function (n, i) { return n === children[i]; })].join('|')");
    auto checkFor = [&](const std::string& page) {
        const QString literal =
            QString::fromUtf8(QJsonDocument(QJsonArray{QString::fromStdString(page + "\r\n")})
                                  .toJson(QJsonDocument::Compact));
        return RunScript(EnginePage(), check.arg(literal)).toString();
    };

    // Grown in place: short (the engine's own layout), long, then a change far
    // back. Parts end only at a line break outside any element.
    std::string body = lines(0, 400);
    QCOMPARE(ShowAndWait(*browser_, Page(body)), 0);
    QCOMPARE(checkFor(Page(body)), QStringLiteral("true|0|true"));
    body += "<b>bold</b> " + lines(400, 1250);
    QCOMPARE(ShowAndWait(*browser_, Page(body)), 0);
    QCOMPARE(checkFor(Page(body)), QStringLiteral("true|13|true"));
    body.replace(body.find("line 7 "), 7, "line seven ");
    // Then 25,000 nodes with no line break: parts of 10,000 nodes at most.
    body += lines(1250, 1401);
    for (int i = 0; i < 25'000; ++i) {
        body += "<i>i</i>";
    }
    body += "<b>tail, left open";
    QCOMPARE(ShowAndWait(*browser_, Page(body)), 0);
    QCOMPARE(checkFor(Page(body)), QStringLiteral("true|17|true"));

    // Laid out where it is looked at: scrolled to the end, the last text shows
    // on screen, and the page is as tall as its 1,401 lines at least.
    const QString scrollToEnd = QStringLiteral(
        "window.scrollTo(0, document.body.scrollHeight);"
        "var r = document.createRange(); r.selectNodeContents(document.body.lastChild);"
        "var box = r.getBoundingClientRect();"
        "[document.body.scrollHeight > 1401 * 15, box.height > 0,"
        " box.bottom <= window.innerHeight].join('|')");
    QTRY_COMPARE_WITH_TIMEOUT(RunScript(EnginePage(), scrollToEnd).toString(),
                              QStringLiteral("true|true|true"), kWaitMs);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pdf = dir.filePath("long.pdf");
    QCOMPARE(PrintToPdfAndWait(
                 *browser_, pdf,
                 QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF())),
             QString());
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    QVERIFY(text.waitForFinished(kWaitMs));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    for (const char* line : {"line seven\\s", "line 640\\s", "line 1400\\s", "left open"}) {
        QVERIFY2(printed.contains(QRegularExpression(QLatin1String(line))), line);
    }

    // A long page of another head is loaded as its head and filled the same way.
    const std::string other = "<html><head><meta charset=utf-8><style>body{margin:0}</style>"
                              "</head><body>" +
                              lines(0, 1500) + "end";
    QVERIFY(other.size() > 256 * 1024);
    QCOMPARE(ShowAndWait(*browser_, other), 0);
    QCOMPARE(checkFor(other), QStringLiteral("true|16|true"));
}

void ReportBrowserTest::ctrlN_isSwallowed_otherKeysAreNot() {
    QAction ctrlN(window_.get());
    ctrlN.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    QAction ctrlShiftN(window_.get());
    ctrlShiftN.setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    window_->addAction(&ctrlN);
    window_->addAction(&ctrlShiftN);
    QSignalSpy ctrlNFired(&ctrlN, &QAction::triggered);
    QSignalSpy ctrlShiftNFired(&ctrlShiftN, &QAction::triggered);

    QCOMPARE(ShowAndWait(*browser_, Page("<textarea id=t></textarea>")), 0);
    RunScript(EnginePage(), "document.getElementById('t').focus(); true");
    QWidget* input = browser_->View()->focusProxy();
    QVERIFY(input != nullptr);
    input->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(input->hasFocus(), kWaitMs);

    QTest::keyClick(input, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(input, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(input, Qt::Key_K);
    QTRY_COMPARE_WITH_TIMEOUT(RunScript(EnginePage(), "document.getElementById('t').value"),
                              QVariant(QStringLiteral("k")), kWaitMs);
    QCOMPARE(ctrlNFired.count(), 0);
    QCOMPARE(ctrlShiftNFired.count(), 1);
}

void ReportBrowserTest::enter_reachesThePage_notTheMainWindow() {
    QAction enter(window_.get());
    enter.setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    window_->addAction(&enter);
    QSignalSpy enterFired(&enter, &QAction::triggered);

    QCOMPARE(ShowAndWait(*browser_, Page("<textarea id=t></textarea>"
                                         "<form><input id=a></form>")),
             0);
    RunScript(EnginePage(), "document.getElementById('t').focus(); true");
    QWidget* input = browser_->View()->focusProxy();
    QVERIFY(input != nullptr);
    input->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(input->hasFocus(), kWaitMs);

    QTest::keyClick(input, Qt::Key_X);
    QTest::keyClick(input, Qt::Key_Return);
    QTest::keyClick(input, Qt::Key_Y);
    QTest::keyClick(input, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(input, Qt::Key_Z);
    QTRY_COMPARE_WITH_TIMEOUT(RunScript(EnginePage(), "document.getElementById('t').value"),
                              QVariant(QStringLiteral("x\ny\nz")), kWaitMs);

    // Enter in a one-box form asks to submit it: the page got the key, the
    // view refused to leave the report.
    auto* page = qobject_cast<TReportPage*>(EnginePage());
    QVERIFY(page != nullptr);
    const int refusedBefore = page->RefusedNavigations();
    RunScript(EnginePage(), "document.getElementById('a').focus(); true");
    QTest::keyClick(input, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(page->RefusedNavigations(), refusedBefore + 1, kWaitMs);

    QCOMPARE(enterFired.count(), 0);
}

void ReportBrowserTest::hostWindow_viewAtOriginOutsideLayout() {
    // A host with a layout of its own: the view must not be placed by it.
    auto* host = new QWidget;
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(30, 30, 30, 30);
    layout->addWidget(new QWidget);
    window_->setCentralWidget(host);
    browser_->SetHostWindow(host);
    browser_->SetSize(321, 234);
    window_->resize(700, 500);
    QTest::qWait(0);
    QWebEngineView* view = browser_->View();
    QCOMPARE(view->parentWidget(), host);
    QCOMPARE(view->geometry(), QRect(0, 0, 321, 234));
    QVERIFY(view->isVisible());
    QCOMPARE(layout->indexOf(view), -1);
}

void ReportBrowserTest::destruction_whileLoading_releasesCleanly() {
    // The engine warns when a profile goes while its page lives: the page must go first.
    QTest::failOnWarning(QRegularExpression("Release of profile requested"));
    QCOMPARE(ShowAndWait(*browser_, Page("<input id=a>")), 0);
    RunScript(EnginePage(), "document.getElementById('a').value = 'typed'; true");
    // A capture of typed values and a page are in flight when the browser goes.
    browser_->ShowPage(Page("<input id=a>"));
    browser_->ShowPage(Page("<input id=a>"));
    delete browser_;
    browser_ = nullptr;
    QTest::qWait(200);
    QVERIFY(window_->findChild<QWebEngineView*>() == nullptr);
}

std::unique_ptr<QObject> MakeReportBrowserTest() {
    return std::make_unique<ReportBrowserTest>();
}

} // namespace quillar::test

#include "report_browser_test.moc"
