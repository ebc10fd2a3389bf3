#pragma once
// TPortButton: the port button, which tells the connection's state. Its text
// stays the whole caption; when the tool bar is too narrow, only the port name
// is drawn shortened in the middle, so the state after it stays readable.

#include <QToolButton>

namespace quillar {

class TPortButton : public QToolButton {
    Q_OBJECT
public:
    explicit TPortButton(QWidget* parent = nullptr);

    void ShowNoConnection();
    void ShowConnecting(const QString& portName);
    void ShowConnected(const QString& portName);

    // The caption as drawn at the button's present width.
    QString ShownText() const;

    // Narrow enough for the tool bar to keep its other buttons, wide enough
    // for every state in full with at least an ellipsis for the port name.
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void SetCaption(const QString& portName, const QString& state);
    QString FullText() const { return portName_ + state_; }
    // Width of the button beyond its text, as its size hint counts it.
    int Padding() const;

    QString portName_;
    QString state_;
};

} // namespace quillar
