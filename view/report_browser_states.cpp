// TReportBrowser's states and the one table of its transitions: which event
// is taken in which stage, under which conditions, to which stage, by which
// action. Everything the view does after a call of its owner, an answer of
// the engine or a tick of its own goes through Dispatch and this table.

#include "view/page_update.h"
#include "view/report_browser_impl.h"
#include "view/view_log.h"
#include "view/view_style.h"

#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEngineScript>

#include <iterator>
#include <utility>

namespace quillar {

namespace {

using I = TReportBrowser::Impl;
using S = I::Stage;
using E = I::Event;

// A script of the application's world normally answers at once; this bound
// only keeps a hung render process from holding back every later page.
constexpr int kScriptTimeoutMs = 10'000;

// A long report is laid out this many lines at a time, near the viewport only
// (see page_update.cpp).
constexpr int kLinesPerPart = 100;

// A page longer than this is loaded as its head alone and then filled in
// place: loading it whole would lay all of it out at once, some hundred MB
// per MB of text, before the parts take over.
constexpr qsizetype kLongPageBytes = 256 * 1024;

// Printing to a PDF file takes seconds for a long report; this bound only
// keeps a hung render process from holding back every later page.
constexpr int kPrintRenderTimeoutMs = 120'000;

int& ScriptTimeoutMs() {
    static int ms = kScriptTimeoutMs;
    return ms;
}

int& PrintRenderTimeoutMs() {
    static int ms = kPrintRenderTimeoutMs;
    return ms;
}

TReportBrowser::TransitionHook& Hook() {
    static TReportBrowser::TransitionHook hook;
    return hook;
}

// Sets of stages, as the rows name them (PrintRendering is the last stage).
constexpr std::uint32_t In(S stage) {
    return std::uint32_t{1} << static_cast<unsigned>(stage);
}
constexpr std::uint32_t kAny = (In(S::PrintRendering) << 1) - 1;
constexpr std::uint32_t kIdle = In(S::Idle);
constexpr std::uint32_t kBusy = kAny & ~kIdle;
constexpr std::uint32_t kLoads = In(S::Loading) | In(S::LoadingHead);
constexpr std::uint32_t kBringsPage = In(S::Filling) | In(S::Updating) | In(S::Restoring);
constexpr std::uint32_t kPrints =
    In(S::PrintTitling) | In(S::PrintPreparing) | In(S::PrintRendering);

constexpr std::optional<S> kStays = std::nullopt;
constexpr I::Guard kAlways = nullptr;

} // namespace

struct TReportBrowser::Impl::Row {
    std::uint32_t from; // the stages the row applies in
    Event event;
    Guard when; // both guards must hold; kAlways holds always
    Guard also;
    std::optional<Stage> to; // kStays: the stage stays as it is
    const char* name;
    Action action;
};

namespace {

// The rows are tried in order: for a stage and an event, the first whose
// guards hold is taken. An event in a stage that no row takes is refused.
// Rows that take an event in kIdle only (PageWaiting, PageReady, Free,
// TaskWaiting) are where the view chooses what to do next.
constexpr I::Row kTable[] = {
    // A page waits: held while a print is prepared, brought in place when the
    // engine's document has the same head, else loaded, after the typed
    // values that go on to it are read; a long page loads its head first.
    {kIdle, E::PageWaiting, &I::HeldForPrint, kAlways, S::Idle, "PageHeldForPrint", &I::Nothing},
    {kIdle, E::PageWaiting, &I::InPlacePossible, kAlways, S::Updating, "UpdateInPlace",
     &I::UpdateInPlace},
    {kIdle, E::PageWaiting, &I::TypedValuesCarried, kAlways, S::Carrying, "CarryTypedValues",
     &I::CarryTypedValues},
    {kIdle, E::PageWaiting, &I::LongPageWithHead, kAlways, S::LoadingHead, "LoadHeadOfLongPage",
     &I::LoadHead},
    {kIdle, E::PageWaiting, kAlways, kAlways, S::Loading, "LoadPage", &I::LoadWhole},
    // Behind the step under way; the newest page waiting is the one shown.
    {kBusy, E::PageWaiting, kAlways, kAlways, kStays, "PageWaitsForStep", &I::Nothing},

    {In(S::Carrying), E::Answered, &I::LongPageWithHead, kAlways, S::LoadingHead,
     "LoadHeadAfterCarrying", &I::LoadHeadAfterCarrying},
    {In(S::Carrying), E::Answered, kAlways, kAlways, S::Loading, "LoadAfterCarrying",
     &I::LoadWholeAfterCarrying},

    {In(S::LoadingHead), E::LoadSucceeded, kAlways, kAlways, S::Filling, "FillBody", &I::FillBody},
    {In(S::Loading), E::LoadSucceeded, &I::NothingTyped, kAlways, S::Idle, "PageLoaded",
     &I::ShowLoadedPage},
    {In(S::Loading), E::LoadSucceeded, kAlways, kAlways, S::Restoring, "PageLoadedRestoreTyped",
     &I::RestoreIntoLoadedPage},
    {kLoads, E::LoadFailed, kAlways, kAlways, S::Idle, "LoadFailed", &I::PageFailed},

    {In(S::Filling), E::Answered, &I::AnswerTrue, &I::NothingTyped, S::Idle, "BodyFilled",
     &I::PageInSync},
    {In(S::Filling), E::Answered, &I::AnswerTrue, kAlways, S::Restoring, "BodyFilledRestoreTyped",
     &I::RestoreIntoFilledPage},
    // Filling failed (or gave no answer in time): the page loads whole.
    {In(S::Filling), E::Answered, kAlways, kAlways, S::Loading, "FillFailedLoadWhole",
     &I::LoadWholeAfterFailedFill},

    {In(S::Updating), E::Answered, &I::AnswerTrue, kAlways, S::Idle, "UpdatedInPlace",
     &I::PageInSync},
    // The engine's document was not the one expected: the page loads afresh.
    {In(S::Updating), E::Answered, kAlways, kAlways, S::Idle, "UpdateFailedLoadAfresh",
     &I::LoadAfresh},
    {In(S::Restoring), E::Answered, kAlways, kAlways, S::Idle, "TypedValuesRestored",
     &I::PageRestored},

    // A page is shown (or could not be): the captures and prints asked for
    // meanwhile come first (pageShown waits for them), then a newer page,
    // else pageShown.
    {kIdle, E::PageReady, &I::TaskQueued, kAlways, S::Idle, "PageShownTaskNext",
     &I::OweAndStartTask},
    {kIdle, E::PageReady, &I::PageWaitingNotHeld, kAlways, S::Idle, "PageShownNewerNext",
     &I::BringWaitingPage},
    {kIdle, E::PageReady, kAlways, kAlways, S::Idle, "AnnouncePage", &I::AnnounceReadyPage},

    // A capture or print has ended: the next one, else the newest page, else
    // the pageShown held back for them.
    {kIdle, E::Free, &I::TaskQueued, kAlways, S::Idle, "NextTask", &I::StartTask},
    {kIdle, E::Free, &I::PageWaitingNotHeld, kAlways, S::Idle, "NextPage",
     &I::DropOwedAndBringWaitingPage},
    {kIdle, E::Free, &I::PageOwed, kAlways, S::Idle, "AnnounceHeldBackPage", &I::AnnounceOwedPage},
    {kIdle, E::Free, kAlways, kAlways, S::Idle, "Rest", &I::Rest},

    // Captures and prints of the page on screen, in the order asked.
    {kIdle, E::TaskWaiting, &I::FrontTaskIsPrint, kAlways, S::PrintTitling, "StartPrint",
     &I::StartPrint},
    // The page on screen is still an earlier report's (the next one never
    // got shown): nothing was typed into this one.
    {kIdle, E::TaskWaiting, &I::FrontTaskOfEarlierReport, kAlways, S::Idle,
     "CaptureOfEarlierReport", &I::CaptureNothingTyped},
    {kIdle, E::TaskWaiting, kAlways, kAlways, S::Keeping, "CaptureTypedValues", &I::StartCapture},
    {kBusy, E::TaskWaiting, kAlways, kAlways, kStays, "TaskWaitsForStep", &I::Nothing},
    {In(S::Keeping), E::Answered, kAlways, kAlways, S::Idle, "CaptureTaken", &I::EndCapture},

    // Print: the page at the click is held from the dialog until it is
    // rendered; the outcome is reported later from the event loop.
    {kAny, E::PrintAsked, &I::NothingShown, kAlways, kStays, I::kPrintRefusedNothingShown,
     &I::Nothing},
    {kAny, E::PrintAsked, &I::PrintBusy, kAlways, kStays, I::kPrintRefusedBusy, &I::Nothing},
    {kAny, E::PrintAsked, kAlways, kAlways, kStays, "HoldPageForPrint", &I::HoldForPrint},
    {kIdle, E::PrintCancelled, kAlways, kAlways, S::Idle, "ReleasePrintHold",
     &I::ReleaseHoldAndGoOn},
    {kBusy, E::PrintCancelled, kAlways, kAlways, kStays, "ReleasePrintHoldAfterStep",
     &I::ReleaseHold},
    {kAny, E::PrintAccepted, kAlways, kAlways, kStays, "QueuePrint", &I::QueuePrint},
    {In(S::PrintTitling), E::Answered, kAlways, kAlways, S::PrintPreparing, "PreparePaper",
     &I::PreparePaper},
    {In(S::PrintPreparing), E::Answered, kAlways, kAlways, S::PrintRendering, "RenderPdf",
     &I::RenderPdf},
    {kPrints, E::PdfWritten, &I::ForThisPrint, kAlways, S::Idle, "PrintRendered",
     &I::EndRenderedPrint},
    {In(S::PrintRendering), E::PrintTimedOut, kAlways, kAlways, S::Idle, "PrintTimedOut",
     &I::EndTimedOutPrint},
    {kAny, E::PrintReported, kAlways, kAlways, kStays, "PrintReported", &I::ReportPrint},

    // Typed values: forgotten at once; copied out now and then while nothing
    // else is under way, so that a render process that goes takes none of
    // them with it.
    {kAny, E::TypedValuesForgotten, kAlways, kAlways, kStays, "ForgetTypedValues",
     &I::ForgetTypedValues},
    {kIdle, E::MirrorTick, &I::TypedValuesCarried, kAlways, S::Idle, "MirrorTypedValues",
     &I::MirrorTypedValues},
    {kIdle, E::MirrorTick, kAlways, kAlways, S::Idle, "NothingToMirror", &I::Nothing},
    {kBusy, E::MirrorTick, kAlways, kAlways, kStays, "MirrorWaitsForIdle", &I::Nothing},
    {kIdle, E::MirrorAnswered, kAlways, kAlways, S::Idle, "KeepMirroredValues",
     &I::KeepMirroredValues},

    // The render process ended: whatever was awaited will not answer. The
    // newest page is shown again in a new render process, with the typed
    // values last seen, so that the view does not stay blank.
    {kIdle, E::RendererLost, &I::NothingShown, kAlways, S::Idle, "RendererLostBeforeAnyPage",
     &I::NoteLossBeforeAnyPage},
    {kIdle, E::RendererLost, kAlways, kAlways, S::Idle, "RendererLostWhileIdle",
     &I::ShowAgainAfterLoss},
    {In(S::Carrying), E::RendererLost, &I::LongPageWithHead, kAlways, S::LoadingHead,
     "RendererLostWhileCarryingLoadHead", &I::LoadHeadAfterLoss},
    {In(S::Carrying), E::RendererLost, kAlways, kAlways, S::Loading, "RendererLostWhileCarrying",
     &I::LoadWholeAfterLoss},
    // The load fails (or comes in a new process), and goes on from there.
    {kLoads, E::RendererLost, kAlways, kAlways, kStays, "RendererLostWhileLoading",
     &I::NoteLossWhileLoading},
    {kBringsPage, E::RendererLost, kAlways, kAlways, S::Idle, "RendererLostWhileBringingPage",
     &I::FailPageAfterLoss},
    {In(S::Keeping), E::RendererLost, kAlways, kAlways, S::Idle, "RendererLostWhileCapturing",
     &I::EndCaptureAfterLoss},
    {kPrints, E::RendererLost, kAlways, kAlways, S::Idle, "RendererLostWhilePrinting",
     &I::EndPrintAfterLoss},
};

// Each name once, so that a test and a log line point at one row.
constexpr bool NamesAreUnique() {
    for (std::size_t i = 0; i < std::size(kTable); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            const char* a = kTable[i].name;
            const char* b = kTable[j].name;
            while (*a != '\0' && *a == *b) {
                ++a;
                ++b;
            }
            if (*a == *b) {
                return false;
            }
        }
    }
    return true;
}
static_assert(NamesAreUnique(), "two rows of the view's table have the same name");

const char* StageName(S stage) {
    static const char* const names[] = {
        "Idle",      "Carrying", "Loading",      "LoadingHead",    "Filling",       "Updating",
        "Restoring", "Keeping",  "PrintTitling", "PrintPreparing", "PrintRendering"};
    static_assert(std::size(names) == static_cast<std::size_t>(S::PrintRendering) + 1);
    return names[static_cast<std::size_t>(stage)];
}

const char* EventName(E event) {
    static const char* const names[] = {
        "PageWaiting",          "TaskWaiting",   "PrintAsked", "PrintCancelled", "PrintAccepted",
        "TypedValuesForgotten", "PageReady",     "Free",       "MirrorTick",     "MirrorAnswered",
        "PrintReported",        "LoadSucceeded", "LoadFailed", "Answered",       "PdfWritten",
        "PrintTimedOut",        "RendererLost"};
    static_assert(std::size(names) == static_cast<std::size_t>(E::RendererLost) + 1);
    return names[static_cast<std::size_t>(event)];
}

} // namespace

