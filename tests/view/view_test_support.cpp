#include "view_test_support.h"
#include "page_script.h"

#include "view/report_browser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <memory>

namespace quillar::test {

QVariant RunScript(QWebEnginePage* page, const QString& script) {
    return test::RunPageScript(page, script, kWaitMs);
}

int ShowAndWait(TReportBrowser& browser, const std::string& page) {
    QSignalSpy shown(&browser, &TReportBrowser::pageShown);
    const int result = browser.ShowPage(page);
    if (!shown.wait(kWaitMs) || !shown.at(0).at(0).toBool()) {
        return -1;
    }
    return result;
}

QVariant TextOf(QWebEnginePage* page, const QString& id) {
    const QString idLiteral =
        QString::fromUtf8(QJsonDocument(QJsonArray{id}).toJson(QJsonDocument::Compact));
    return RunScript(page, QStringLiteral("(function(){var e=document.getElementById(%1[0]);"
                                          "return e ? e.textContent : null;})()")
                               .arg(idLiteral));
}

} // namespace quillar::test
