// Runs the shell's test classes in one process: the engine starts only once.
// Class::function on the command line runs one function; --list names them.

#include "app/quillar_application.h"
#include "test_classes.h"
#include "view/font_configuration.h"
#include "view/report_browser.h"

#include <memory>
#include <vector>

namespace quillar::test {
std::unique_ptr<QObject> MakeMainWindowTest();
std::unique_ptr<QObject> MakePollCycleTest();
std::unique_ptr<QObject> MakePortConnectionTest();
std::unique_ptr<QObject> MakeReportArchiveShellTest();
std::unique_ptr<QObject> MakeStopSignalsTest();
} // namespace quillar::test

int main(int argc, char** argv) {
    // As the program does: the report scheme exists before the application object.
    quillar::UseShippedFontConfiguration(); // the pages' and the window's faces
    quillar::TReportBrowser::RegisterUrlScheme();
    quillar::QuillarApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> suites;
    suites.push_back(quillar::test::MakeMainWindowTest());
    suites.push_back(quillar::test::MakePollCycleTest());
    suites.push_back(quillar::test::MakePortConnectionTest());
    suites.push_back(quillar::test::MakeReportArchiveShellTest());
    suites.push_back(quillar::test::MakeStopSignalsTest());
    return quillar::test::RunTestClasses(suites, argc, argv);
}
