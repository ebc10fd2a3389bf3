// The main window: creation, layout, resizing and release.

#include "app/main_window.h"

#include "app/config.h"
#include "app/message_boxes.h"
#include "app/port_button.h"
#include "app/shell_log.h"
#include "history/history_window.h"
#include "quillar_version.h"
#include "report/builtin_resources.h"
#include "report/models.h"
#include "report/report_pages.h"
#include "serial/comma_text.h"
#include "ui_main_window.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QLayout>
#include <QMenu>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <stdexcept>

namespace quillar {

namespace {

// The scale the user asked for on top of the screen's own: it enlarges what
// the window shows, so it must not shrink the window's first size as well.
// The last test's page is printed to PDF at close; a long report takes seconds.
constexpr int kKeepAtCloseMs = 150'000;

double UserScaleFactor() {
    bool ok = false;
    const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok && factor > 0 ? factor : 1.0;
}

} // namespace

TForm1::TForm1(ShellEnvironment environment, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::TForm1>()), env_(std::move(environment)) {
    ui_->setupUi(this);
    setWindowTitle(QStringLiteral("Quillar v" QUILLAR_VERSION));
    ToolBar1 = ui_->ToolBar1;
    ToolButton2 = ui_->ToolButton2;
    ToolButton4 = ui_->ToolButton4;
    ToolButton6 = ui_->ToolButton6;
    ToolButton8 = ui_->ToolButton8;
    ToolButton12 = ui_->ToolButton12;
    ToolButton10 = ui_->ToolButton10;
    StatusBar1 = ui_->StatusBar1;
    StatusPanel1 = ui_->StatusPanel1;
    Panel1 = ui_->Panel1;
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    // The language menu, in the order of the language index.
    for (QAction* item :
         {ui_->English1, ui_->Chinese1, ui_->Japanese1, ui_->Korean1, ui_->Danish1, ui_->Norwegian1,
          ui_->Polish1, ui_->Romanian1, ui_->German1, ui_->Spanish1, ui_->French1, ui_->Italian1})
        PopupMenu2->addAction(item);
    // One language is checked: the one the reports are translated to.
    auto* languageGroup = new QActionGroup(this);
    languageGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (QAction* item : PopupMenu2->actions()) {
        item->setCheckable(true);
        languageGroup->addAction(item);
    }
    PopupMenu3 = new QMenu(this);
    PopupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
    auto* modelGroup = new QActionGroup(this);
    for (const std::string_view model : ReportModels) {
        const QString name = QString::fromLatin1(model.data(), qsizetype(model.size()));
        QAction* item = PopupMenu3->addAction(name);
        item->setObjectName(name + QLatin1Char('1'));
        item->setCheckable(true);
        modelGroup->addAction(item);
    }
    BuildToolBar();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(250);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

    // Errors of a handler are reported here, before they would run through
    // Qt's signal code, which is not made for exceptions.
    connect(ToolButton2, &QToolButton::clicked, this,
            [this] { ReportErrors([this] { ToolButton2Click(); }); });
    connect(ToolButton4, &QToolButton::clicked, this,
            [this] { ReportErrors([this] { ToolButton4Click(); }); });
    connect(ToolButton6, &QToolButton::clicked, this,
            [this] { ReportErrors([this] { ToolButton6Click(); }); });
    connect(ToolButton12, &QToolButton::clicked, this,
            [this] { ReportErrors([this] { ToolButton12Click(); }); });
    for (QAction* item : PopupMenu2->actions())
        connect(item, &QAction::triggered, this,
                [this, item] { ReportErrors([this, item] { English1Click(item); }); });
    for (QAction* item : PopupMenu3->actions())
        connect(item, &QAction::triggered, this,
                [this, item] { ReportErrors([this, item] { ModelItemClick(item); }); });
    Panel1->installEventFilter(this);

    FormCreate();
    // Started only now: a message box shown by FormCreate (a failed language
    // write) runs a modal loop, and a tick inside it would find no view yet.
    Timer1->start();
}

TForm1::~TForm1() {
    FormDestroy();
    if (historyProbe_)
        historyProbe_->wait(); // a connect attempt ends within its time-out
}

void TForm1::BuildToolBar() {
    // A separator opens the row, stands between the buttons and closes the row.
    ToolBar1->setStyleSheet(QStringLiteral("QToolBar::separator { width: 8px; }"));
    for (QAction* button : ToolBar1->actions())
        ToolBar1->insertSeparator(button);
    ToolBar1->addSeparator();
    ToolButton6->setMenu(PopupMenu1);
    ToolButton8->setMenu(PopupMenu2);
    ToolButton10->setMenu(PopupMenu3);
    StatusBar1->addWidget(StatusPanel1, 1);
    ToolBar1->installEventFilter(this);
    FitToolBar();
}

void TForm1::FitToolBar() {
    // The tool bar, and so the window, is kept wide enough for the whole row
    // with the port button at its least width: the port button gives up width,
    // and no button ever goes behind the tool bar's extension.
    const int portHint =
        std::max(ToolButton6->sizeHint().width(), ToolButton6->minimumSizeHint().width());
    const int least =
        ToolBar1->sizeHint().width() - portHint + ToolButton6->minimumSizeHint().width();
    if (ToolBar1->minimumWidth() != least)
        ToolBar1->setMinimumWidth(least);
}

void TForm1::FormCreate() {
    const ShellConfig config = ReadShellConfig(env_.iniPath);
    CurrentLanguage_ = config.language;

    const QList<QAction*> languages = PopupMenu2->actions();
    for (int i = 1; i < languages.size(); ++i)
        languages[i]->setVisible(false);
    for (const std::string& item : config.languageOptions) {
        // Items that are no number, or name no language, offer nothing.
        const auto index = ParseIniInteger(item);
        if (index && *index >= 0 && *index < languages.size())
            languages[*index]->setVisible(true);
    }
    DeviceModel_ = config.model;
    manualPorts_ = SplitCommaText(config.manualPorts);
    for (QAction* item : PopupMenu3->actions()) {
        if (item->text().toStdString() == DeviceModel_) {
            item->setChecked(true);
            ToolButton10->setText(item->text());
        }
    }

    // The report archive: the configured folder, else the documents folder.
    std::string archiveRoot;
    if (config.archiveFolder)
        archiveRoot = *config.archiveFolder;
    else if (!env_.documentsDir.empty())
        archiveRoot = env_.documentsDir + "/Quillar reports";
    Archive_ = std::make_unique<TTestArchive>(archiveRoot, env_.archiveClock, config.database);
    archiveRoot_ = Archive_->Root(); // empty when the folder is refused
    historyServer_ = config.database;
    connect(Archive_.get(), &TTestArchive::failed, this, [this](const QString& message) {
        qCWarning(lcArchive, "%s", qUtf8Printable(message));
        if (!closing_ || (closeKeeping_ && !stopping_))
            ShowConfirmMessage(this, message);
    });
    if (!env_.stateDir.empty())
        Archive_->SetRecoveryFolder(env_.stateDir + "/unkept");
    Archive_->KeepWaitingTests(); // what an earlier run could not keep

    // A hidden language is still honoured; an index outside the menu is
    // corrected to English and written back.
    if (CurrentLanguage_ >= 0 && CurrentLanguage_ < languages.size()) {
        // Offered too, or the user could never choose it again.
        languages[CurrentLanguage_]->setVisible(true);
        ToolButton8->setText(languages[CurrentLanguage_]->text());
        languages[CurrentLanguage_]->setChecked(true);
    } else {
        CurrentLanguage_ = 0;
        languages[0]->trigger();
    }

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        winId(); // the native window knows its frame, so the outer size is measured
        QSize frame = frameGeometry().size() - geometry().size();
        if (frame.height() <= 0) {
            // The window manager frames the window only once it is shown:
            // room for a title bar, so that it is on screen too.
            const int border = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
            frame = QSize(2 * border,
                          style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this) + border);
        }
        // The tool bar's least width is part of the window's least size.
        if (layout())
            layout()->activate();
        const QRect available = screen->availableGeometry();
        resize(FirstSize(available.size(), UserScaleFactor(), frame).expandedTo(minimumSize()));
        // Centred on the screen, but never with its title bar off the
        // available area, where it could not be moved back.
        const QPoint centred = CentredPosition(screen->geometry().size(), size() + frame);
        move(std::max(centred.x(), available.left()), std::max(centred.y(), available.top()));
    }

    // ColonTable, LanguageTable and TemplateLines: the built-in resources.
    Tables_ = BuiltinReportTables();

    ReceivedText_.clear();

    ReportView_ = std::make_unique<TReportBrowser>(this);
    ReportView_->SetImageFolders(
        {QString::fromStdString(env_.logoDir.empty() ? env_.executableDir : env_.logoDir),
         QString::fromStdString(env_.stateImageDir.empty() ? env_.executableDir
                                                           : env_.stateImageDir)});
    ReportView_->SetHostWindow(Panel1);
    ReportView_->SetSize(Panel1->contentsRect().width(), Panel1->contentsRect().height());
    // The page's context menu prints as the Print button does.
    connect(ReportView_.get(), &TReportBrowser::printRequested, this,
            [this] { ReportErrors([this] { ToolButton2Click(); }); });
    connect(ReportView_.get(), &TReportBrowser::printFinished, this, &TForm1::PrintFinished);
    ShowEmptyPage();
}