const char* TReportBrowser::Impl::Dispatch(Event event, const EventData& data) {
    for (const Row& row : kTable) {
        if ((row.from & In(stage)) == 0 || row.event != event ||
            (row.when != nullptr && !(this->*row.when)(data)) ||
            (row.also != nullptr && !(this->*row.also)(data))) {
            continue;
        }
        if (row.to) {
            stage = *row.to;
        }
        if (Hook()) {
            Hook()(*self, QString::fromLatin1(row.name));
        }
        // The action may destroy the browser: nothing of it is touched after.
        (this->*row.action)(data);
        return row.name;
    }
    qCWarning(lcView, "The view refused %s in stage %s: its table has no transition for it",
              EventName(event), StageName(stage));
    return nullptr;
}

QStringList TReportBrowser::Impl::TransitionNames() {
    QStringList names;
    for (const Row& row : kTable) {
        names.append(QString::fromLatin1(row.name));
    }
    return names;
}

// Guards.

bool TReportBrowser::Impl::HeldForPrint(const EventData&) const {
    return Held();
}

bool TReportBrowser::Impl::InPlacePossible(const EventData&) const {
    // A new report after a long one: leaving the long document behind is
    // quicker than emptying it node by node.
    if ((document != Document::Loaded && document != Document::InSync) ||
        (typing == Typing::Fresh && shownSource.size() > kLongPageBytes)) {
        return false;
    }
    return SharedHeadLength(shownSource, PendingText()) > 0;
}

