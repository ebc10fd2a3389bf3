// The poll cycle: every 250 ms either follow a change of the port list, or read
// what the tester sent and show the rebuilt report.

#include "app/main_window.h"
#include "app/message_boxes.h"
#include "report/device_chars.h"
#include "report/phrase_tables.h"
#include "report/report_pages.h"

#include <QMenu>
#include <QTimer>

#include <vector>

namespace quillar {

namespace {

// The poll cycle cuts the list at every comma, as the port menu shows it.
std::vector<std::string> SplitPortList(const std::string& list) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = list.find(',', start);
        names.push_back(
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            return names;
        start = comma + 1;
    }
}

bool OccursIn(const std::string& list, const std::string& name) {
    // An empty name occurs nowhere, and an empty list contains no name.
    return !name.empty() && list.find(name) != std::string::npos;
}

struct AutoConnectingScope {
    explicit AutoConnectingScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~AutoConnectingScope() { flag_ = false; }
    bool& flag_;
};

} // namespace

void TForm1::Timer1Timer() {
    PollTick();
}

bool TForm1::ListPorts(std::string& list) {
    try {
        list = env_.listSerialPorts();
        discoveryFailureShown_ = false;
        return true;
    } catch (const std::exception& error) {
        // Once per run of failures, not at every tick; the box is modal and
        // ticks go on meanwhile.
        if (!discoveryFailureShown_) {
            discoveryFailureShown_ = true;
            ShowErrorMessage(QString::fromUtf8(error.what()));
        }
        return false;
    }
}

void TForm1::WatchForBrailleDaemon(const std::string& list) {
    const bool flicker = portFlicker_.Update(SplitPortList(list), PortFlickerWatch::Clock::now());
    if (!flicker || brailleHintShown_ || !env_.brailleDaemonTookPort ||
        !env_.brailleDaemonTookPort())
        return;
    brailleHintShown_ = true;
    // After the tick: the box is modal and ticks go on meanwhile.
    QTimer::singleShot(
        0, this, [this] { ShowConfirmMessage(this, QString::fromUtf8(BrailleConflictMessage())); });
}

void TForm1::PollTick() {
    // Nothing to show into before FormCreate has made the view, nor after
    // FormDestroy has released it.
    if (!ReportView_)
        return;
    std::string newList;
    if (!ListPorts(newList))
        return;
    WatchForBrailleDaemon(newList);

    if (!newList.empty() && newList != KnownPortList_) {
        const std::string oldList = KnownPortList_;
        KnownPortList_ = newList;
        for (QAction* item : PopupMenu1->actions()) {
            PopupMenu1->removeAction(item);
            item->deleteLater(); // an attempt started from it may still be running
        }
        QAction* candidate = nullptr;
        for (const std::string& name : SplitPortList(newList)) {
            QAction* item = AddPortItem(name);
            if (!OccursIn(oldList, name))
                candidate = item;
        }
        AutoConnectingScope autoConnecting(AutoConnecting_);
        if (candidate == nullptr)
            candidate = PopupMenu1->actions().first();
        candidate->trigger();
        return; // the bytes wait in the driver for the next tick
    }

    std::string currentList;
    if (!ListPorts(currentList))
        return;
    if (SerialPort_ && !connectedPort_.empty()) {
        bool listed = false;
        for (const std::string& name : SplitPortList(currentList))
            listed = listed || name == connectedPort_;
        if (!listed) {
            ReleaseLostConnection(currentList);
            return;
        }
    }
    if (currentList.empty() || !SerialPort_ || !SerialPort_->PortActive())
        return;

    const std::string received = SerialPort_->ReadAvailable(0);
    // The archive keeps every byte read, in order: also those of a read that
    // came with a line fault or with the hang-up, which the page leaves out.
    if (Archive_ && !received.empty())
        Archive_->BytesArrived(received);
    if (SerialPort_->DeviceGone()) {
        ReleaseLostConnection(currentList);
        return;
    }
    if (SerialPort_->ErrorCode() != 0 || received.empty())
        return;

    ReceivedText_ += TranslateDeviceBytes(received, DeviceModel_, CurrentLanguage_);
    ApplyPhraseTables(ReceivedText_, ColonTable_, LanguageTable_, CurrentLanguage_);

    PageInputs page;
    page.deviceModel = DeviceModel_;
    page.currentLanguage = CurrentLanguage_;
    page.receivedText = ReceivedText_;
    page.templateLines = &TemplateLines_;
    page.languageTable = &LanguageTable_;
    page.executableDir = env_.executableDir;
    page.logoDir = env_.logoDir;
    page.stateImageDir = env_.stateImageDir;
    page.dateText = env_.dateText();
    ReportView_->ShowPage(BuildReportPage(page));
}

} // namespace quillar
