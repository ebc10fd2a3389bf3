#include "view_test_support.h"
#include "page_script.h"

#include "view/report_browser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPrinter>
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

QString PrintToPdfAndWait(TReportBrowser& browser, const QString& path, const QPageLayout& layout) {
    TReportBrowser::SetPrintDialogHook([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        printer.setPageLayout(layout);
        return true;
    });
    QSignalSpy finished(&browser, &TReportBrowser::printFinished);
    const TReportBrowser::PrintStart start = browser.PrintPage();
    TReportBrowser::SetPrintDialogHook({});
    if (start != TReportBrowser::PrintStart::Started) {
        return QStringLiteral("not started");
    }
    if (!finished.wait(kWaitMs * 3)) {
        return QStringLiteral("no printFinished");
    }
    return finished.at(0).at(0).toBool() ? QString() : finished.at(0).at(1).toString();
}

QVariant TextOf(QWebEnginePage* page, const QString& id) {
    const QString idLiteral =
        QString::fromUtf8(QJsonDocument(QJsonArray{id}).toJson(QJsonDocument::Compact));
    return RunScript(page, QStringLiteral("(function(){var e=document.getElementById(%1[0]);"
                                          "return e ? e.textContent : null;})()")
                               .arg(idLiteral));
}

} // namespace quillar::test
