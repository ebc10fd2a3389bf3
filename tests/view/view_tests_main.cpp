// Runs the view's test classes in one process: the engine starts only once.
// Test function names on the command line pick the classes that have them;
// Class::function runs one function of one class, --list names them all.

#include "test_classes.h"
#include "view/font_configuration.h"
#include "view/report_browser.h"

#include <QApplication>

#include <memory>
#include <vector>

namespace quillar::test {
std::unique_ptr<QObject> MakePageBytesTest();
std::unique_ptr<QObject> MakePageUpdateTest();
std::unique_ptr<QObject> MakePageUpdateDifferentialTest();
std::unique_ptr<QObject> MakeReportBrowserTest();
std::unique_ptr<QObject> MakePdfPrintingTest();
std::unique_ptr<QObject> MakeViewScriptsTest();
std::unique_ptr<QObject> MakeViewStatesTest();
} // namespace quillar::test

int main(int argc, char** argv) {
    // As in the application: the report scheme exists before the engine starts.
    quillar::UseShippedFontConfiguration(); // the pages' and the window's faces
    quillar::TReportBrowser::RegisterUrlScheme();
    QApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> suites;
    suites.push_back(quillar::test::MakePageBytesTest());
    suites.push_back(quillar::test::MakePageUpdateTest());
    suites.push_back(quillar::test::MakePageUpdateDifferentialTest());
    suites.push_back(quillar::test::MakeReportBrowserTest());
    suites.push_back(quillar::test::MakePdfPrintingTest());
    suites.push_back(quillar::test::MakeViewScriptsTest());
    suites.push_back(quillar::test::MakeViewStatesTest());
    return quillar::test::RunTestClasses(suites, argc, argv);
}
