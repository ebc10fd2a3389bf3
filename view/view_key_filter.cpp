#include "view/view_key_filter.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace quillar {

namespace {

bool IsCtrlN(const QKeyEvent& key) {
    const Qt::KeyboardModifiers mods = key.modifiers();
    return key.key() == Qt::Key_N && (mods & Qt::ControlModifier) &&
           !(mods & (Qt::ShiftModifier | Qt::AltModifier));
}

bool IsEnter(const QKeyEvent& key) {
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

} // namespace

TViewKeyFilter::TViewKeyFilter(QWidget* view) : QObject(view), view_(view) {
    QCoreApplication::instance()->installEventFilter(this);
}

TViewKeyFilter::~TViewKeyFilter() {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

bool TViewKeyFilter::InsideView(QObject* watched) const {
    if (view_ == nullptr || !watched->isWidgetType()) {
        return false;
    }
    auto* widget = static_cast<QWidget*>(watched);
    return widget != view_ && view_->isAncestorOf(widget);
}

bool TViewKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress &&
        type != QEvent::KeyRelease) {
        return false;
    }
    if (!InsideView(watched)) {
        return false;
    }
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (IsCtrlN(key)) {
        // Claimed as an ordinary key, so no shortcut takes it, then dropped.
        event->accept();
        return true;
    }
    if (IsEnter(key) && type == QEvent::ShortcutOverride) {
        // Claimed for the page: the key press goes on to the engine and no
        // shortcut of the main window fires.
        event->accept();
        return true;
    }
    return false;
}

} // namespace quillar
