// The end-to-end tests run in one application, as the program does: the report
// scheme is registered before the application object and the engine starts once.
// Class::function on the command line runs one function; --list names them.

#include "app/quillar_application.h"
#include "test_classes.h"
#include "view/font_configuration.h"
#include "view/report_browser.h"

#include <memory>
#include <vector>

namespace quillar::e2e {
std::unique_ptr<QObject> MakeReportFlowTest();
std::unique_ptr<QObject> MakeArchiveFlowTest();
std::unique_ptr<QObject> MakePaperTest();
std::unique_ptr<QObject> MakeStopSignalTest();
} // namespace quillar::e2e

int main(int argc, char** argv) {
    quillar::UseShippedFontConfiguration(); // the pages' and the window's faces
    quillar::TReportBrowser::RegisterUrlScheme();
    quillar::QuillarApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> suites;
    suites.push_back(quillar::e2e::MakeReportFlowTest());
    suites.push_back(quillar::e2e::MakeArchiveFlowTest());
    suites.push_back(quillar::e2e::MakePaperTest());
    suites.push_back(quillar::e2e::MakeStopSignalTest());
    return quillar::test::RunTestClasses(suites, argc, argv);
}
