#pragma once
// Helpers shared by the view's tests: waiting for pages and reading the DOM.

#include <QPageLayout>
#include <QString>
#include <QVariant>

#include <string>

class QWebEnginePage;

namespace quillar {
class TReportBrowser;
}

namespace quillar::test {

// Generous: the engine starts slowly on a loaded CI machine.
constexpr int kWaitMs = 20'000;

// Runs script in the application's world and waits for its result.
// Fails the test (returns an invalid value) when no result comes.
QVariant RunScript(QWebEnginePage* page, const QString& script);

// ShowPage, then waits for pageShown; returns the result of ShowPage, or -1
// when pageShown did not come or said the load failed.
int ShowAndWait(TReportBrowser& browser, const std::string& page);

// Print with the dialog answered as a PDF printer writing path on layout,
// then waits for printFinished. Returns the failure ("" for success), or
// "not started" when PrintPage did not start a print.
QString PrintToPdfAndWait(TReportBrowser& browser, const QString& path, const QPageLayout& layout);

// The text content of the element with id, or an invalid value when absent.
QVariant TextOf(QWebEnginePage* page, const QString& id);

} // namespace quillar::test
