// The view's table of transitions, walked on the engine: every transition is
// taken by driving a real view (a lost render process by killing it, as a
// crash would end it), in the order the walk expects, and an event that the
// table has no transition for is refused: logged, and nothing done.

#include "view/report_browser.h"
#include "view_test_support.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMainWindow>
#include <QMap>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace quillar::test {

namespace {

const std::string kHead = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                          "charset=utf-8\"></head><body>";
// Another head: a page of it is loaded, not brought in place.
const std::string kOtherHead = "<html><head><meta charset=utf-8><style>p{}</style></head><body>";

std::string Page(const std::string& body) {
    return kHead + body;
}

// Longer than the view loads whole (256 KB): its head loads, then its body.
std::string LongBody() {
    std::string body;
    for (int i = 0; i < 1500; ++i) {
        body += "line " + std::to_string(i) + " " + std::string(180, 'v') + "<br>";
    }
    return body + "<p id=end>end of report</p>";
}

QPageLayout A4() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Millimeter);
}

QString PdfText(const QString& path) {
    QProcess text;
    text.start("pdftotext", {path, "-"});
    return text.waitForFinished(kWaitMs) ? QString::fromUtf8(text.readAllStandardOutput())
                                         : QString();
}

// Whether want is taken in this order (other transitions may come between).
bool InOrder(const QStringList& want, const QStringList& taken) {
    qsizetype at = 0;
    for (const QString& name : taken) {
        if (at < want.size() && name == want[at]) {
            ++at;
        }
    }
    return at == want.size();
}

// Messages of the view's log, as they are given.
QStringList& ViewLog() {
    static QStringList log;
    return log;
}

QtMessageHandler& PreviousHandler() {
    static QtMessageHandler previous = nullptr;
    return previous;
}

void RecordViewLog(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (context.category != nullptr && QByteArray(context.category) == "quillar.view") {
        ViewLog().append(message);
    }
    PreviousHandler()(type, context, message);
}

} // namespace

class ViewStatesTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void everyTransition_isTakenByAWalk();
    void walk_data();
    void walk();
    void eventWithoutTransition_isRefused_loggedAndNothingDone();

private:
    struct Walk {
        const char* name;
        void (ViewStatesTest::*run)();
        QStringList takes; // in this order
    };
    static std::vector<Walk> Walks();

    // The walks.
    void PagesLoadedAndBroughtInPlace();
    void LongPagesLoadTheirHeadThenTheBody();
    void FillWithoutAnswer_loadsThePageWhole();
    void UpdateOfAnUnexpectedDocument_loadsAfresh();
    void LoadFailed_pageNotShown();
    void Captures_inTheOrderAsked_afterClearNothingTyped();
    void Prints_holdThePage_refusedWhenNothingShownOrBusy();
    void PrintNotRenderedInTime_fails();
    void TypedValues_copiedOutWhileIdle();
    void RendererLostWhileIdle_pageBackWithItsValues();
    void RendererLostBringingAPage_pageShownAgain();
    void RendererLostWhileCarrying_pageLoadsAnyway();
    void RendererLostWhileLoading_pageShownAfterwards();
    void RendererLostWhileCapturing_lastValuesSeenTaken();
    void RendererLostWhilePrinting_printFails();
    void RendererLostBeforeAnyPage_firstPageShown();

    QWebEnginePage* EnginePage() const { return browser_->View()->page(); }
    bool Took(const QString& name) const { return taken_.contains(name); }
    // Runs action (once) when the view takes transition, before its action.
    void At(const QString& transition, std::function<void()> action);
    // The render process of the view's page.
    void KillRenderer();
    void StopRenderer();
    void ContinueRenderer();
    bool Type(const QString& id, const QString& value);
    // Waits until the view has copied out the values typed so far: the
    // values a lost render process leaves behind.
    bool WaitForMirror();
    QString ValueOf(const QString& id);
    QString BodyText();
    // CapturePage, waited for: its typed values' JSON, or "none".
    QString Capture();

    std::unique_ptr<QMainWindow> window_;
    TReportBrowser* browser_ = nullptr;
    QStringList taken_;
    QMap<QString, std::function<void()>> at_;
    QList<qint64> stopped_;
};