bool TReportBrowser::Impl::TypedValuesCarried(const EventData&) const {
    return !NothingShown({}) && typing == Typing::Carried;
}

bool TReportBrowser::Impl::LongPageWithHead(const EventData&) const {
    return pending && pending->bytes.size() > kLongPageBytes &&
           !PageHeadOf(PendingText()).isEmpty();
}

bool TReportBrowser::Impl::NothingTyped(const EventData&) const {
    return typed.IsEmpty();
}

bool TReportBrowser::Impl::AnswerTrue(const EventData& data) const {
    return data.value.typeId() == QMetaType::Bool && data.value.toBool();
}

bool TReportBrowser::Impl::TaskQueued(const EventData&) const {
    return !tasks.empty();
}

bool TReportBrowser::Impl::PageWaitingNotHeld(const EventData&) const {
    return pending && !Held();
}

bool TReportBrowser::Impl::PageOwed(const EventData&) const {
    return owed != Owed::Nothing;
}

bool TReportBrowser::Impl::FrontTaskIsPrint(const EventData&) const {
    return tasks.front().print != nullptr;
}

bool TReportBrowser::Impl::FrontTaskOfEarlierReport(const EventData&) const {
    return tasks.front().generation != shownGeneration;
}

bool TReportBrowser::Impl::NothingShown(const EventData&) const {
    return document == Document::None || document == Document::NoneLost;
}

