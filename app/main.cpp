// Quillar: reports of a battery tester on the serial line.

#include "app/main_window.h"
#include "app/quillar_application.h"
#include "view/font_configuration.h"
#include "view/report_browser.h"

int main(int argc, char** argv) {
    quillar::UseShippedFontConfiguration();       // the pages' and the window's faces
    quillar::TReportBrowser::RegisterUrlScheme(); // before the application object
    quillar::QuillarApplication app(argc, argv);
    quillar::TForm1 form(quillar::ShellEnvironment::ForRunningProgram());
    form.show();
    return app.exec();
}