std::vector<ViewStatesTest::Walk> ViewStatesTest::Walks() {
    using T = ViewStatesTest;
    return {
        {"pagesLoadedAndBroughtInPlace",
         &T::PagesLoadedAndBroughtInPlace,
         {"LoadPage", "PageLoaded", "AnnouncePage", "UpdateInPlace", "UpdatedInPlace",
          "AnnouncePage", "CarryTypedValues", "LoadAfterCarrying", "PageLoadedRestoreTyped",
          "TypedValuesRestored", "AnnouncePage", "UpdateInPlace", "PageWaitsForStep",
          "UpdatedInPlace", "PageShownNewerNext", "UpdateInPlace", "UpdatedInPlace",
          "AnnouncePage"}},
        {"longPagesLoadTheirHeadThenTheBody",
         &T::LongPagesLoadTheirHeadThenTheBody,
         {"LoadHeadOfLongPage", "FillBody", "BodyFilled", "AnnouncePage", "CarryTypedValues",
          "LoadHeadAfterCarrying", "FillBody", "BodyFilledRestoreTyped", "TypedValuesRestored",
          "AnnouncePage"}},
        {"fillWithoutAnswer_loadsThePageWhole",
         &T::FillWithoutAnswer_loadsThePageWhole,
         {"LoadHeadOfLongPage", "FillBody", "FillFailedLoadWhole", "PageLoaded", "AnnouncePage"}},
        {"updateOfAnUnexpectedDocument_loadsAfresh",
         &T::UpdateOfAnUnexpectedDocument_loadsAfresh,
         {"UpdateInPlace", "UpdateFailedLoadAfresh", "CarryTypedValues", "LoadAfterCarrying",
          "PageLoaded", "AnnouncePage"}},
        {"loadFailed_pageNotShown",
         &T::LoadFailed_pageNotShown,
         {"LoadPage", "LoadFailed", "AnnouncePage", "LoadPage", "PageLoaded", "AnnouncePage"}},
        {"captures_inTheOrderAsked_afterClearNothingTyped",
         &T::Captures_inTheOrderAsked_afterClearNothingTyped,
         {"CaptureTypedValues",
          "CaptureTaken",
          "Rest",
          "UpdateInPlace",
          "TaskWaitsForStep",
          "TaskWaitsForStep",
          "UpdatedInPlace",
          "PageShownTaskNext",
          "CaptureTypedValues",
          "CaptureTaken",
          "NextTask",
          "CaptureTypedValues",
          "CaptureTaken",
          "AnnounceHeldBackPage",
          "UpdateInPlace",
          "TaskWaitsForStep",
          "PageWaitsForStep",
          "UpdatedInPlace",
          "PageShownTaskNext",
          "CaptureTypedValues",
          "CaptureTaken",
          "NextPage",
          "UpdateInPlace",
          "UpdatedInPlace",
          "AnnouncePage",
          "ForgetTypedValues",
          "CaptureOfEarlierReport",
          "Rest"}},
        {"prints_holdThePage_refusedWhenNothingShownOrBusy",
         &T::Prints_holdThePage_refusedWhenNothingShownOrBusy,
         {"PrintRefusedNothingShown",
          "HoldPageForPrint",
          "PageHeldForPrint",
          "QueuePrint",
          "StartPrint",
          "PrintRefusedBusy",
          "PreparePaper",
          "RenderPdf",
          "PrintRendered",
          "NextPage",
          "PrintReported",
          "HoldPageForPrint",
          "ReleasePrintHold",
          "Rest",
          "UpdateInPlace",
          "HoldPageForPrint",
          "ReleasePrintHoldAfterStep",
          "UpdatedInPlace",
          "UpdateInPlace",
          "HoldPageForPrint",
          "QueuePrint",
          "TaskWaitsForStep",
          "UpdatedInPlace",
          "PageShownTaskNext",
          "StartPrint",
          "PreparePaper",
          "RenderPdf",
          "PrintRendered",
          "AnnounceHeldBackPage",
          "PrintReported"}},
        {"printNotRenderedInTime_fails",
         &T::PrintNotRenderedInTime_fails,
         {"StartPrint", "RenderPdf", "MirrorWaitsForIdle", "PrintTimedOut", "PrintReported"}},
        {"typedValues_copiedOutWhileIdle",
         &T::TypedValues_copiedOutWhileIdle,
         {"MirrorTypedValues", "KeepMirroredValues", "ForgetTypedValues", "NothingToMirror"}},
        {"rendererLostWhileIdle_pageBackWithItsValues",
         &T::RendererLostWhileIdle_pageBackWithItsValues,
         {"KeepMirroredValues", "RendererLostWhileIdle", "CarryTypedValues", "LoadAfterCarrying",
          "PageLoadedRestoreTyped", "TypedValuesRestored", "AnnouncePage"}},
        {"rendererLostBringingAPage_pageShownAgain",
         &T::RendererLostBringingAPage_pageShownAgain,
         {"UpdateInPlace", "RendererLostWhileBringingPage", "PageShownNewerNext",
          "CarryTypedValues", "AnnouncePage", "PageLoadedRestoreTyped",
          "RendererLostWhileBringingPage", "AnnouncePage", "FillBody",
          "RendererLostWhileBringingPage", "AnnouncePage"}},
        {"rendererLostWhileCarrying_pageLoadsAnyway",
         &T::RendererLostWhileCarrying_pageLoadsAnyway,
         {"CarryTypedValues", "RendererLostWhileCarrying", "PageLoadedRestoreTyped", "AnnouncePage",
          "CarryTypedValues", "RendererLostWhileCarryingLoadHead", "FillBody", "AnnouncePage"}},
        {"rendererLostWhileLoading_pageShownAfterwards",
         &T::RendererLostWhileLoading_pageShownAfterwards,
         {"LoadPage", "RendererLostWhileLoading", "AnnouncePage"}},
        {"rendererLostWhileCapturing_lastValuesSeenTaken",
         &T::RendererLostWhileCapturing_lastValuesSeenTaken,
         {"KeepMirroredValues", "CaptureTypedValues", "RendererLostWhileCapturing", "NextPage",
          "AnnouncePage"}},
        {"rendererLostWhilePrinting_printFails",
         &T::RendererLostWhilePrinting_printFails,
         {"StartPrint", "RendererLostWhilePrinting", "PrintReported"}},
        {"rendererLostBeforeAnyPage_firstPageShown",
         &T::RendererLostBeforeAnyPage_firstPageShown,
         {"RendererLostBeforeAnyPage", "LoadPage", "PageLoaded", "AnnouncePage"}},
    };
}

