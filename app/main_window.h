#pragma once
// TForm1: the one main window. It owns every object and all state of the
// program and wires the subsystems together; the work itself happens in the
// report, serial and view libraries.

#include "app/braille_conflict.h"
#include "app/port_button.h"
#include "app/shell_environment.h"
#include "app/test_archive.h"
#include "report/report_composer.h"
#include "serial/serial_link.h"
#include "view/report_browser.h"

#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;

namespace Ui {
class TForm1;
}

class QThread;

namespace quillar {

class HistoryWindow;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(ShellEnvironment environment, QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, named as in the window layout (and as Qt object names).
    QToolBar* ToolBar1;
    QToolButton* ToolButton2;
    QToolButton* ToolButton4;
    TPortButton* ToolButton6;
    QToolButton* ToolButton8;
    QToolButton* ToolButton12; // the test history
    QToolButton* ToolButton10; // the tester model

    QStatusBar* StatusBar1;
    QLabel* StatusPanel1;
    QFrame* Panel1;
    QMenu* PopupMenu1;
    QMenu* PopupMenu2;
    QMenu* PopupMenu3; // KD318, KD520, QM
    QTimer* Timer1;

    // Handlers.
    void FormCreate();
    void FormResize();
    void FormDestroy();
    // A stop signal (SIGTERM, ...) is closing the window: nothing is asked.
    void SetStopping() { stopping_ = true; }
    void Timer1Timer();
    void PollTick();
    void PortItemClick(QAction* sender);
    void ToolButton2Click();
    void ToolButton4Click();
    // A print that ToolButton2Click started has ended.
    void PrintFinished(bool ok, const QString& failure);
    void ToolButton6Click();
    void English1Click(QAction* sender);
    // The model menu: shows and remembers the model, and shows what was
    // received since Clear as that model's report.
    void ModelItemClick(QAction* sender);
    // Opens the History window, or brings the open one forward.
    void ToolButton12Click();
    HistoryWindow* History() const; // the open History window, or null

    // State, readable by tests.
    const std::string& ReceivedText() const { return ReceivedText_; }
    const std::string& KnownPortList() const { return KnownPortList_; }
    std::int32_t CurrentLanguage() const { return CurrentLanguage_; }
    const std::string& DeviceModel() const { return DeviceModel_; }
    bool AutoConnecting() const { return AutoConnecting_; }
    TSerialLink* SerialPort() const { return SerialPort_.get(); }
    TReportBrowser* ReportView() const { return ReportView_.get(); }
    TTestArchive* Archive() const { return Archive_.get(); }
    const ReportTables& Tables() const { return Tables_; }

    // Where the window is placed on a screen of the given size.
    static QPoint CentredPosition(const QSize& screen, const QSize& window);
    // The window's first size, frame excluded: two thirds of the screen as it
    // measures at scale 1, in logical pixels, within the available area.
    // available: the screen's available area at the present scale; scale: the
    // user's scale factor (QT_SCALE_FACTOR); frame: the frame's extra size.
    static QSize FirstSize(const QSize& available, double scale, const QSize& frame);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildToolBar();
    void FitToolBar();
    void MarkConnectedPort(const std::string& portName);
    void ShowEmptyPage();
    // Bytes read from the tester without a fault: into the report.
    void ReceiveBytes(const std::string& received);
    // The report page for ReceivedText, in the view.
    void ShowReport();
    // With no model chosen, once per run: says what to do, and offers the
    // model the printout plainly comes from.
    void OfferModel();
    // A test has ended: it goes to the report archive, if there is one.
    void KeepTest();
    // At close: keeps the last test while the view can still print it.
    void KeepLastTest();
    // Says once per run when the braille display service took the tester's port.
    void WatchForBrailleDaemon(const std::string& list);
    QAction* AddPortItem(const std::string& portName);
    void ReleaseLostConnection(const std::string& currentList);
    bool ListPorts(std::string& list);

    std::unique_ptr<Ui::TForm1> ui_;
    ShellEnvironment env_;

    std::unique_ptr<TTestArchive> Archive_;
    std::unique_ptr<TReportBrowser> ReportView_;
    std::unique_ptr<TSerialLink> SerialPort_;
    ReportTables Tables_; // ColonTable, LanguageTable and TemplateLines
    std::string ReceivedText_;
    std::string ReceivedBytes_; // as read since Clear: the report again for another model
    std::string shownPage_;     // the page last given to the view: what a kept test looks like
    std::string KnownPortList_;
    std::int32_t CurrentLanguage_ = 0;
    std::string DeviceModel_;
    bool AutoConnecting_ = false;

    std::string connectedPort_;           // the port that SerialPort_ was opened on
    std::uint64_t connectionAttempt_ = 0; // counts attempts, so an outer one sees a newer one
    bool discoveryFailureShown_ = false;  // a failing discovery is reported once
    PortFlickerWatch portFlicker_;        // a port gone right after it came
    bool brailleHintShown_ = false;       // the hint about brltty, once per run
    bool modelHintShown_ = false;         // the hint to choose a model, once per run
    bool closing_ = false;                // closing or FormDestroy has begun: no more boxes
    bool closeKeeping_ = false;           // the close keeps the last test: its failure is said
    bool lastTestKept_ = false;           // the close has kept the test on screen
    bool stopping_ = false;               // a stop signal closes the window

    // Ports that the poll never opens by itself ("ManualPorts").
    std::vector<std::string> manualPorts_;

    // The test history: the archive folder in use (empty = none), the
    // server that Database= names (empty = none), and the window while open.
    std::string archiveRoot_;
    std::string historyServer_;
    QPointer<HistoryWindow> historyWindow_;
    // Asks the server whether it answers before the window opens, on a
    // thread of its own: an absent server takes seconds, and the poll cycle
    // goes on meanwhile. Null when no one is asking.
    QThread* historyProbe_ = nullptr;
    void OpenHistoryWindow(const QString& serverProblem);
};

} // namespace quillar
