#include "shell_test_support.h"
#include "page_script.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <new>
#include <stdexcept>

namespace quillar::test {

namespace {

// Lives in a released FakeLink's memory; every call into it is recorded.
class ReleasedLink : public TSerialLink {
public:
    explicit ReleasedLink(LinkScript& script) : script_(script) {}

    void OpenPort(const std::string& portName) override {
        script_.callsAfterRelease.push_back("OpenPort " + portName);
    }
    void SetLine(std::int32_t, std::int32_t, char, std::int32_t, bool, bool) override {
        script_.callsAfterRelease.push_back("SetLine");
    }
    std::string ReadAvailable(std::int32_t) override {
        script_.callsAfterRelease.push_back("ReadAvailable");
        return {};
    }
    void ClosePort() override { script_.callsAfterRelease.push_back("ClosePort"); }
    bool DeviceGone() const override {
        script_.callsAfterRelease.push_back("DeviceGone");
        return false;
    }

private:
    LinkScript& script_;
};

static_assert(sizeof(ReleasedLink) <= sizeof(FakeLink));
static_assert(alignof(ReleasedLink) <= alignof(FakeLink));

// The script of the link being released, handed from its destructor to its
// operator delete (one thread).
LinkScript* releasing = nullptr;

} // namespace

void LinkScript::FreeGraves() {
    for (void* memory : graves) {
        static_cast<ReleasedLink*>(memory)->~ReleasedLink();
        ::operator delete(memory);
    }
    graves.clear();
}

FakeLink::FakeLink(LinkScript& script) : script_(script) {
    ++script_.created;
}

FakeLink::~FakeLink() {
    ++script_.released;
    releasing = &script_;
}

void* FakeLink::operator new(std::size_t size) {
    return ::operator new(size);
}

void FakeLink::operator delete(void* memory) {
    LinkScript* script = releasing;
    releasing = nullptr;
    new (memory) ReleasedLink(*script);
    script->graves.push_back(memory);
}

void FakeLink::OpenPort(const std::string& portName) {
    script_.opens.push_back(portName);
    if (script_.onOpen)
        script_.onOpen(portName);
    int& failuresLeft = script_.failingOpens[portName];
    if (failuresLeft != 0) {
        if (failuresLeft > 0)
            --failuresLeft;
        errorCode_ = script_.openErrorCode;
        errorText_ = script_.openErrorText;
        portActive_ = false;
        return;
    }
    deviceName_ = portName;
    portActive_ = true;
    SetError(0);
}

void FakeLink::SetLine(std::int32_t baud, std::int32_t dataBits, char parity, std::int32_t stopBits,
                       bool softwareFlow, bool hardwareFlow) {
    script_.lineCalls.push_back({baud, dataBits, parity, stopBits, softwareFlow, hardwareFlow});
    SetError(0);
}

std::string FakeLink::ReadAvailable(std::int32_t timeoutMs) {
    script_.readTimeouts.push_back(timeoutMs);
    if (script_.incoming.empty()) {
        SetError(OutcomeTimeout); // nothing waiting
        return {};
    }
    ReadBatch batch = std::move(script_.incoming.front());
    script_.incoming.pop_front();
    gone_ = gone_ || batch.deviceGone;
    SetError(batch.errorCode);
    return batch.bytes;
}

void FakeLink::ClosePort() {
    portActive_ = false;
}

bool FakeLink::DeviceGone() const {
    return gone_;
}

ShellBench::ShellBench() {
    iniPath = dir.filePath(QStringLiteral("quillar.ini")).toStdString();
    exeDir = dir.path().toStdString() + "/";
    SetMessageHook([this](const MessageRecord& message) { messages.push_back(message); });
}

ShellBench::~ShellBench() {
    form.reset();
    SetMessageHook({});
    links.FreeGraves();
}

void ShellBench::WriteIni(const std::string& text) {
    QFile file(QString::fromStdString(iniPath));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write the test's configuration file");
    file.write(text.data(), static_cast<qint64>(text.size()));
}

ShellEnvironment ShellBench::Environment() {
    ShellEnvironment env;
    env.iniPath = iniPath;
    env.executableDir = exeDir;
    env.listSerialPorts = [this] {
        if (listerFails)
            throw std::runtime_error(listerError);
        return ports;
    };
    env.makeSerialLink = [this] { return std::make_unique<FakeLink>(links); };
    env.dateText = [] { return std::string("7 December 2026 09:05"); };
    env.sleep = [this](int ms) { sleeps.push_back(ms); };
    env.brailleDaemonTookPort = [this] { return brailleDaemonPresent; };
    env.documentsDir = documentsDir;
    env.stateDir = dir.filePath(QStringLiteral("state")).toStdString();
    env.archiveClock = [] { return ArchiveTime{2026, 12, 8, 9, 56}; };
    return env;
}

std::unique_ptr<TForm1> ShellBench::MakeForm() {
    auto window = std::make_unique<TForm1>(Environment());
    window->Timer1->stop();
    QSignalSpy shown(window->ReportView(), &TReportBrowser::pageShown);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return nullptr;
    if (shown.isEmpty() && !shown.wait(kWaitMs))
        return nullptr;
    return window;
}

bool ShellBench::Open() {
    form = MakeForm();
    return form != nullptr;
}

bool Deliver(ShellBench& bench, const std::string& bytes) {
    bench.links.incoming.push_back({bytes});
    return WaitForPage(*bench.form, [&] { bench.form->PollTick(); });
}

QStringList MenuTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* item : menu->actions())
        texts << item->text();
    return texts;
}

QVariant RunScript(QWebEnginePage* page, const QString& script) {
    return test::RunPageScript(page, script, kWaitMs);
}

bool WaitForPage(TForm1& form, const std::function<void()>& action) {
    QSignalSpy shown(form.ReportView(), &TReportBrowser::pageShown);
    action();
    if (shown.isEmpty() && !shown.wait(kWaitMs))
        return false;
    return shown.constLast().at(0).toBool();
}

QString BodyHtml(TForm1& form) {
    return RunScript(form.ReportView()->View()->page(),
                     QStringLiteral("document.body ? document.body.innerHTML : null"))
        .toString();
}

} // namespace quillar::test
