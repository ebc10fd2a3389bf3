// The end-to-end tests run in one application, as the program does: the report
// scheme is registered before the application object and the engine starts once.

#include "app/quillar_application.h"
#include "view/font_configuration.h"
#include "view/report_browser.h"

#include <QTest>

#include <memory>

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
    const std::unique_ptr<QObject> suites[] = {
        quillar::e2e::MakeReportFlowTest(), quillar::e2e::MakeArchiveFlowTest(),
        quillar::e2e::MakePaperTest(), quillar::e2e::MakeStopSignalTest()};
    int failed = 0;
    for (const auto& suite : suites)
        failed += QTest::qExec(suite.get(), argc, argv) != 0 ? 1 : 0;
    return failed;
}
