// The poll cycle: every 250 ms either follow a change of the port list, or read
// what the tester sent and show the rebuilt report.

#include "app/main_window.h"
#include "app/message_boxes.h"
#include "serial/comma_text.h"

#include <QMenu>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace quillar {

namespace {

// Whether the list holds the name: whole names, byte for byte (COM1 is not in
// a list of COM10 alone).
bool Lists(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
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
            ReportError(QString::fromUtf8(error.what()));
        }
        return false;
    }
}

void TForm1::WatchForBrailleDaemon(const std::string& list) {
    const bool flicker = portFlicker_.Update(SplitCommaText(list), PortFlickerWatch::Clock::now());
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
        const std::vector<std::string> oldNames = SplitCommaText(KnownPortList_);
        const std::vector<std::string> names = SplitCommaText(newList);
        KnownPortList_ = newList;
        for (QAction* item : PopupMenu1->actions()) {
            PopupMenu1->removeAction(item);
            item->deleteLater(); // an attempt started from it may still be running
        }
        // Only a port that has just appeared is opened by itself. A list that
        // only lost ports opens nothing: the ports left belong to other devices
        // (a receipt printer, a UPS), which an open with DTR raised can reset
        // and which their own programs could no longer open.
        QAction* candidate = nullptr;
        for (const std::string& name : names) {
            QAction* item = AddPortItem(name);
            if (!Lists(oldNames, name) && !Lists(manualPorts_, name))
                candidate = item;
        }
        MarkConnectedPort(connectedPort_);
        if (SerialPort_ && !connectedPort_.empty() && !Lists(names, connectedPort_))
            ReleaseLostConnection(newList);
        if (candidate != nullptr) {
            AutoConnectingScope autoConnecting(AutoConnecting_);
            candidate->trigger();
        }
        return; // the bytes wait in the driver for the next tick
    }

    std::string currentList;
    if (!ListPorts(currentList))
        return;
    if (SerialPort_ && !connectedPort_.empty()) {
        if (!Lists(SplitCommaText(currentList), connectedPort_)) {
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
    if (SerialPort_->ErrorCode() != OutcomeOk || received.empty())
        return;

    ReceiveBytes(received);
}

} // namespace quillar
