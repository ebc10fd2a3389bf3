// The port menu and the connection to one port.

#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/port_button.h"
#include "app/shell_log.h"
#include "serial/comma_text.h"

#include <QCoreApplication>
#include <QFrame>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <vector>

namespace quillar {

namespace {
QString PortText(const std::string& portName) {
    return QString::fromUtf8(portName);
}
} // namespace

QAction* TForm1::AddPortItem(const std::string& portName) {
    auto* item = new QAction(PopupMenu1);
    // The caption is the port name exactly: '&' must not become a shortcut mark.
    item->setText(PortText(portName).replace(QLatin1Char('&'), QStringLiteral("&&")));
    item->setData(PortText(portName));
    item->setCheckable(true); // checked while it is the connected port
    connect(item, &QAction::triggered, this,
            [this, item] { ReportErrors([this, item] { PortItemClick(item); }); });
    const QList<QAction*> items = PopupMenu1->actions();
    PopupMenu1->insertAction(items.isEmpty() ? nullptr : items.first(), item);
    return item;
}

void TForm1::PortItemClick(QAction* sender) {
    const std::string portName = sender->data().toString().toUtf8().toStdString();
    // Whether the user started this attempt is fixed now: a tick nested in the
    // retries below sets and clears the flag for its own attempt.
    const bool startedByUser = !AutoConnecting_;
    const std::uint64_t attempt = ++connectionAttempt_;

    ToolButton6->ShowConnecting(PortText(portName));
    MarkConnectedPort({});
    ToolButton6->repaint(); // the open blocks: show the caption now

    SerialPort_.reset();
    connectedPort_.clear();
    SerialPort_ = env_.makeSerialLink();
    SerialPort_->OpenPort(portName);

    if (SerialPort_->ErrorCode() != OutcomeOk && !startedByUser) {
        for (int retry = 0; retry < 5; ++retry) {
            QCoreApplication::processEvents();
            // A click or tick handled just now may have started a newer attempt,
            // which owns SerialPort and the caption from here on.
            if (attempt != connectionAttempt_ || !SerialPort_)
                return;
            env_.sleep(200);
            SerialPort_->OpenPort(portName);
            if (SerialPort_->ErrorCode() == OutcomeOk)
                break;
        }
    }

    if (SerialPort_->PortActive())
        connectedPort_ = portName;
    if (SerialPort_->ErrorCode() != OutcomeOk) {
        qCWarning(lcSerial, "%s could not be opened: %s", portName.c_str(),
                  SerialPort_->ErrorText().c_str());
        ToolButton6->ShowNoConnection();
        MarkConnectedPort({});
        if (startedByUser)
            ShowConfirmMessage(this, PortText(portName) + QStringLiteral(" Error: ") +
                                         QString::fromUtf8(SerialPort_->ErrorText()));
        return;
    }
    ToolButton6->ShowConnected(PortText(portName));
    MarkConnectedPort(portName);
    SerialPort_->SetLine(9600, 8, 'N', 0, false, true);
}

void TForm1::MarkConnectedPort(const std::string& portName) {
    // The menu tells what the button tells: the port connected now, or none.
    const QString name = PortText(portName);
    for (QAction* item : PopupMenu1->actions())
        item->setChecked(!name.isEmpty() && item->data().toString() == name);
}

void TForm1::ToolButton6Click() {
    if (PopupMenu1->actions().isEmpty()) {
        ShowConfirmMessage(this, QStringLiteral("Please check COM port."));
        return;
    }
    // Just below the tool bar, at the left edge of the port button.
    const QPoint origin = mapToGlobal(QPoint(0, 0));
    const int x = origin.x() + ToolButton6->geometry().left();
    const int y = origin.y() + Panel1->mapTo(this, QPoint(0, 0)).y();
    PopupMenu1->popup(QPoint(x, y));
}

void TForm1::ReleaseLostConnection(const std::string& currentList) {
    const std::string lostPort = connectedPort_;
    qCInfo(lcSerial, "%s is gone: the connection is released", lostPort.c_str());
    ++connectionAttempt_;
    SerialPort_.reset();
    connectedPort_.clear();
    ToolButton6->ShowNoConnection();
    MarkConnectedPort({});
    // Forget the lost port in the known list, so that its return is a change of
    // the list and the poll connects to it by itself.
    std::vector<std::string> known = SplitCommaText(currentList);
    known.erase(std::remove(known.begin(), known.end(), lostPort), known.end());
    KnownPortList_ = JoinCommaText(known);
}

} // namespace quillar
