#pragma once
// The report view's context menu: only what applies to a report (copy, select
// all, print). The engine's own menu offers going back, reloading, saving and
// inspecting the page, none of which a report page can use.

#include <QObject>
#include <QPointer>

class QAction;
class QPoint;
class QWebEngineView;

namespace quillar {

class TReportContextMenu : public QObject {
    Q_OBJECT
public:
    // Takes over view's context menu; lives as long as the view.
    explicit TReportContextMenu(QWebEngineView* view);

signals:
    // "Print..." was chosen: the owner prints as its Print command does.
    void printRequested();

private:
    void Show(const QPoint& position);

    QPointer<QWebEngineView> view_;
    QAction* print_;
};

} // namespace quillar
