// The toolbar commands: Print, Clear and the language choice.

#include "app/blank_text.h"
#include "app/config.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/report_archive.h"
#include "app/shell_log.h"
#include "app/typed_boxes.h"

#include <QMenu>
#include <QToolButton>

namespace quillar {

void TForm1::ToolButton2Click() {
    // The body decides, not the page: a body of only "<br>" is printed.
    if (IsBlankText(ReceivedText_)) {
        ShowConfirmMessage(this, QStringLiteral("Please check empty data."));
        return;
    }
    // The job is named as the archive names the test: a PDF printer names
    // its file after it.
    const std::string model = DeviceModel_;
    auto title = [model](const QString& typedJson) {
        return QString::fromStdString(
            ArchiveBaseName(ArchiveClockNow(), model, TypedRegistration(typedJson, model)));
    };
    switch (ReportView_->PrintPage(title)) {
    case TReportBrowser::PrintStart::Started:
        // The page goes on to the printer while the window goes on;
        // printFinished tells how it ended. The test is kept from the same
        // page, whatever the printer does.
        ToolButton2->setEnabled(false);
        KeepTest();
        return;
    case TReportBrowser::PrintStart::Busy:
        ShowConfirmMessage(this, QStringLiteral("The report is still being printed."));
        return;
    case TReportBrowser::PrintStart::NothingShown:
    case TReportBrowser::PrintStart::Cancelled:
        return;
    }
}

void TForm1::PrintFinished(bool ok, const QString& failure) {
    if (ToolButton2)
        ToolButton2->setEnabled(true);
    if (ok)
        return;
    qCWarning(lcShell, "%s", qUtf8Printable(failure));
    if (!closing_)
        ShowErrorMessage(failure);
}

void TForm1::ToolButton4Click() {
    // The test on screen ends here: kept before the page is emptied, and the
    // next bytes begin a new one.
    KeepTest();
    if (Archive_)
        Archive_->Forget();
    // Gives the memory back too: clear() would keep a long report's capacity.
    std::string().swap(ReceivedText_);
    std::string().swap(ReceivedBytes_);
    ReportView_->ForgetTypedValues(); // the next test starts with empty boxes
    ShowEmptyPage();
}

void TForm1::English1Click(QAction* sender) {
    ToolButton8->setText(sender->text());
    sender->setChecked(true);
    CurrentLanguage_ = static_cast<std::int32_t>(PopupMenu2->actions().indexOf(sender));
    WriteLanguage(env_.iniPath, CurrentLanguage_);
}

} // namespace quillar