void ViewStatesTest::init() {
    ViewLog().clear();
    PreviousHandler() = qInstallMessageHandler(RecordViewLog);
    window_ = std::make_unique<QMainWindow>();
    window_->resize(800, 600);
    browser_ = new TReportBrowser(window_.get());
    browser_->SetHostWindow(window_.get());
    browser_->SetSize(800, 600);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    taken_.clear();
    at_.clear();
    TReportBrowser::SetTransitionHook([this](const TReportBrowser& view, const QString& name) {
        if (&view != browser_) {
            return;
        }
        taken_.append(name);
        if (const auto it = at_.find(name); it != at_.end()) {
            const std::function<void()> action = it.value();
            at_.erase(it);
            action();
        }
    });
}

void ViewStatesTest::cleanup() {
    TReportBrowser::SetTransitionHook({});
    TReportBrowser::SetTimeouts(0, 0);
    TReportBrowser::SetPrintDialogHook({});
    // A process left stopped by a failed walk would hold the engine.
    for (qint64 pid : stopped_) {
        ::kill(pid_t(pid), SIGCONT);
    }
    stopped_.clear();
    delete browser_;
    browser_ = nullptr;
    window_.reset();
    qInstallMessageHandler(PreviousHandler());
}

void ViewStatesTest::At(const QString& transition, std::function<void()> action) {
    at_.insert(transition, std::move(action));
}

