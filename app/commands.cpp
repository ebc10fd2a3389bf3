// The toolbar commands: Print, Clear and the language choice.

#include "app/blank_text.h"
#include "app/config.h"
#include "app/main_window.h"
#include "app/message_boxes.h"

#include <QMenu>
#include <QToolButton>

namespace quillar {

void TForm1::ToolButton2Click() {
    // The body decides, not the page: a body of only "<br>" is printed.
    if (IsBlankText(ReceivedText_)) {
        ShowConfirmMessage(this, QStringLiteral("Please check empty data."));
        return;
    }
    // Failures reach the application's error box; a printed test is kept.
    if (ReportView_->PrintPage())
        KeepTest();
}

void TForm1::ToolButton4Click() {
    // The test on screen ends here: kept before the page is emptied, and the
    // next bytes begin a new one.
    KeepTest();
    if (Archive_)
        Archive_->Forget();
    // Gives the memory back too: clear() would keep a long report's capacity.
    std::string().swap(ReceivedText_);
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
