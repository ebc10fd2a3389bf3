#pragma once
// Keyboard rules of the report view: Ctrl+N does nothing, and Enter in the page
// belongs to the page, never to a shortcut or default action of the main window.

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace quillar {

// Watches key events application-wide, because the engine's input widgets
// inside the view come and go (a restarted render process gets new ones).
// Only events aimed at widgets inside view are touched.
class TViewKeyFilter : public QObject {
    Q_OBJECT
public:
    // Installs itself on the application; removed again when destroyed.
    explicit TViewKeyFilter(QWidget* view);
    ~TViewKeyFilter() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool InsideView(QObject* watched) const;

    QPointer<QWidget> view_;
};

} // namespace quillar
