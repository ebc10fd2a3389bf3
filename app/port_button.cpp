#include "app/port_button.h"

#include <QHelpEvent>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QToolTip>

#include <algorithm>

namespace quillar {

namespace {
const QString NoConnectionCaption = QStringLiteral("Select COM Port ?");
const QString ConnectingState = QStringLiteral(" Connecting ...");
const QString ConnectedState = QStringLiteral(" Connected OK");
const QString Ellipsis = QString(QChar(0x2026));

// A button's text takes '&' as the mark of a shortcut letter; the port button
// shows the port name exactly, so each one is doubled.
QString Escaped(const QString& caption) {
    return QString(caption).replace(QLatin1Char('&'), QStringLiteral("&&"));
}
} // namespace

TPortButton::TPortButton(QWidget* parent) : QToolButton(parent) {
    // May shrink below its size hint, down to minimumSizeHint.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    ShowNoConnection();
}

void TPortButton::ShowNoConnection() {
    SetCaption(QString(), NoConnectionCaption);
}

void TPortButton::ShowConnecting(const QString& portName) {
    SetCaption(portName, ConnectingState);
}

void TPortButton::ShowConnected(const QString& portName) {
    SetCaption(portName, ConnectedState);
}

void TPortButton::SetCaption(const QString& portName, const QString& state) {
    portName_ = portName;
    state_ = state;
    setText(Escaped(FullText()));
}

int TPortButton::Padding() const {
    // The text's width measured as QToolButton measures it for its size hint.
    return QToolButton::sizeHint().width() -
           fontMetrics().size(Qt::TextShowMnemonic, text()).width();
}

QString TPortButton::ShownText() const {
    const QString full = FullText();
    if (width() >= QToolButton::sizeHint().width())
        return full;
    const QFontMetrics metrics = fontMetrics();
    const int room = width() - Padding();
    if (portName_.isEmpty())
        return metrics.elidedText(full, Qt::ElideMiddle, room);
    QString name =
        metrics.elidedText(portName_, Qt::ElideMiddle, room - metrics.horizontalAdvance(state_));
    if (name.isEmpty())
        name = Ellipsis; // the name never vanishes without a trace
    return name + state_;
}

QSize TPortButton::minimumSizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    // Room for the ellipsis and a few characters of the name's start and end,
    // which tell ports apart (ttyUSB0, ttyUSB1).
    const int name = metrics.horizontalAdvance(Ellipsis) + 4 * metrics.averageCharWidth();
    const int state = std::max(metrics.horizontalAdvance(ConnectingState),
                               metrics.horizontalAdvance(ConnectedState));
    const int text = std::max(metrics.horizontalAdvance(NoConnectionCaption), name + state);
    return {text + Padding(), QToolButton::minimumSizeHint().height()};
}

bool TPortButton::event(QEvent* event) {
    // While shortened, the tip shows the caption in full.
    if (event->type() == QEvent::ToolTip && ShownText() != FullText()) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), FullText(), this);
        return true;
    }
    return QToolButton::event(event);
}

void TPortButton::paintEvent(QPaintEvent*) {
    // As QToolButton paints, with the text shortened to the present width.
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.text = Escaped(ShownText());
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
}

} // namespace quillar