bool TReportBrowser::Impl::PrintBusy(const EventData&) const {
    return Busy();
}

bool TReportBrowser::Impl::ForThisPrint(const EventData& data) const {
    return printing && data.text == printing->pdfPath;
}

// Actions.

void TReportBrowser::Impl::Nothing(const EventData&) {}

// Same head: the document on screen is brought to the new page, so the
// engine keeps its document and process and the user's typing goes on.
void TReportBrowser::Impl::UpdateInPlace(const EventData&) {
    QString next = TakePendingText();
    const qsizetype headLength = SharedHeadLength(shownSource, next);
    pending.reset();
    const bool engineHasSource = document == Document::InSync;
    const qsizetype base = engineHasSource ? shownSource.size() : -1;
    PageEdit edit;
    if (engineHasSource) {
        edit = DiffPages(shownSource, next);
    } else {
        edit.text = next;
    }
    shownSource = std::move(next);
    document = Document::Loaded; // until the engine confirms
    const bool startFresh = typing == Typing::Fresh;
    typing = Typing::Carried; // what is typed from now on is worth carrying over
    shownGeneration = forgetGeneration;
    RunStep(InPlaceUpdateScript(edit, base, headLength, startFresh, kLinesPerPart));
}

void TReportBrowser::Impl::CarryTypedValues(const EventData&) {
    carryGeneration = forgetGeneration;
    RunStep(TTypedValues::CaptureScript());
}

