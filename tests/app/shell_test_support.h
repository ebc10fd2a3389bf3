#pragma once
// Fakes for the shell's tests: a serial link whose opens, reads and line
// settings are scripted and recorded, and a bench that builds a main window on
// a temporary configuration file, a scripted port list, a recording clock and
// recorded message boxes.

#include "app/main_window.h"
#include "app/message_boxes.h"
#include "serial/serial_link.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QMenu;
class QWebEnginePage;

namespace quillar::test {

// Generous: the engine starts slowly on a loaded machine.
constexpr int kWaitMs = 20'000;

// An open of this port fails for ever.
constexpr int kNeverOpens = -1;

struct LineCall {
    std::int32_t baud;
    std::int32_t dataBits;
    char parity;
    std::int32_t stopBits;
    bool softwareFlow;
    bool hardwareFlow;
};

// What one read hands over: the bytes and the code the read reports with them.
struct ReadBatch {
    std::string bytes;
    std::int32_t errorCode = 0;
    bool deviceGone = false; // the read finds the device gone
};

// Shared by every fake link the window creates: how they behave and what was
// done to them.
struct LinkScript {
    // Behaviour.
    std::map<std::string, int> failingOpens; // port -> opens that fail first (kNeverOpens: all)
    std::int32_t openErrorCode = 16;
    std::string openErrorText = "Port held by another program";
    std::deque<ReadBatch> incoming; // handed out one per read, to whichever link reads
    std::function<void(const std::string& port)> onOpen; // runs at the start of every open

    // Records.
    std::vector<std::string> opens; // the port name of every OpenPort, in order
    std::vector<LineCall> lineCalls;
    std::vector<std::int32_t> readTimeouts; // one per ReadAvailable
    int created = 0;
    int released = 0;
    std::vector<std::string> callsAfterRelease; // must stay empty
    std::vector<void*> graves;                  // memory of released links, kept until the end

    int LiveLinks() const { return created - released; }
    void FreeGraves();
};

// A link that opens no device. A released one leaves a tombstone in its memory
// that records any later call into it, so a use after release shows in
// LinkScript::callsAfterRelease instead of passing unnoticed.
class FakeLink : public TSerialLink {
public:
    explicit FakeLink(LinkScript& script);
    ~FakeLink() override;

    void OpenPort(const std::string& portName) override;
    void SetLine(std::int32_t baud, std::int32_t dataBits, char parity, std::int32_t stopBits,
                 bool softwareFlow, bool hardwareFlow) override;
    std::string ReadAvailable(std::int32_t timeoutMs) override;
    void ClosePort() override;
    bool DeviceGone() const override;

    static void* operator new(std::size_t size);
    static void operator delete(void* memory);

private:
    LinkScript& script_;
    bool gone_ = false;
};

// One main window and everything it takes from the machine.
class ShellBench {
public:
    ShellBench();
    ~ShellBench();
    ShellBench(const ShellBench&) = delete;
    ShellBench& operator=(const ShellBench&) = delete;

    // Writes the configuration file (section and keys as given).
    void WriteIni(const std::string& text);
    // A window on this bench's environment, shown, its timer stopped (tests
    // call PollTick themselves), its first page loaded. Null on failure.
    std::unique_ptr<TForm1> MakeForm();
    // MakeForm into form.
    bool Open();

    ShellEnvironment Environment();

    QTemporaryDir dir;
    std::string iniPath;
    std::string exeDir;       // ends with '/'
    std::string ports;        // what the port list answers
    std::string documentsDir; // the user's documents folder; empty = none
    bool listerFails = false;
    bool brailleDaemonPresent = false; // what the braille check answers
    std::string listerError = "Port list unreadable: a value holds no text";
    std::vector<MessageRecord> messages;
    std::vector<int> sleeps;
    LinkScript links;
    std::unique_ptr<TForm1> form;
};

// Queues bytes on the port, runs one tick and waits until the rebuilt page is
// shown. False when no page came.
bool Deliver(ShellBench& bench, const std::string& bytes);

// Texts of a menu's items, top to bottom.
QStringList MenuTexts(const QMenu* menu);

// Runs script in the page's application world and waits for its result; an
// invalid value when none comes.
QVariant RunScript(QWebEnginePage* page, const QString& script);

// Runs action and waits until the view reports a page shown. False when none came.
bool WaitForPage(TForm1& form, const std::function<void()>& action);

// The page's body as HTML.
QString BodyHtml(TForm1& form);

inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace quillar::test