void ViewStatesTest::KillRenderer() {
    const qint64 pid = EnginePage()->renderProcessPid();
    QVERIFY(pid > 0);
    ::kill(pid_t(pid), SIGKILL);
}

void ViewStatesTest::StopRenderer() {
    const qint64 pid = EnginePage()->renderProcessPid();
    QVERIFY(pid > 0);
    stopped_.append(pid);
    ::kill(pid_t(pid), SIGSTOP);
}

void ViewStatesTest::ContinueRenderer() {
    for (qint64 pid : stopped_) {
        ::kill(pid_t(pid), SIGCONT);
    }
    stopped_.clear();
}

bool ViewStatesTest::Type(const QString& id, const QString& value) {
    return RunScript(
               EnginePage(),
               QStringLiteral("document.getElementById('%1').value = '%2'; true").arg(id, value))
        .toBool();
}

bool ViewStatesTest::WaitForMirror() {
    // Answers come in order: a copy answered after the typing saw it.
    const qsizetype mark = taken_.size();
    return QTest::qWaitFor([&] { return taken_.mid(mark).contains("KeepMirroredValues"); },
                           kWaitMs);
}

QString ViewStatesTest::BodyText() {
    return RunScript(EnginePage(), "document.body.textContent.trim()").toString();
}

QString ViewStatesTest::ValueOf(const QString& id) {
    return RunScript(EnginePage(), QStringLiteral("document.getElementById('%1').value").arg(id))
        .toString();
}

QString ViewStatesTest::Capture() {
    auto result = std::make_shared<QString>(QStringLiteral("none"));
    browser_->CapturePage(
        [result](const QString& typedJson, const QByteArray&) { *result = typedJson; });
    // "none" when done never came.
    if (!QTest::qWaitFor([&] { return *result != QStringLiteral("none"); }, kWaitMs)) {
        return QStringLiteral("none");
    }
    return *result;
}

void ViewStatesTest::everyTransition_isTakenByAWalk() {
    const QStringList names = TReportBrowser::TransitionNames();
    QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
    QSet<QString> walked;
    for (const Walk& walk : Walks()) {
        for (const QString& name : walk.takes) {
            QVERIFY2(names.contains(name), qPrintable(name + " is not in the table"));
            walked.insert(name);
        }
    }
    for (const QString& name : names) {
        QVERIFY2(walked.contains(name), qPrintable(name + " is taken by no walk"));
    }
}

void ViewStatesTest::walk_data() {
    QTest::addColumn<int>("index");
    const std::vector<Walk> walks = Walks();
    for (std::size_t i = 0; i < walks.size(); ++i) {
        QTest::newRow(walks[i].name) << static_cast<int>(i);
    }
}

void ViewStatesTest::walk() {
    QFETCH(int, index);
    const Walk walk = Walks()[static_cast<std::size_t>(index)];
    (this->*walk.run)();
    if (QTest::currentTestFailed()) {
        qWarning("taken: %s", qPrintable(taken_.join(' ')));
        return;
    }
    QVERIFY2(InOrder(walk.takes, taken_), qPrintable("taken: " + taken_.join(' ')));
}

void ViewStatesTest::PagesLoadedAndBroughtInPlace() {
    QCOMPARE(ShowAndWait(*browser_, Page("<input id=a>")), 0);
    QCOMPARE(ShowAndWait(*browser_, Page("<input id=a>one")), 0);
    QVERIFY(Type("a", "typed"));
    // Another head: loaded, with what was typed carried over.
    QCOMPARE(ShowAndWait(*browser_, kOtherHead + "<input id=a>two"), 0);
    QCOMPARE(ValueOf("a"), QStringLiteral("typed"));
    // Pages faster than the engine: the newest is shown, and announced once.
    QSignalSpy shown(browser_, &TReportBrowser::pageShown);
    browser_->ShowPage(kOtherHead + "<input id=a>three");
    browser_->ShowPage(kOtherHead + "<input id=a>four");
    QVERIFY(shown.wait(kWaitMs));
    QCOMPARE(shown.count(), 1);
    QCOMPARE(BodyText(), QStringLiteral("four"));
}