void TReportBrowser::Impl::LoadHead(const EventData&) {
    LoadPending(true);
}

void TReportBrowser::Impl::LoadWhole(const EventData&) {
    LoadPending(false);
}

void TReportBrowser::Impl::LoadHeadAfterCarrying(const EventData& data) {
    if (carryGeneration == forgetGeneration) {
        typed.Merge(data.value);
    }
    LoadPending(true);
}

void TReportBrowser::Impl::LoadWholeAfterCarrying(const EventData& data) {
    if (carryGeneration == forgetGeneration) {
        typed.Merge(data.value);
    }
    LoadPending(false);
}

// The head of a long page has loaded: the body is brought in as an in-place
// update, which lays it out in parts.
void TReportBrowser::Impl::FillBody(const EventData&) {
    MarkShown();
    PageEdit whole;
    whole.text = shownSource;
    const qsizetype headLength = PageHeadOf(shownSource).size();
    RunStep(InPlaceUpdateScript(whole, -1, headLength, false, kLinesPerPart));
}

void TReportBrowser::Impl::ShowLoadedPage(const EventData&) {
    MarkShown();
    Dispatch(Event::PageReady, {true, {}});
}

void TReportBrowser::Impl::RestoreIntoLoadedPage(const EventData&) {
    MarkShown();
    RunStep(typed.RestoreScript());
}

void TReportBrowser::Impl::PageFailed(const EventData&) {
    Dispatch(Event::PageReady, {false, {}});
}

void TReportBrowser::Impl::PageInSync(const EventData&) {
    Confirm();
    Dispatch(Event::PageReady, {true, {}});
}

void TReportBrowser::Impl::RestoreIntoFilledPage(const EventData&) {
    Confirm();
    RunStep(typed.RestoreScript());
}

void TReportBrowser::Impl::LoadWholeAfterFailedFill(const EventData&) {
    SetAside();
    LoadPending(false);
}

void TReportBrowser::Impl::LoadAfresh(const EventData&) {
    SetAside();
    Dispatch(Event::PageWaiting);
}