QPoint TForm1::CentredPosition(const QSize& screen, const QSize& window) {
    // Integer halves round toward zero; a window larger than the screen gets a
    // negative position.
    return {(screen.width() - window.width()) / 2, (screen.height() - window.height()) / 2};
}

QSize TForm1::FirstSize(const QSize& available, double scale, const QSize& frame) {
    // The toolkit's default size for a new main window, two thirds of the
    // screen, taken at scale 1: a larger scale keeps the window as large in
    // logical pixels as far as the screen allows.
    const QSize designed(qRound(available.width() * scale * 2 / 3),
                         qRound(available.height() * scale * 2 / 3));
    return designed.boundedTo(available - frame);
}

void TForm1::FormResize() {
    if (ReportView_)
        ReportView_->SetSize(Panel1->contentsRect().width(), Panel1->contentsRect().height());
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Panel1 && event->type() == QEvent::Resize)
        FormResize();
    // A caption, font, style or screen change asks the tool bar for a new layout.
    if (watched == ToolBar1 && event->type() == QEvent::LayoutRequest)
        FitToolBar();
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event) {
    // The test on screen is kept while the window is still there, so that a
    // failure to keep it is said before it goes (not when a stop signal
    // closes it: no one may be there to answer).
    if (!closing_ && !lastTestKept_) {
        closing_ = true;
        closeKeeping_ = true;
        Timer1->stop();
        KeepLastTest();
        lastTestKept_ = true;
        if (Archive_) {
            Archive_->WaitWritten();
            Archive_->DeliverResults();
        }
        closeKeeping_ = false;
    }
    QMainWindow::closeEvent(event);
}

