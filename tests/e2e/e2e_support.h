#pragma once
// What the end-to-end tests share: a simulated tester in its own process, and a
// workshop PC with its own configuration folder and Quillar's main window.

#include "app/main_window.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <functional>
#include <memory>

class QWebEnginePage;

namespace quillar::e2e {

// Generous: the engine starts slowly on a loaded machine.
constexpr int kWaitMs = 30'000;

// quillar-tester, started with the given arguments; stopped when destroyed.
class TesterProcess {
public:
    explicit TesterProcess(const QStringList& arguments);
    ~TesterProcess();
    TesterProcess(const TesterProcess&) = delete;
    TesterProcess& operator=(const TesterProcess&) = delete;

    // Starts the tester and waits for its "linked" event.
    bool Start();
    // Waits until the tester has printed at least count events that begin with prefix.
    bool WaitForEvent(const QString& prefix, int count = 1, int timeoutMs = kWaitMs);
    int CountEvents(const QString& prefix) const;
    // Events and error output so far, for failure messages.
    QString Log() const;

private:
    void ReadEvents();

    QStringList arguments_;
    QProcess process_;
    QStringList events_;
    QByteArray partialLine_;
    QByteArray errors_;
};

// A folder that plays the program's folder: quillar.ini with the model and the
// language, the state images, no logo; the tester's link is made inside it and
// named in QUILLAR_EXTRA_PORTS.
class Workshop {
public:
    explicit Workshop(const QString& model, int language = 0);
    ~Workshop();

    bool IsValid() const { return valid_; }
    QString LinkPath() const;
    QString IniPath() const;
    QString IniText() const;

    // The main window with the real ports, serial link and clock, shown.
    TForm1& OpenWindow();
    TForm1& Window() { return *form_; }
    QWebEnginePage* Page() const;
    QString PortCaption() const;

private:
    QTemporaryDir dir_;
    bool valid_ = false;
    std::unique_ptr<TForm1> form_;
};

// Runs a program and gives its standard output; empty when it fails.
QString Output(const QString& program, const QStringList& arguments);

// Runs script in the page's application world and waits for the answer; an
// invalid value when none comes.
QVariant RunScript(QWebEnginePage* page, const QString& script);

// The text of the page's body as the user sees it.
QString BodyText(QWebEnginePage* page);

// Reads the body text again and again until accept takes it or the time runs
// out; returns the last text read (empty when none was read).
QString WaitForBodyText(QWebEnginePage* page, const std::function<bool(const QString&)>& accept,
                        int timeoutMs = kWaitMs);

// How often needle occurs in text, without overlaps.
int Occurrences(const QString& text, const QString& needle);

} // namespace quillar::e2e