void TReportBrowser::Impl::PageRestored(const EventData&) {
    Dispatch(Event::PageReady, {true, {}});
}

void TReportBrowser::Impl::OweAndStartTask(const EventData& data) {
    // The page asked for is shown now: it is the one to keep or print.
    owed = data.value.toBool() ? Owed::Shown : Owed::Failed;
    Dispatch(Event::TaskWaiting);
}

void TReportBrowser::Impl::BringWaitingPage(const EventData&) {
    Dispatch(Event::PageWaiting);
}

void TReportBrowser::Impl::AnnounceReadyPage(const EventData& data) {
    AnnouncePage(data.value.toBool());
}

void TReportBrowser::Impl::StartTask(const EventData&) {
    Dispatch(Event::TaskWaiting);
}

void TReportBrowser::Impl::DropOwedAndBringWaitingPage(const EventData&) {
    owed = Owed::Nothing; // the newer page is announced instead
    Dispatch(Event::PageWaiting);
}

void TReportBrowser::Impl::AnnounceOwedPage(const EventData&) {
    const bool ok = owed == Owed::Shown;
    owed = Owed::Nothing;
    AnnouncePage(ok);
}

void TReportBrowser::Impl::Rest(const EventData&) {
    owed = Owed::Nothing;
}

void TReportBrowser::Impl::StartPrint(const EventData&) {
    printing = std::move(tasks.front().print);
    tasks.pop_front();
    RunStep(TTypedValues::CaptureScript());
}

void TReportBrowser::Impl::CaptureNothingTyped(const EventData&) {
    CaptureDone done = std::move(tasks.front().captureDone);
    tasks.pop_front();
    HandOverCapture(std::move(done), TTypedValues().ToJson());
}

void TReportBrowser::Impl::StartCapture(const EventData&) {
    captureDone = std::move(tasks.front().captureDone);
    tasks.pop_front();
    RunStep(TTypedValues::CaptureScript());
}

void TReportBrowser::Impl::EndCapture(const EventData& data) {
    // No answer (a hung or lost render process): the last values seen.
    HandOverCapture(std::exchange(captureDone, nullptr), data.value.typeId() == QMetaType::QString
                                                             ? data.value.toString()
                                                             : typed.ToJson());
}

void TReportBrowser::Impl::HoldForPrint(const EventData&) {
    printHold = HoldOf(true, Busy());
}

void TReportBrowser::Impl::ReleaseHoldAndGoOn(const EventData& data) {
    ReleaseHold(data);
    Dispatch(Event::Free);
}

void TReportBrowser::Impl::ReleaseHold(const EventData&) {
    printHold = HoldOf(false, Busy());
}

void TReportBrowser::Impl::QueuePrint(const EventData&) {
    printHold = HoldOf(Held(), true);
    Dispatch(Event::TaskWaiting);
}

void TReportBrowser::Impl::PreparePaper(const EventData& data) {
    if (printing->titleFor) {
        printing->job.title = printing->titleFor(
            data.value.typeId() == QMetaType::QString ? data.value.toString() : QString());
    }
    RunStep(PrepareForPaperScript(PrintableCssPixels(printing->layout)));
}

void TReportBrowser::Impl::RenderPdf(const EventData&) {
    const quint64 mine = ++printSerial;
    page->printToPdf(printing->pdfPath, printing->layout, printing->ranges);
    std::weak_ptr<int> token = alive;
    QTimer::singleShot(PrintRenderTimeoutMs(), self, [this, mine, token] {
        if (!token.expired() && printSerial == mine) {
            Dispatch(Event::PrintTimedOut);
        }
    });
}

void TReportBrowser::Impl::EndRenderedPrint(const EventData& data) {
    EndPrint(data.value.toBool(), QStringLiteral("the engine could not render the page to PDF"));
}

void TReportBrowser::Impl::EndTimedOutPrint(const EventData&) {
    EndPrint(false, QStringLiteral("the engine did not finish rendering the page"));
}

void TReportBrowser::Impl::ReportPrint(const EventData& data) {
    printHold = HoldOf(Held(), false);
    emit self->printFinished(data.value.toBool(), data.text);
}

