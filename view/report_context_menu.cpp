#include "view/report_context_menu.h"

#include <QAction>
#include <QMenu>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace quillar {

TReportContextMenu::TReportContextMenu(QWebEngineView* view)
    : QObject(view), view_(view), print_(new QAction(QStringLiteral("Print..."), this)) {
    connect(print_, &QAction::triggered, this, &TReportContextMenu::printRequested);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, &TReportContextMenu::Show);
}

void TReportContextMenu::Show(const QPoint& position) {
    if (view_ == nullptr)
        return;
    auto* menu = new QMenu(view_);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The page's own actions: the engine keeps their state (Copy needs a selection).
    menu->addAction(view_->page()->action(QWebEnginePage::Copy));
    menu->addAction(view_->page()->action(QWebEnginePage::SelectAll));
    menu->addSeparator();
    menu->addAction(print_);
    menu->popup(view_->mapToGlobal(position));
}

} // namespace quillar
