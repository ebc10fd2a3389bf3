// The view's page scripts as resources: each is built in, every document the
// view shows gets its functions in the application's world only, a tick sends
// a call and not the script, and a missing resource is said loudly.

#include "view/page_update.h"
#include "view/report_browser.h"
#include "view/report_engine.h"
#include "view/typed_values.h"
#include "view/view_scripts.h"
#include "view/view_style.h"
#include "view_test_support.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMainWindow>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <memory>
#include <string>

namespace quillar::test {

namespace {

// Every function that the view calls by name.
const char* const kFunctions[] = {"quillarUpdate",         "quillarCaptureTyped",
                                  "quillarRestoreTyped",   "quillarAdoptViewStyle",
                                  "quillarAlignFormBoxes", "quillarPrepareForPaper",
                                  "quillarAfterPaper"};

// "typeof f" of each function, joined by spaces.
QString TypesOfFunctions() {
    QString script = QStringLiteral("[");
    for (const char* name : kFunctions) {
        script += QStringLiteral("typeof window.%1, ").arg(QLatin1String(name));
    }
    return script + QStringLiteral("].join(' ')");
}

QString Repeated(const QString& word) {
    QStringList words;
    for (qsizetype i = 0; i < qsizetype(std::size(kFunctions)); ++i) {
        words << word;
    }
    return words.join(' ');
}

} // namespace

class ViewScriptsTest : public QObject {
    Q_OBJECT
private slots:
    void missingScript_isLoggedAsAnError_andGivesNoText();
    void everyScript_isBuiltIn_andRunsAtDocumentCreationInTheApplicationWorld();
    void shownDocument_hasEveryFunctionTheViewCalls();
    void pageContent_neitherSeesNorReplacesTheFunctions();
    void tickCall_carriesTheChangeNotTheScript();
};

void ViewScriptsTest::missingScript_isLoggedAsAnError_andGivesNoText() {
    QTest::ignoreMessage(QtCriticalMsg,
                         QRegularExpression("script no_such_script\\.js is missing from its "
                                            "resources"));
    QVERIFY(ViewScriptSource(QStringLiteral("no_such_script.js")).isEmpty());
}

void ViewScriptsTest::everyScript_isBuiltIn_andRunsAtDocumentCreationInTheApplicationWorld() {
    for (const char* name : {"page_update.js", "typed_values.js", "view_style.js"}) {
        QVERIFY2(ViewScriptSource(QString::fromLatin1(name)).contains("Object.defineProperty"),
                 name);
    }
    const QList<QWebEngineScript> scripts = ViewDocumentScripts();
    QCOMPARE(scripts.size(), 3);
    for (const QWebEngineScript& script : scripts) {
        QCOMPARE(script.injectionPoint(), QWebEngineScript::DocumentCreation);
        QCOMPARE(script.worldId(), quint32(QWebEngineScript::ApplicationWorld));
        QVERIFY(!script.runsOnSubFrames());
    }
    // The style sheet is adopted where its function is defined.
    QVERIFY(scripts.back().sourceCode().contains(AdoptViewStyleScript()));
}

void ViewScriptsTest::shownDocument_hasEveryFunctionTheViewCalls() {
    QMainWindow window;
    auto* browser = new TReportBrowser(&window);
    browser->SetHostWindow(&window);
    QCOMPARE(ShowAndWait(*browser, "<html><head><meta charset=utf-8></head><body>"
                                   "<input id=quillarUpdate value=x>"),
             0);
    QWebEnginePage* page = browser->View()->page();
    // An element named like a function does not hide it.
    QCOMPARE(RunScript(page, TypesOfFunctions()).toString(), Repeated("function"));
    // The style sheet was adopted at the document's creation.
    QVERIFY(RunScript(page, "document.adoptedStyleSheets.length").toInt() >= 1);
    delete browser;
}

void ViewScriptsTest::pageContent_neitherSeesNorReplacesTheFunctions() {
    // A page whose own scripts run (the view turns them off; here they are on
    // to show that the functions are out of their reach regardless).
    QWebEngineProfile profile;
    QWebEnginePage page(&profile);
    page.settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    page.scripts().insert(ViewDocumentScripts());
    const QString html =
        QStringLiteral("<html><head><meta charset=utf-8><script>"
                       "document.title = 'seen: ' + %1;"
                       "window.quillarCaptureTyped = function () { return 'replaced'; };"
                       "window.quillarUpdate = function () { return 'replaced'; };"
                       "</script></head><body><input id=b value=default></body></html>")
            .arg(TypesOfFunctions());
    QSignalSpy loaded(&page, &QWebEnginePage::loadFinished);
    page.setHtml(html);
    QVERIFY(loaded.wait(kWaitMs));
    QVERIFY(loaded.at(0).at(0).toBool());
    QCOMPARE(page.title(), "seen: " + Repeated("undefined"));

    // The application world still has its own functions.
    QVERIFY(RunScript(&page, "document.getElementById('b').value = 'typed'; true").toBool());
    const QString captured = RunScript(&page, TTypedValues::CaptureScript()).toString();
    const QJsonObject fields =
        QJsonDocument::fromJson(captured.toUtf8()).object().value("fields").toObject();
    QCOMPARE(fields.value("#b").toObject().value("value").toString(), QStringLiteral("typed"));
    // Nor can the application world's own code replace them by mistake.
    QCOMPARE(RunScript(&page, "window.quillarUpdate = null; typeof quillarUpdate").toString(),
             QStringLiteral("function"));
}

void ViewScriptsTest::tickCall_carriesTheChangeNotTheScript() {
    // A tick that adds a line: the call holds the line and the numbers, not
    // the 9 KB of the update function.
    const QString shown = QStringLiteral("<html><head><meta charset=utf-8></head><body>a<br>");
    const QString next = shown + QStringLiteral("Charge: 90% 12.54V<br>");
    const PageEdit edit = DiffPages(shown, next);
    const QString call =
        InPlaceUpdateScript(edit, shown.size(), SharedHeadLength(shown, next), false, 100);
    const QString size = QString::number(shown.size());
    QCOMPARE(call, "quillarUpdate(" + size + ", " + size +
                       ", 0, \"Charge: 90% 12.54V<br>\", 45, false, 100)");
    // The other calls are as short.
    QCOMPARE(TTypedValues::CaptureScript(), QStringLiteral("quillarCaptureTyped()"));
    QCOMPARE(AlignFormBoxesScript(), QStringLiteral("quillarAlignFormBoxes()"));
    QCOMPARE(AfterPaperScript(), QStringLiteral("quillarAfterPaper()"));
    QCOMPARE(PrepareForPaperScript(QSizeF(718.5, 1047)),
             QStringLiteral("quillarPrepareForPaper(718.5, 1047)"));
    // Typed values travel as a JSON literal, whatever they hold.
    TTypedValues typed;
    typed.Merge(QStringLiteral(R"({"fields":{"#a":{"value":"\")</script>\\"}},"x":0,"y":7})"));
    const QString restore = typed.RestoreScript();
    QVERIFY(restore.startsWith("quillarRestoreTyped(") && restore.endsWith(")"));
    const QJsonDocument argument =
        QJsonDocument::fromJson(restore.mid(20, restore.size() - 21).toUtf8());
    QCOMPARE(argument.object().value("fields").toObject().value("#a").toObject().value("value"),
             QJsonValue(QStringLiteral("\")</script>\\")));
}

std::unique_ptr<QObject> MakeViewScriptsTest() {
    return std::make_unique<ViewScriptsTest>();
}

} // namespace quillar::test

#include "view_scripts_test.moc"
