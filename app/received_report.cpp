// The report from the tester's bytes: what arrives goes into ReceivedText and
// the page is rebuilt; the model menu shows the same bytes as another model's
// report; with no model chosen the user is told what to do.

#include "app/config.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/shell_log.h"
#include "report/models.h"
#include "report/report_composer.h"

#include <QMenu>
#include <QTimer>
#include <QToolButton>

namespace quillar {

namespace {

// A printout at 9600 baud is on the line for well under a second: its labels
// are in by then, and the offer names the model they show.
constexpr int kOfferAfterFirstBytesMs = 1500;

} // namespace

void TForm1::ReceiveBytes(const std::string& received) {
    ReceivedBytes_ += received;
    if (!HasReportPage(DeviceModel_) && !modelHintShown_) {
        modelHintShown_ = true;
        QTimer::singleShot(kOfferAfterFirstBytesMs, this,
                           [this] { ReportErrors([this] { OfferModel(); }); });
    }
    AddRead(ReceivedText_, received, {DeviceModel_, CurrentLanguage_, &Tables_});
    ShowReport();
}

void TForm1::ShowReport() {
    PageInputs place;
    place.executableDir = env_.executableDir;
    place.logoDir = env_.logoDir;
    place.stateImageDir = env_.stateImageDir;
    place.dateText = env_.dateText();
    shownPage_ = ComposePage(ReceivedText_, {DeviceModel_, CurrentLanguage_, &Tables_}, place);
    if (ReportView_->ShowPage(shownPage_) != 0)
        qCWarning(lcShell, "A report page of %zu bytes could not be handed to the view",
                  shownPage_.size());
}

void TForm1::OfferModel() {
    if (closing_ || HasReportPage(DeviceModel_))
        return; // chosen meanwhile
    const std::string_view guess = ModelOfPrintout(ReceivedBytes_);
    QAction* offered = nullptr;
    for (QAction* item : PopupMenu3->actions())
        if (!guess.empty() && item->text().toStdString() == guess)
            offered = item;
    if (offered == nullptr) {
        ShowConfirmMessage(this, QStringLiteral("The tester is sending a printout, but no tester "
                                                "model is chosen. Choose KD318, KD520 or QM in "
                                                "the Model menu to see its report."));
        return;
    }
    const QString model = offered->text();
    if (AskQuestion(this, QStringLiteral("The tester is sending a printout, but no tester model "
                                         "is chosen. The printout's labels are those of a %1. "
                                         "Show it as a %1 report? (The Model menu changes the "
                                         "model at any time.)")
                              .arg(model)) &&
        !HasReportPage(DeviceModel_))
        offered->trigger();
}

void TForm1::ModelItemClick(QAction* sender) {
    ToolButton10->setText(sender->text());
    sender->setChecked(true);
    DeviceModel_ = sender->text().toStdString();
    // What was received since Clear, as the chosen model's report; the
    // language's code table is the one of now.
    if (!ReceivedBytes_.empty() && ReportView_) {
        ReceivedText_.clear();
        AddRead(ReceivedText_, ReceivedBytes_, {DeviceModel_, CurrentLanguage_, &Tables_});
        ShowReport();
    }
    WriteModel(env_.iniPath, DeviceModel_);
}

} // namespace quillar