void ViewStatesTest::LongPagesLoadTheirHeadThenTheBody() {
    QCOMPARE(ShowAndWait(*browser_, Page("<input id=a>" + LongBody())), 0);
    QCOMPARE(TextOf(EnginePage(), "end").toString(), QStringLiteral("end of report"));
    QVERIFY(Type("a", "typed"));
    QCOMPARE(ShowAndWait(*browser_, kOtherHead + "<input id=a>" + LongBody()), 0);
    QCOMPARE(ValueOf("a"), QStringLiteral("typed"));
    QCOMPARE(TextOf(EnginePage(), "end").toString(), QStringLiteral("end of report"));
}

void ViewStatesTest::FillWithoutAnswer_loadsThePageWhole() {
    // The render process stops before the body is sent, and answers nothing
    // in time; it goes on once the view has given up on the fill.
    TReportBrowser::SetTimeouts(500, 0);
    At("FillBody", [this] { StopRenderer(); });
    At("FillFailedLoadWhole", [this] { ContinueRenderer(); });
    QCOMPARE(ShowAndWait(*browser_, Page(LongBody())), 0);
    QCOMPARE(TextOf(EnginePage(), "end").toString(), QStringLiteral("end of report"));
}

void ViewStatesTest::UpdateOfAnUnexpectedDocument_loadsAfresh() {
    QCOMPARE(ShowAndWait(*browser_, Page("a<br>")), 0);
    QCOMPARE(ShowAndWait(*browser_, Page("a<br>b<br>")), 0);
    // The source the engine keeps is not the one the view last sent.
    QVERIFY(RunScript(EnginePage(), "window.quillarSource = 'another page'; true").toBool());
    taken_.clear();
    QCOMPARE(ShowAndWait(*browser_, Page("a<br>b<br>c<br>")), 0);
    QCOMPARE(BodyText(), QStringLiteral("abc"));
}

void ViewStatesTest::LoadFailed_pageNotShown() {
    // The engine cannot serve the page: its scheme's handler is away for one load.
    QWebEngineProfile* profile = EnginePage()->profile();
    auto* handler = const_cast<QWebEngineUrlSchemeHandler*>(
        profile->urlSchemeHandler(QByteArrayLiteral("quillar-report")));
    QVERIFY(handler != nullptr);
    profile->removeUrlSchemeHandler(handler);
    QSignalSpy shown(browser_, &TReportBrowser::pageShown);
    browser_->ShowPage(Page("first"));
    QVERIFY(shown.wait(kWaitMs));
    profile->installUrlSchemeHandler(QByteArrayLiteral("quillar-report"), handler);
    QCOMPARE(shown.at(0).at(0).toBool(), false);
    // Nothing is shown: there is nothing to print, and the next page loads.
    QCOMPARE(browser_->PrintPage(), TReportBrowser::PrintStart::NothingShown);
    QCOMPARE(ShowAndWait(*browser_, Page("second")), 0);
    QCOMPARE(BodyText(), QStringLiteral("second"));
}

