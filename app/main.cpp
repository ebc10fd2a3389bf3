// Quillar: reports of a battery tester on the serial line.

#include "app/main_window.h"
#include "app/quillar_application.h"
#include "app/stop_signals.h"
#include "view/font_configuration.h"
#include "view/report_browser.h"

int main(int argc, char** argv) {
    quillar::UseShippedFontConfiguration();       // the pages' and the window's faces
    quillar::TReportBrowser::RegisterUrlScheme(); // before the application object
    quillar::QuillarApplication app(argc, argv);

    // SIGTERM (a logout, kill), SIGINT (Ctrl+C) and SIGHUP end the program as
    // closing the window does: every window closes, a message box or the
    // print dialog too, the message loop ends and the window's release keeps
    // the test on screen. It outlives the window, so that a signal while the
    // window is being released is taken in and that release goes on.
    quillar::TStopSignals stopSignals;
    bool stopRequested = false;
    quillar::TForm1* window = nullptr;
    QObject::connect(&stopSignals, &quillar::TStopSignals::received, &app,
                     [&stopRequested, &window] {
                         stopRequested = true;
                         if (window != nullptr)
                             window->SetStopping();
                         QApplication::closeAllWindows();
                     });

    quillar::TForm1 form(quillar::ShellEnvironment::ForRunningProgram());
    window = &form;
    if (stopRequested) // while the window was being made
        return 0;
    form.show();
    const int status = app.exec();
    QObject::disconnect(&stopSignals, nullptr, &app, nullptr);
    return status;
}