void TReportBrowser::Impl::ForgetTypedValues(const EventData&) {
    typed.Clear();
    ++forgetGeneration;
    typing = Typing::Fresh;
}

void TReportBrowser::Impl::MirrorTypedValues(const EventData&) {
    const quint64 generation = forgetGeneration;
    const quint64 at = step;
    std::weak_ptr<int> token = alive;
    page->runJavaScript(TTypedValues::CaptureScript(), QWebEngineScript::ApplicationWorld,
                        [this, token, generation, at](const QVariant& result) {
                            // Not when the page or report changed meanwhile.
                            if (!token.expired() && generation == forgetGeneration && step == at) {
                                Dispatch(Event::MirrorAnswered, {result, {}});
                            }
                        });
}

void TReportBrowser::Impl::KeepMirroredValues(const EventData& data) {
    typed.Replace(data.value);
}

void TReportBrowser::Impl::ShowAgainAfterLoss(const EventData&) {
    EngineLost();
    Dispatch(Event::PageWaiting);
}

void TReportBrowser::Impl::NoteLossBeforeAnyPage(const EventData&) {
    EngineLost();
}

void TReportBrowser::Impl::LoadHeadAfterLoss(const EventData&) {
    EngineLost();
    ++step;
    LoadPending(true);
}

void TReportBrowser::Impl::LoadWholeAfterLoss(const EventData&) {
    EngineLost();
    ++step;
    LoadPending(false);
}

void TReportBrowser::Impl::NoteLossWhileLoading(const EventData&) {
    EngineLost();
}

void TReportBrowser::Impl::FailPageAfterLoss(const EventData&) {
    EngineLost();
    ++step;
    Dispatch(Event::PageReady, {false, {}});
}

void TReportBrowser::Impl::EndCaptureAfterLoss(const EventData&) {
    EngineLost();
    ++step;
    HandOverCapture(std::exchange(captureDone, nullptr), typed.ToJson()); // the last values seen
}

void TReportBrowser::Impl::EndPrintAfterLoss(const EventData&) {
    EngineLost();
    ++step;
    EndPrint(false, QStringLiteral("the engine's render process ended"));
}

// Helpers of the guards and actions.

// Held: pages wait. Busy: another Print is refused.
bool TReportBrowser::Impl::Held() const {
    return printHold == PrintHold::Dialog || printHold == PrintHold::Rendering;
}

bool TReportBrowser::Impl::Busy() const {
    return printHold == PrintHold::Rendering || printHold == PrintHold::Reporting;
}

TReportBrowser::Impl::PrintHold TReportBrowser::Impl::HoldOf(bool held, bool busy) {
    if (busy) {
        return held ? PrintHold::Rendering : PrintHold::Reporting;
    }
    return held ? PrintHold::Dialog : PrintHold::None;
}

// Read once: the guards and the action of one page share it.
const QString& TReportBrowser::Impl::PendingText() const {
    if (!pending->text) {
        pending->text = QString::fromUtf8(pending->bytes);
    }
    return *pending->text;
}

QString TReportBrowser::Impl::TakePendingText() {
    PendingText();
    return std::move(*pending->text);
}

void TReportBrowser::Impl::LoadPending(bool headOnly) {
    // Several pages that arrived during the capture collapse into the newest.
    shownSource = TakePendingText();
    document = NothingShown({}) ? Document::None : Document::Loaded;
    QByteArray bytes =
        headOnly ? PageHeadOf(shownSource).toUtf8() : std::exchange(pending->bytes, {});
    pending.reset();
    const QUrl url = schemeHandler->Offer(std::move(bytes));
    typing = Typing::Carried;
    shownGeneration = forgetGeneration;
    loadingUrl = url;
    page->Load(url);
}

// A load has succeeded: a page is shown.
void TReportBrowser::Impl::MarkShown() {
    if (document == Document::None) {
        document = Document::Loaded;
    } else if (document == Document::NoneLost) {
        document = Document::Stale;
    }
    // Old report pages are never gone back to; keeping them in the history
    // would only keep their documents alive.
    page->history()->clear();
}