void ViewStatesTest::Captures_inTheOrderAsked_afterClearNothingTyped() {
    QCOMPARE(ShowAndWait(*browser_, Page("<input id=a>")), 0);
    QVERIFY(Type("a", "kept"));
    const QString first = Capture();
    QCOMPARE(QJsonDocument::fromJson(first.toUtf8())["fields"]["#a"]["value"].toString(),
             QStringLiteral("kept"));

    // Asked while a page is on its way: taken from it, one after the other,
    // and only then is the page announced.
    QStringList order;
    QSignalSpy shown(browser_, &TReportBrowser::pageShown);
    connect(browser_, &TReportBrowser::pageShown, this, [&] { order << "shown"; });
    browser_->ShowPage(Page("<input id=a>PAGE-X"));
    for (const char* name : {"capture 1", "capture 2"}) {
        browser_->CapturePage([&order, name](const QString&, const QByteArray& page) {
            order << QString::fromLatin1(name) + (page.contains("PAGE-X") ? " of X" : "");
        });
    }
    QVERIFY(shown.wait(kWaitMs));
    QCOMPARE(order, QStringList({"capture 1 of X", "capture 2 of X", "shown"}));

    // A newer page behind the capture is shown after it, and announced instead.
    order.clear();
    browser_->ShowPage(Page("<input id=a>PAGE-Y"));
    browser_->CapturePage([&order](const QString&, const QByteArray& page) {
        order << (page.contains("PAGE-Y") ? "capture of Y" : "capture");
    });
    browser_->ShowPage(Page("<input id=a>PAGE-Z"));
    QVERIFY(shown.wait(kWaitMs));
    QCOMPARE(order, QStringList({"capture of Y", "shown"}));
    QCOMPARE(BodyText(), QStringLiteral("PAGE-Z"));

    // Clear: the page on screen is the last report's, with nothing typed for the next.
    browser_->ForgetTypedValues();
    const QString afterClear = Capture();
    QCOMPARE(QJsonDocument::fromJson(afterClear.toUtf8())["fields"].toObject().size(), 0);
}

void ViewStatesTest::Prints_holdThePage_refusedWhenNothingShownOrBusy() {
    QCOMPARE(browser_->PrintPage(), TReportBrowser::PrintStart::NothingShown);
    QCOMPARE(ShowAndWait(*browser_, Page("FIRST<br>")), 0);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString first = dir.filePath("first.pdf");
    TReportBrowser::SetPrintDialogHook([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(first);
        printer.setPageLayout(A4());
        browser_->ShowPage(Page("FIRST<br>GROWN<br>")); // a tick behind the dialog
        return true;
    });
    QSignalSpy finished(browser_, &TReportBrowser::printFinished);
    QSignalSpy shown(browser_, &TReportBrowser::pageShown);
    QCOMPARE(browser_->PrintPage(), TReportBrowser::PrintStart::Started);
    QCOMPARE(browser_->PrintPage(), TReportBrowser::PrintStart::Busy);
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    const QString printed = PdfText(first);
    QVERIFY2(printed.contains("FIRST") && !printed.contains("GROWN"), qPrintable(printed));
    // The page held meanwhile is shown afterwards.
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 1, kWaitMs);
    QCOMPARE(BodyText(), QStringLiteral("FIRSTGROWN"));

    // Cancelled while nothing is under way, and while a page is on its way.
    TReportBrowser::SetPrintDialogHook([](QPrinter&) { return false; });
    QCOMPARE(browser_->PrintPage(), TReportBrowser::PrintStart::Cancelled);
    browser_->ShowPage(Page("FIRST<br>GROWN<br>MORE<br>"));
    QCOMPARE(browser_->PrintPage(), TReportBrowser::PrintStart::Cancelled);
    QVERIFY(shown.wait(kWaitMs));

    // Asked while a page is on its way: that page is the one printed.
    const QString last = dir.filePath("last.pdf");
    TReportBrowser::SetPrintDialogHook([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(last);
        printer.setPageLayout(A4());
        return true;
    });
    browser_->ShowPage(Page("FIRST<br>GROWN<br>MORE<br>LAST<br>"));
    QCOMPARE(browser_->PrintPage(), TReportBrowser::PrintStart::Started);
    QVERIFY(finished.wait(kWaitMs));
    QCOMPARE(finished.at(1).at(0).toBool(), true);
    QVERIFY2(PdfText(last).contains("LAST"), qPrintable(PdfText(last)));
}

