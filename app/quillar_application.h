#pragma once
// The application object: an error that escapes any event handler is shown in
// the application's error box, and the program goes on.

#include <QApplication>

namespace quillar {

class QuillarApplication : public QApplication {
public:
    QuillarApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace quillar