// The engine has confirmed that it holds shownSource.
void TReportBrowser::Impl::Confirm() {
    if (document != Document::Stale) {
        document = Document::InSync;
    }
}

// The next page is a full load; without a newer one, of the page shown.
void TReportBrowser::Impl::SetAside() {
    document = Document::Stale;
    if (!pending) {
        pending = WaitingPage{shownSource.toUtf8(), std::nullopt};
    }
}

void TReportBrowser::Impl::EngineLost() {
    if (NothingShown({})) {
        document = Document::NoneLost;
    } else {
        SetAside();
    }
}

// The capture is done: done gets the values and the page; then the next
// task or page, unless done started another step itself.
void TReportBrowser::Impl::HandOverCapture(CaptureDone done, const QString& typedJson) {
    std::weak_ptr<int> token = alive;
    if (done) {
        done(typedJson, shownSource.toUtf8());
    }
    if (token.expired() || stage != Stage::Idle) {
        return; // gone, or done started another step
    }
    Dispatch(Event::Free);
}

// The page is rendered (or could not be): the view goes on with the pages
// held meanwhile, and a printer gets the PDF from lp in the background.
void TReportBrowser::Impl::EndPrint(bool ok, const QString& reason) {
    ++printSerial;
    page->runJavaScript(AfterPaperScript(), QWebEngineScript::ApplicationWorld);
    std::unique_ptr<PrintTask> task = std::move(printing);
    ReleaseHold({});
    if (!ok) {
        AnnouncePrint(false, QStringLiteral("Printing failed: ") + reason);
    } else if (!task->temporary) {
        AnnouncePrint(true, {});
    } else {
        auto* lp = new TLpSubmission(std::move(task->job), std::move(task->temporary), self);
        QObject::connect(lp, &TLpSubmission::finished, self, [this, lp](const QString& failure) {
            lp->deleteLater();
            AnnouncePrint(failure.isEmpty(), failure);
        });
        lp->Start();
    }
    Dispatch(Event::Free);
}

void TReportBrowser::Impl::AnnouncePage(bool ok) {
    if (!ok) {
        qCWarning(lcView, "The engine did not show a report page");
    }
    // Runs before any later script of the page, so before what a listener does.
    page->runJavaScript(AlignFormBoxesScript(), QWebEngineScript::ApplicationWorld);
    emit self->pageShown(ok);
}

// From the event loop, never from inside a stage: the owner may open a
// message box, whose modal loop brings new pages.
void TReportBrowser::Impl::AnnouncePrint(bool ok, const QString& failure) {
    QMetaObject::invokeMethod(
        self,
        [this, ok, failure] {
            Dispatch(Event::PrintReported, {ok, failure});
        },
        Qt::QueuedConnection);
}

// Runs script in the application's world; its result, or an invalid value
// when no answer comes in time, is taken as Answered. A later step
// supersedes it.
void TReportBrowser::Impl::RunStep(const QString& script) {
    const quint64 mine = ++step;
    std::weak_ptr<int> token = alive;
    auto answer = [this, mine, token](const QVariant& result) {
        if (token.expired() || step != mine) {
            return;
        }
        ++step; // the other of callback and time-out finds itself superseded
        Dispatch(Event::Answered, {result, {}});
    };
    page->runJavaScript(script, QWebEngineScript::ApplicationWorld, answer);
    QTimer::singleShot(ScriptTimeoutMs(), self, [answer] { answer(QVariant()); });
}

QStringList TReportBrowser::TransitionNames() {
    return Impl::TransitionNames();
}

void TReportBrowser::SetTransitionHook(TransitionHook hook) {
    Hook() = std::move(hook);
}

void TReportBrowser::SetTimeouts(int scriptMs, int printRenderMs) {
    ScriptTimeoutMs() = scriptMs > 0 ? scriptMs : kScriptTimeoutMs;
    PrintRenderTimeoutMs() = printRenderMs > 0 ? printRenderMs : kPrintRenderTimeoutMs;
}

} // namespace quillar