void ViewStatesTest::PrintNotRenderedInTime_fails() {
    // The render process stops before the PDF is asked for, for longer than
    // the rendering may take (and than the typed values' copy waits).
    TReportBrowser::SetTimeouts(0, 1500);
    QCOMPARE(ShowAndWait(*browser_, Page("report<br>")), 0);
    At("RenderPdf", [this] { StopRenderer(); });
    At("PrintTimedOut", [this] { ContinueRenderer(); });
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(PrintToPdfAndWait(*browser_, dir.filePath("late.pdf"), A4()),
             QStringLiteral("Printing failed: the engine did not finish rendering the page"));
    // The PDF comes after all, when the print has ended: refused. (The
    // engine must not be torn down while it still renders.)
    QTRY_VERIFY_WITH_TIMEOUT(ViewLog().contains("The view refused PdfWritten in stage Idle: its "
                                                "table has no transition for it"),
                             kWaitMs);
}

void ViewStatesTest::TypedValues_copiedOutWhileIdle() {
    QCOMPARE(ShowAndWait(*browser_, Page("<input id=a>")), 0);
    QVERIFY(Type("a", "typed"));
    QVERIFY(WaitForMirror());
    browser_->ForgetTypedValues();
    QTRY_VERIFY_WITH_TIMEOUT(Took("NothingToMirror"), kWaitMs);
}

void ViewStatesTest::RendererLostWhileIdle_pageBackWithItsValues() {
    // The dead process answers nothing: the view waits no longer than this.
    TReportBrowser::SetTimeouts(1000, 0);
    QCOMPARE(ShowAndWait(*browser_, Page("<input id=a>")), 0);
    QVERIFY(Type("a", "WX 9"));
    QVERIFY(WaitForMirror());
    const qint64 pid = EnginePage()->renderProcessPid();
    QSignalSpy shown(browser_, &TReportBrowser::pageShown);
    KillRenderer();
    QVERIFY(shown.wait(kWaitMs));
    QCOMPARE(ValueOf("a"), QStringLiteral("WX 9"));
    QVERIFY(EnginePage()->renderProcessPid() != pid);
}

void ViewStatesTest::RendererLostBringingAPage_pageShownAgain() {
    TReportBrowser::SetTimeouts(1000, 0);
    QCOMPARE(ShowAndWait(*browser_, Page("<input id=a>")), 0);
    QVERIFY(Type("a", "typed"));
    QVERIFY(WaitForMirror());
    // Killed as the view starts each step: the step never answers.
    At("UpdateInPlace", [this] { KillRenderer(); });
    QCOMPARE(ShowAndWait(*browser_, Page("<input id=a>in place")), 0);
    QCOMPARE(ValueOf("a"), QStringLiteral("typed"));
    At("PageLoadedRestoreTyped", [this] { KillRenderer(); });
    QCOMPARE(ShowAndWait(*browser_, kOtherHead + "<input id=a>loaded"), 0);
    QCOMPARE(ValueOf("a"), QStringLiteral("typed"));
    At("FillBody", [this] { KillRenderer(); });
    QCOMPARE(ShowAndWait(*browser_, Page("<input id=a>" + LongBody())), 0);
    QCOMPARE(TextOf(EnginePage(), "end").toString(), QStringLiteral("end of report"));
}

void ViewStatesTest::RendererLostWhileCarrying_pageLoadsAnyway() {
    QCOMPARE(ShowAndWait(*browser_, Page("<input id=a>")), 0);
    QVERIFY(Type("a", "typed"));
    QVERIFY(WaitForMirror());
    At("CarryTypedValues", [this] { KillRenderer(); });
    QCOMPARE(ShowAndWait(*browser_, kOtherHead + "<input id=a>short"), 0);
    QCOMPARE(BodyText(), QStringLiteral("short"));
    At("CarryTypedValues", [this] { KillRenderer(); });
    QCOMPARE(ShowAndWait(*browser_, Page("<input id=a>" + LongBody())), 0);
    QCOMPARE(TextOf(EnginePage(), "end").toString(), QStringLiteral("end of report"));
}

void ViewStatesTest::RendererLostWhileLoading_pageShownAfterwards() {
    TReportBrowser::SetTimeouts(1000, 0);
    QCOMPARE(ShowAndWait(*browser_, Page("first")), 0);
    // Nothing to carry: the next page loads at once.
    browser_->ForgetTypedValues();
    At("LoadPage", [this] { KillRenderer(); });
    QSignalSpy shown(browser_, &TReportBrowser::pageShown);
    browser_->ShowPage(kOtherHead + "second");
    QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty() && shown.last().at(0).toBool(), kWaitMs);
    QCOMPARE(BodyText(), QStringLiteral("second"));
}