void TForm1::FormDestroy() {
    closing_ = true;
    Timer1->stop();
    SerialPort_.reset();
    if (!lastTestKept_)
        KeepLastTest();
    ReportView_.reset();
    Archive_.reset(); // writes what it was given before it goes
    Tables_ = {};
    ReceivedText_.clear();
}

void TForm1::KeepTest() {
    if (Archive_ && ReportView_)
        Archive_->Keep(*ReportView_, DeviceModel_, ReceivedText_, shownPage_, CurrentLanguage_,
                       Tables_.languageTable);
}

void TForm1::KeepLastTest() {
    if (!Archive_ || !ReportView_)
        return;
    // The page is printed by the engine, which answers through the event
    // loop; the view must stay until it has.
    QEventLoop loop;
    bool taken = false;
    auto done = [&taken, &loop] {
        taken = true;
        loop.quit();
    };
    if (!Archive_->Keep(*ReportView_, DeviceModel_, ReceivedText_, shownPage_, CurrentLanguage_,
                        Tables_.languageTable, done))
        return;
    // A page load that never ends would hold the snapshot back: the window
    // closes without the test after a generous while.
    QTimer::singleShot(kKeepAtCloseMs, &loop, &QEventLoop::quit);
    if (!taken)
        loop.exec();
}

HistoryWindow* TForm1::History() const {
    return historyWindow_;
}

void TForm1::ToolButton12Click() {
    if (historyWindow_) {
        historyWindow_->Refresh(); // tests kept since it was opened
        OpenHistoryWindow({});
        return;
    }
    if (historyProbe_)
        return; // the server is being asked; the window comes with its answer
    const QString address = QString::fromStdString(historyServer_);
    if (address.trimmed().isEmpty()) {
        OpenHistoryWindow({});
        return;
    }
    auto problem = std::make_shared<QString>();
    historyProbe_ = QThread::create([address, problem] { *problem = ProbeHistoryServer(address); });
    connect(historyProbe_, &QThread::finished, this, [this, problem] {
        historyProbe_->deleteLater();
        historyProbe_ = nullptr;
        if (!closing_)
            OpenHistoryWindow(*problem);
    });
    historyProbe_->start();
}

void TForm1::OpenHistoryWindow(const QString& serverProblem) {
    if (!historyWindow_) {
        const QString archive = QString::fromStdString(archiveRoot_);
        HistorySource source =
            OpenHistory(archive, QString::fromStdString(historyServer_), 5, serverProblem);
        if (!source.notice.isEmpty())
            qCWarning(lcShell, "%s", qUtf8Printable(source.notice));
        historyWindow_ = new HistoryWindow(std::move(source), archive, this);
        historyWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    historyWindow_->show();
    historyWindow_->raise();
    historyWindow_->activateWindow();
}

void TForm1::ShowEmptyPage() {
    shownPage_ = std::string(PageHead) + ReceivedText_ + std::string(PageFoot);
    if (ReportView_->ShowPage(shownPage_) != 0)
        qCWarning(lcShell, "The empty page could not be handed to the view");
}

} // namespace quillar
