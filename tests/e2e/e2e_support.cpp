#include "e2e_support.h"
#include "page_script.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <memory>

namespace quillar::e2e {

TesterProcess::TesterProcess(const QStringList& arguments) : arguments_(arguments) {
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, &process_,
                     [this] { ReadEvents(); });
    QObject::connect(&process_, &QProcess::readyReadStandardError, &process_,
                     [this] { errors_ += process_.readAllStandardError(); });
}

TesterProcess::~TesterProcess() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate(); // SIGTERM: the tester removes its link and exits
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool TesterProcess::Start() {
    process_.start(QStringLiteral(QUILLAR_TESTER_PATH), arguments_);
    if (!process_.waitForStarted(kWaitMs))
        return false;
    return WaitForEvent(QStringLiteral("linked"));
}

void TesterProcess::ReadEvents() {
    partialLine_ += process_.readAllStandardOutput();
    for (;;) {
        const qsizetype end = partialLine_.indexOf('\n');
        if (end < 0)
            return;
        events_ << QString::fromUtf8(partialLine_.left(end));
        partialLine_.remove(0, end + 1);
    }
}

int TesterProcess::CountEvents(const QString& prefix) const {
    int n = 0;
    for (const QString& event : events_)
        n += event.startsWith(prefix) ? 1 : 0;
    return n;
}

bool TesterProcess::WaitForEvent(const QString& prefix, int count, int timeoutMs) {
    return QTest::qWaitFor([&] { return CountEvents(prefix) >= count; }, timeoutMs);
}

QString TesterProcess::Log() const {
    return QStringLiteral("tester events: [%1]; errors: %2")
        .arg(events_.join(QStringLiteral(" | ")), QString::fromUtf8(errors_));
}

Workshop::Workshop(const QString& model, int language) {
    if (!dir_.isValid())
        return;
    QFile ini(IniPath());
    if (!ini.open(QIODevice::WriteOnly))
        return;
    ini.write(QStringLiteral("[Config]\r\nModel=%1\r\nLanguage=%2\r\nLanguageOption=1,2,3\r\n")
                  .arg(model)
                  .arg(language)
                  .toLatin1());
    ini.close();
    const QDir images(QStringLiteral(QUILLAR_STATE_IMAGE_DIR));
    for (int step = 0; step <= 10; ++step) {
        const QString name = QString::number(step) + QStringLiteral(".png");
        if (!QFile::copy(images.filePath(name), dir_.filePath(name)))
            return;
    }
    qputenv("QUILLAR_EXTRA_PORTS", LinkPath().toLocal8Bit());
    valid_ = true;
}

Workshop::~Workshop() {
    form_.reset(); // closes the port and the engine's page before the folder goes
    qunsetenv("QUILLAR_EXTRA_PORTS");
}

QString Workshop::LinkPath() const {
    return dir_.filePath(QStringLiteral("ttyTester"));
}

QString Workshop::IniPath() const {
    return dir_.filePath(QStringLiteral("quillar.ini"));
}

QString Workshop::IniText() const {
    QFile ini(IniPath());
    return ini.open(QIODevice::ReadOnly) ? QString::fromLatin1(ini.readAll()) : QString();
}

TForm1& Workshop::OpenWindow() {
    ShellEnvironment environment = ShellEnvironment::ForRunningProgram();
    environment.iniPath = IniPath().toStdString();
    environment.executableDir = dir_.path().toStdString() + "/";
    // Kept tests go to the workshop's folder, never to the user's documents.
    environment.documentsDir = dir_.filePath(QStringLiteral("Documents")).toStdString();
    form_ = std::make_unique<TForm1>(std::move(environment));
    form_->show();
    return *form_;
}

QWebEnginePage* Workshop::Page() const {
    return form_->ReportView()->View()->page();
}

QString Workshop::PortCaption() const {
    return form_->ToolButton6->text();
}

QString Output(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kWaitMs) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

QVariant RunScript(QWebEnginePage* page, const QString& script) {
    return test::RunPageScript(page, script, kWaitMs);
}

QString BodyText(QWebEnginePage* page) {
    return RunScript(page, QStringLiteral("document.body ? document.body.innerText : ''"))
        .toString();
}

QString WaitForBodyText(QWebEnginePage* page, const std::function<bool(const QString&)>& accept,
                        int timeoutMs) {
    QString text;
    // The caller checks the text it gets back; a time-out shows there.
    (void)QTest::qWaitFor(
        [&] {
            text = BodyText(page);
            if (accept(text))
                return true;
            QTest::qWait(50);
            return false;
        },
        timeoutMs);
    return text;
}

int Occurrences(const QString& text, const QString& needle) {
    int n = 0;
    for (qsizetype at = text.indexOf(needle); at >= 0;
         at = text.indexOf(needle, at + needle.size()))
        ++n;
    return n;
}

} // namespace quillar::e2e