void ViewStatesTest::RendererLostWhileCapturing_lastValuesSeenTaken() {
    TReportBrowser::SetTimeouts(1000, 0);
    QCOMPARE(ShowAndWait(*browser_, Page("<input id=a>")), 0);
    QVERIFY(Type("a", "seen"));
    QVERIFY(WaitForMirror());
    At("CaptureTypedValues", [this] { KillRenderer(); });
    QSignalSpy shown(browser_, &TReportBrowser::pageShown);
    const QString captured = Capture();
    QCOMPARE(QJsonDocument::fromJson(captured.toUtf8())["fields"]["#a"]["value"].toString(),
             QStringLiteral("seen"));
    // And the page comes back.
    QVERIFY(shown.wait(kWaitMs));
    QCOMPARE(ValueOf("a"), QStringLiteral("seen"));
}

void ViewStatesTest::RendererLostWhilePrinting_printFails() {
    QCOMPARE(ShowAndWait(*browser_, Page("report<br>")), 0);
    At("StartPrint", [this] { KillRenderer(); });
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(PrintToPdfAndWait(*browser_, dir.filePath("lost.pdf"), A4()),
             QStringLiteral("Printing failed: the engine's render process ended"));
}

void ViewStatesTest::RendererLostBeforeAnyPage_firstPageShown() {
    // No render process runs before the first page: the engine's signal that
    // it ended is given by hand.
    QCOMPARE(EnginePage()->renderProcessPid(), qint64(0));
    emit EnginePage()->renderProcessTerminated(QWebEnginePage::CrashedTerminationStatus, 9);
    QCOMPARE(ShowAndWait(*browser_, Page("first")), 0);
    QCOMPARE(BodyText(), QStringLiteral("first"));
}

void ViewStatesTest::eventWithoutTransition_isRefused_loggedAndNothingDone() {
    QCOMPARE(ShowAndWait(*browser_, Page("<p id=m>shown</p>")), 0);
    taken_.clear();
    QSignalSpy shown(browser_, &TReportBrowser::pageShown);
    QSignalSpy finished(browser_, &TReportBrowser::printFinished);

    // A reload of the page shown, asked of the engine: the page refuses it,
    // and the engine reports that load as failed while the view is idle.
    EnginePage()->triggerAction(QWebEnginePage::Reload);
    QTRY_VERIFY_WITH_TIMEOUT(
        ViewLog().contains("The view refused LoadFailed in stage Idle: its table has no "
                           "transition for it"),
        kWaitMs);
    // A PDF that no print of the view asked for.
    emit EnginePage()->pdfPrintingFinished(QStringLiteral("/tmp/not-asked-for.pdf"), true);
    QVERIFY(ViewLog().contains("The view refused PdfWritten in stage Idle: its table has no "
                               "transition for it"));

    // Nothing was done (a refused event returns at once): no transition
    // but the periodic copy of typed values, no signal, the page as it was.
    QCOMPARE(taken_.filter(QRegularExpression("^(?!Mirror|NothingToMirror|KeepMirrored)")),
             QStringList());
    QCOMPARE(shown.count(), 0);
    QCOMPARE(finished.count(), 0);
    QVERIFY(!browser_->Printing());
    QCOMPARE(TextOf(EnginePage(), "m").toString(), QStringLiteral("shown"));
    // And the view goes on.
    QCOMPARE(ShowAndWait(*browser_, Page("<p id=m>next</p>")), 0);
    QCOMPARE(TextOf(EnginePage(), "m").toString(), QStringLiteral("next"));
}

std::unique_ptr<QObject> MakeViewStatesTest() {
    return std::make_unique<ViewStatesTest>();
}

} // namespace quillar::test

#include "view_states_test.moc"
